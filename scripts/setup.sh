#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, where missing.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-dev pkg-config
          libmd-dev libgtest-dev libgmock-dev libbenchmark-dev
          libwxgtk3.2-dev libgtk-3-dev libxtst-dev xvfb xauth openbox xdotool wmctrl appstream
          python3-dev python3-venv python3-pip pybind11-dev python3-numpy python3-pytest
          python3-dask python3-distributed python3-soundfile
          libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
          gstreamer1.0-plugins-base gstreamer1.0-plugins-good
          shared-mime-info desktop-file-utils lintian)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
