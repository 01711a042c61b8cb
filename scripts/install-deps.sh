#!/usr/bin/env bash
# Installs the Debian 12 packages Pavo needs to build, test and run.
# Safe to run again: it asks apt only for what is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libxcb1-dev libxcb-xinerama0-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev libjpeg-dev libpng-dev libexif-dev
  libheif-dev libavif-dev libjxl-dev libgif-dev libwebp-dev
  liblcms2-dev zlib1g-dev libgs-common
  libheif-examples libavif-bin libjxl-tools gifsicle webp
  libboost-dev libcurl4-openssl-dev libglib2.0-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev libxext-dev libxdamage-dev libxtst-dev
  python3 openssl locales
  xvfb xauth x11-utils x11-xserver-utils openbox xfwm4 dbus-daemon tint2 xdotool wmctrl imagemagick
  clang clang-format clang-tidy gdb
  desktop-file-utils appstream dpkg-dev file shared-mime-info xdg-utils man-db groff-base librsvg2-bin
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  as_root=(sudo)
else
  echo "install-deps: these packages are missing: ${missing[*]}" >&2
  echo "install-deps: installing them needs root; run this script as root or as a user with sudo rights." >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
