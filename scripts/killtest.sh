#!/usr/bin/env bash
# Crash test: `smsctl run` killed N times at random moments (default 100), then drained; a gateway outage.
# Prints the figures: kills, messages, duplicate sends at the gateway, time.
#   scripts/killtest.sh [N]
set -euo pipefail
cd "$(dirname "$0")/.."
kills=${1:-100}
cmake --preset default >/dev/null
cmake --build --preset default --target programs_killtest smsctl sms-gateway-sim
# A kill every few seconds plus the sending of what the large drop files queued: allow 10 s a kill.
SMS_KILLTEST_KILLS=$kills SMS_BINARY_DIR="$PWD/build" QT_QPA_PLATFORM=offscreen \
  QTEST_FUNCTION_TIMEOUT=$((kills * 10000 + 300000)) ./build/tests/programs/programs_killtest
