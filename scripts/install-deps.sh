#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what building and testing Loomwise needs on Debian 12, and the
# packages named as arguments, skipping the package index update when
# everything is already there.
set -euo pipefail
packages=("$@"
  cmake g++ make pkg-config
  libsqlite3-dev libutf8proc-dev nlohmann-json3-dev libre2-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libqt6sql6-sqlite
  python3 unicode-data
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  echo "Installing: ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
