#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need (only those missing)
# and the Russian locale.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libboost-dev libboost-thread-dev libboost-filesystem-dev libboost-system-dev libboost-date-time-dev
  libwxgtk3.2-dev wx3.2-i18n libconfig++-dev libvlc-dev libvlc-bin vlc-plugin-base
  libmp3lame-dev lame libavcodec-dev zlib1g-dev libasound2-dev libpulse-dev pulseaudio pulseaudio-utils
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth libx11-dev fonts-dejavu-core locales imagemagick iproute2 util-linux
  # Where a test hangs, the stacks of its threads go to the log.
  gdb
  clang libclang-rt-14-dev
  # The floor of the common stream benchmark: the stock encoder beside the streamer.
  ffmpeg
)

sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 \
    install -y --no-install-recommends "${missing[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  "${sudo_cmd[@]}" localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
