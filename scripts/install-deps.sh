#!/usr/bin/env bash
# Installs the Debian 12 packages the station needs to build, run and test.
# Idempotent: when every package is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git python3
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-serialport-dev
  qt6-multimedia-dev libqt6multimedia6 qt6-qpa-plugins
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libgoogle-glog-dev
  libavformat-dev libavdevice-dev libavcodec-dev libavfilter-dev libavutil-dev libswscale-dev
  libcjson-dev libxlsxwriter-dev libsqlite3-dev sqlite3
  fonts-wqy-microhei
  opencv-doc
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libaravis-dev libusb-1.0-0-dev iproute2
  xvfb x11vnc xauth
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
