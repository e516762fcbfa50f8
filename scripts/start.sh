#!/usr/bin/env bash
# Installs what is needed, builds the station and starts it from its station directory.
#   - with DISPLAY set: in a window on that display;
#   - without DISPLAY: on a virtual display served over VNC to 127.0.0.1 only (port 5900);
#   - with MOULD_PLATFORM=offscreen (or --offscreen): headless, without any display.
# Without MOULD_SERIAL_DEVICE, a simulated moulding machine (IO board and cameras) is started and
# the station runs from a demo copy of the station directory taught for the simulator's mould
# (build/demo-station); with a real board the factory station directory build/station is used.
# Options:
#   --offscreen   headless
#   --fast        short stage delays and a quick machine: about two cycles a second
#   --cycles N    the simulated machine stops after N cycles (default: it runs for an hour)
#   --cameras N   cameras of the simulated machine (1-8, default 2)
#   --drift KIND  the simulated cameras go off slowly over 300 cycles: focus, shift or light
#   --seed S      seed of the simulated mould and its faults (default 1); the demo station is
#                 taught for the mould of the same seed
#   --rss-log F   writes the station's resident memory to F once a second: seconds since start,
#                 the cycles camera 1 has judged (count.txt), resident kB
#   --kill-after S  kills the station (SIGKILL) S seconds after it started and starts it again,
#                 as after a power cut, while the machine keeps running
# MOULD_BUILD_DIR names another build directory than build/. MOULD_RUN_DIR names the folder of the
# simulated machine's files (cameras, board link, summary, log; default /tmp) and of the demo
# station directory, so that runs side by side do not share them.
set -euo pipefail
cd "$(dirname "$0")/.."

platform=${MOULD_PLATFORM:-}
fast=0
cycles=0
drift=()
seed=1
rss_log=
kill_after=0
while [ $# -gt 0 ]; do
  case "$1" in
    --offscreen) platform=offscreen ;;
    --fast) fast=1 ;;
    --cycles) cycles=${2:?--cycles needs a number}; shift ;;
    --cameras) sim_cameras=${2:?--cameras needs a number}; shift ;;
    --drift) drift=(--drift "${2:?--drift needs focus, shift or light}"); shift ;;
    --seed) seed=${2:?--seed needs a number}; shift ;;
    --rss-log) rss_log=${2:?--rss-log needs a file}; shift ;;
    --kill-after) kill_after=${2:?--kill-after needs seconds}; shift ;;
    *) echo "usage: $0 [--offscreen] [--fast] [--cycles N] [--cameras N] [--seed S] [--rss-log F]" \
            "[--kill-after S] [--drift focus|shift|light]" >&2; exit 2 ;;
  esac
  shift
done
run_dir=${MOULD_RUN_DIR:-/tmp}
mkdir -p "$run_dir"

./scripts/install-deps.sh
build=${MOULD_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2 --target station
build=$(cd "$build" && pwd)

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ -n "${machine_log:-}" ] && grep -q '^cycles ' "$machine_log"; then
    echo "Simulated machine:"
    sed -n '/^cycles /,$p' "$machine_log"
  fi
}
trap cleanup EXIT

station_dir=$build/station

# Without hardware: a simulated moulding machine on the IO board's pseudo-terminal, with two
# simulated cameras whose pictures follow the machine's cycle, and a station taught for its mould.
# The summary goes to mould-run.json and the machine's log to mould-machine.log in the run folder.
if [ -z "${MOULD_SERIAL_DEVICE:-}" ] && [ -x "$build/tools/machine-sim/machine-sim" ]; then
  cams=$run_dir/mould-cams
  mould=(--cameras "${sim_cameras:-2}" --cavities 4 --seed "$seed")
  if [ "$fast" = 1 ]; then
    teach_timing=(--delays 2,1 --input-hold 0)
    machine_timing=(--times 20,150,30,100 --operator-delay 60 --door-pulse 80)
  else
    teach_timing=()
    machine_timing=()
  fi
  if [ "$cycles" -gt 0 ]; then run=(--cycles "$cycles"); else run=(--duration 3600); fi

  station_dir=${MOULD_RUN_DIR:+$run_dir/demo-station}
  station_dir=${station_dir:-$build/demo-station}
  rm -rf "$station_dir"
  cp -a "$build/station" "$station_dir"
  "$build/tools/demo-teach/demo-teach" --station "$station_dir" "${mould[@]}" "${teach_timing[@]}"
  # MOULD_NET_REPORT=1: network reporting on; the station starts its relay, which delivers to the
  # plant server named in cnt_net/sysconf.db (127.0.0.1:8088 by default).
  if [ "${MOULD_NET_REPORT:-0}" = 1 ]; then
    sqlite3 "$station_dir/PARAM.db" "update sysparam set value='1'||substr(value, 2) where name='CntNet'"
  fi

  rm -rf "$cams"
  machine_log=$run_dir/mould-machine.log
  link=$run_dir/mould-ttyIO
  rm -f "$link"
  "$build/tools/machine-sim/machine-sim" "${mould[@]}" "${run[@]}" "${machine_timing[@]}" --dir "$cams" "${drift[@]}" \
    --format bmp --fault-rate 0.1 --wait-timeout 600 --link "$link" --json "$run_dir/mould-run.json" \
    > "$machine_log" 2>&1 &
  machine=$!
  pids+=("$machine")
  for _ in $(seq 100); do
    last_cam=$cams/cam${sim_cameras:-2}
    [ -e "$link" ] && { [ -e "$last_cam/frame.png" ] || [ -e "$last_cam/frame.bmp" ]; } && break
    sleep 0.1
  done
  export MOULD_SERIAL_DEVICE=$link
  export MOULD_SIM_CAMERAS=${MOULD_SIM_CAMERAS:-$cams}
  echo "Simulated machine on $link with cameras in $cams (log: $machine_log)"
  echo "Station taught for the simulated mould in $station_dir"
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

cd "$station_dir"
# Resident memory of the station once a second, with the cycles it has counted.
watch_rss() {
  local pid=$1 start=$SECONDS
  while kill -0 "$pid" 2>/dev/null; do
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    counted=$(awk '{print $1; exit}' count.txt 2>/dev/null || true)
    [ -n "$rss" ] && echo "$((SECONDS - start)) ${counted:-0} $rss" >> "$rss_log"
    sleep 1
  done
}
start_station() {
  ./mould-station &
  station=$!
  pids+=("$station")
  [ -n "$rss_log" ] && { watch_rss "$station" & pids+=($!); }
  return 0
}
if [ -n "${machine:-}" ] && [ "$cycles" -gt 0 ]; then
  # A run of a set length: the station stops when the machine has made its cycles.
  [ -n "$rss_log" ] && : > "$rss_log"
  start_station
  if [ "$kill_after" -gt 0 ]; then
    sleep "$kill_after"
    if kill -0 "$machine" 2>/dev/null; then
      echo "Killing the station (pid $station) and starting it again"
      kill -KILL "$station" 2>/dev/null || true
      wait "$station" 2>/dev/null || true
      start_station
    fi
  fi
  wait "$machine" || true
  kill "$station" 2>/dev/null || true
else
  ./mould-station
fi
