#!/usr/bin/env bash
# Installs what is needed, builds the station and starts it from its station directory.
#   - with DISPLAY set: in a window on that display;
#   - without DISPLAY: on a virtual display served over VNC to 127.0.0.1 only (port 5900);
#   - with MOULD_PLATFORM=offscreen (or --offscreen): headless, without any display.
# Without MOULD_SERIAL_DEVICE, a simulated moulding machine (IO board and cameras) is started and
# the station talks to it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target station

platform=${MOULD_PLATFORM:-}
[ "${1:-}" = "--offscreen" ] && platform=offscreen

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT

# Without hardware: a simulated moulding machine on the IO board's pseudo-terminal, with two
# simulated cameras whose pictures follow the machine's cycle. Its summary goes to
# /tmp/mould-run.json and its log to /tmp/mould-machine.log.
if [ -z "${MOULD_SERIAL_DEVICE:-}" ] && [ -x "$root/build/tools/machine-sim/machine-sim" ]; then
  cams=/tmp/mould-cams
  rm -rf "$cams"
  "$root/build/tools/machine-sim/machine-sim" --cameras 2 --cavities 4 --dir "$cams" --duration 3600 \
    --fault-rate 0.1 --wait-timeout 600 --link /tmp/mould-ttyIO --json /tmp/mould-run.json \
    > /tmp/mould-machine.log 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    [ -e /tmp/mould-ttyIO ] && [ -e "$cams/cam2/frame.png" ] && break
    sleep 0.1
  done
  export MOULD_SERIAL_DEVICE=/tmp/mould-ttyIO
  export MOULD_SIM_CAMERAS=${MOULD_SIM_CAMERAS:-$cams}
  echo "Simulated machine on /tmp/mould-ttyIO with cameras in $cams (log: /tmp/mould-machine.log)"
fi

if [ "$platform" = offscreen ]; then
  export QT_QPA_PLATFORM=offscreen
elif [ -z "${DISPLAY:-}" ]; then
  display=:77
  Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp > /tmp/mould-xvfb.log 2>&1 &
  pids+=($!)
  sleep 1
  x11vnc -display "$display" -localhost -rfbport 5900 -forever -shared -nopw -quiet > /tmp/mould-vnc.log 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  export QT_QPA_PLATFORM=xcb
  echo "The station's screen is served over VNC at 127.0.0.1:5900 (only this machine can connect)."
fi

cd build/station
./mould-station
