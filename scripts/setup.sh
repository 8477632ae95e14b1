#!/usr/bin/env bash
# Installs the Debian packages the project needs; does nothing when all of
# them are present.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins fonts-dejavu-core
  sox libsox-fmt-mp3 libsndfile1-dev libmpg123-dev libsoxr-dev libcli11-dev
  pulseaudio pulseaudio-utils
  clang libclang-rt-14-dev
  desktop-file-utils appstream man-db lintian dpkg-dev bash-completion
  libtsk-dev dosfstools mtools
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
