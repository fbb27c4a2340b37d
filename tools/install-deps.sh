#!/usr/bin/env bash
# Installs the Debian packages the build, the show and the tests need.
# Idempotent: only missing packages are fetched. Runs apt-get as root, or through sudo.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libsdl1.2-dev libsdl-mixer1.2-dev libasound2-dev libfreeimage-dev libgl1-mesa-dev
  libgtest-dev libbenchmark-dev libhwy-dev
  ffmpeg xvfb xauth xdotool x11-utils wmctrl openbox libx11-dev
  sox lame imagemagick fonts-dejavu-core
  # the render farm's engines: GNU parallel (and an SSH server for its remote test), and Slurm with munge
  parallel slurm-wlm munge openssh-server
  # checks: the fuzzers (clang with libFuzzer, llvm-symbolizer for readable
  # reports), the Debian package (dpkg-shlibdeps) and its manual page
  clang libclang-rt-14-dev llvm dpkg-dev man-db
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
