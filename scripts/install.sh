#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12. Safe to run again.
set -euo pipefail

packages=(
    cmake g++ make pkg-config ccache
    juce-modules-source libjack-jackd2-dev libasound2-dev libfreetype-dev libpng-dev libx11-dev
    fonts-dejavu-core
    libgtest-dev libltc-dev
    clang libclang-rt-14-dev clang-format
    xvfb xauth openbox xdotool wmctrl x11-utils imagemagick
    jackd2 jack-tools zenity
    faketime libfaketime
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo debconf-set-selections
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
