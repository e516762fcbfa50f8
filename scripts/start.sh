#!/usr/bin/env bash
# Installs what is needed, builds the station and starts it from its station directory.
#   - with DISPLAY set: in a window on that display;
#   - without DISPLAY: on a virtual display served over VNC to 127.0.0.1 only (port 5900);
#   - with MOULD_PLATFORM=offscreen (or --offscreen): headless, without any display.
# Without MOULD_SERIAL_DEVICE, an IO-board simulator is started on a pseudo-terminal and the
# station talks to it.
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

# The IO board: a simulator on a pseudo-terminal unless a device is named. It takes commands
# ("set 1", "clear 1", "show", "help") written into /tmp/mould-board.cmd.
if [ -z "${MOULD_SERIAL_DEVICE:-}" ] && [ -x "$root/build/tools/ioboard-sim/ioboard-sim" ]; then
  fifo=/tmp/mould-board.cmd
  rm -f "$fifo"
  mkfifo "$fifo"
  exec 3<>"$fifo"  # keeps the FIFO open so the simulator never sees the end of its input
  "$root/build/tools/ioboard-sim/ioboard-sim" --keep --link /tmp/mould-ttyIO < "$fifo" > /tmp/mould-board.log 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    [ -e /tmp/mould-ttyIO ] && break
    sleep 0.1
  done
  export MOULD_SERIAL_DEVICE=/tmp/mould-ttyIO
  echo "IO-board simulator on /tmp/mould-ttyIO; drive it with: echo 'set 1' > $fifo (log: /tmp/mould-board.log)"
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
