#!/usr/bin/env bash
# Prints the C++ line counts (.cpp, .h, .hpp) of src/, tools/, bench/ and tests/ and the tests' share of
# all of them. Two counts per folder:
#   lines  non-blank lines, comments included
#   code   non-blank lines that are not only comment (// lines, /* ... */ blocks); a "/*" inside a string
#          literal would be taken for a comment, which no file here has
# The share is given for both. Always exits 0: it measures, it does not judge.
set -uo pipefail
cd "$(dirname "$0")/.."

count() { # folder -> "lines code"
  find "$1" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) -print0 2>/dev/null |
    xargs -0 -r cat |
    awk '
      {
        line = $0; rest = ""
        while (line != "") {
          if (inblock) {
            end = index(line, "*/")
            if (end == 0) { line = ""; break }
            line = substr(line, end + 2); inblock = 0
          } else {
            open = index(line, "/*")
            if (open == 0) { rest = rest line; line = ""; break }
            rest = rest substr(line, 1, open - 1); line = substr(line, open + 2); inblock = 1
          }
        }
        if ($0 ~ /[^ \t\r]/) lines++
        sub(/^[ \t\r]+/, "", rest)
        if (rest != "" && rest !~ /^\/\//) code++
      }
      END { printf "%d %d\n", lines, code }'
}

share() { awk -v t="$1" -v a="$2" 'BEGIN { printf "%.1f%%", a ? 100 * t / a : 0 }'; }

total_lines=0 total_code=0 test_lines=0 test_code=0
printf '%-8s %8s %8s\n' folder lines code
for dir in src tools bench tests; do
  read -r lines code < <(count "$dir")
  printf '%-8s %8d %8d\n' "$dir/" "$lines" "$code"
  total_lines=$((total_lines + lines)) total_code=$((total_code + code))
  if [ "$dir" = tests ]; then test_lines=$lines test_code=$code; fi
done
printf '%-8s %8d %8d\n' total "$total_lines" "$total_code"
printf '%-8s %8s %8s\n' "tests %" "$(share "$test_lines" "$total_lines")" "$(share "$test_code" "$total_code")"
exit 0
