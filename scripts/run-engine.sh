#!/usr/bin/env bash
# Runs the engine on a demo program folder:
#   - creates ./demo-home (or $SMS_DEMO_HOME) with a store and a default
#     gateway profile that points at the local gateway simulator,
#   - starts the gateway simulator on 127.0.0.1:$SMS_DEMO_PORT (18080) when it is built,
#   - drops one message file into the demo folder's SMSQ drop folder,
#   - runs the engine: the console (smsengine) where a display exists, otherwise
#     the headless engine (smsctl run) until the message is sent and its
#     delivery report is in.
# Build first: cmake --preset default && cmake --build --preset default
set -euo pipefail
cd "$(dirname "$0")/.."

build=${SMS_BUILD_DIR:-build}
home=${SMS_DEMO_HOME:-$PWD/demo-home}
port=${SMS_DEMO_PORT:-18080}
smsctl="$build/bin/smsctl"
engine="$build/bin/smsengine"
sim="$build/tools/gateway-sim/sms-gateway-sim"

for program in "$smsctl" "$engine"; do
  if [ ! -x "$program" ]; then
    echo "run-engine: $program is not built; run: cmake --preset default && cmake --build --preset default" >&2
    exit 1
  fi
done

mkdir -p "$home"
home=$(cd "$home" && pwd)
"$smsctl" --home "$home" init

if ! "$smsctl" --home "$home" profile list | awk 'NR > 2 { print $1 }' | grep -qx demo; then
  gw="http://127.0.0.1:$port"
  "$smsctl" --home "$home" profile add --user demo --password demo-pass \
    --send-url "$gw/send?u=<UName>&p=<PassWord>&to=<mobile>&sid=<GsmSid>&msg=<msg>" \
    --report-url "$gw/report?id=<MassgeID>" \
    --balance-url "$gw/balance?u=<UName>&p=<PassWord>" \
    --gsm-sid DEMO --cdma-sid DEMO --interval 2000 --consrt C --default
fi

sim_pid=""
runtime=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  if [ -n "$runtime" ]; then
    rm -rf "$runtime"
  fi
}
trap cleanup EXIT

if [ -x "$sim" ]; then
  "$sim" --port "$port" --log "$home/gateway-requests.jsonl" &
  sim_pid=$!
  # Wait until it listens, so that the engine's first request finds it.
  for _ in $(seq 50); do
    (echo >"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "run-engine: the gateway simulator did not start" >&2; exit 1; }
    sleep 0.1
  done
  echo "run-engine: gateway simulator on 127.0.0.1:$port (requests logged to $home/gateway-requests.jsonl)"
else
  echo "run-engine: $sim is not built; the engine runs without a gateway" >&2
fi

# A drop file as a producer writes one: under another name first, then renamed.
mkdir -p "$home/SMSQ"
drop="demo-$(date +%Y%m%d%H%M%S).sms"
printf '9876543210|Hello from the demo|0|%s|0\r\n' "$(date +%d%m%Y%H%M%S)" >"$home/SMSQ/.$drop.part"
mv "$home/SMSQ/.$drop.part" "$home/SMSQ/$drop"
echo "run-engine: dropped $home/SMSQ/$drop"

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime=$(mktemp -d)
  export XDG_RUNTIME_DIR="$runtime"
fi

status=0
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-engine: starting the console on $home; it sits behind its tray icon:"
  echo "run-engine: right-click the icon, Show Main Window, then START to send the dropped message"
  SMSENGINE_HOME="$home" "$engine" || status=$?
else
  echo "run-engine: no display: running the headless engine until the message is sent and reported"
  "$smsctl" --home "$home" run --until-idle || status=$?
fi
echo "run-engine: the engine ended with status $status"
exit "$status"
