#!/usr/bin/env bash
# Installs what is needed, builds everything (two jobs) and runs every test with CTest.
#
# --sanitize: the same with AddressSanitizer and UBSan, in build-sanitize/ (benchmarks left out).
# The first error a sanitizer finds ends the test that hit it, with a stack trace.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
options=()
case "${1:-}" in
  "") ;;
  --sanitize)
    build=build-sanitize
    options=(-DMOULD_SANITIZE=ON -DMOULD_BUILD_BENCH=OFF)
    # Leak checking stays off: the station's process-lifetime objects (parameter records, the
    # failed-image store) are created once per main window and never freed, and the station
    # tests build a window per test; Qt's raster paint engine also keeps memory until exit.
    export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1:detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
    ;;
  *)
    echo "usage: $0 [--sanitize]" >&2
    exit 2
    ;;
esac

./scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}"
cmake --build "$build" -j2
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 600
