#!/usr/bin/env bash
# Installs the Debian packages that building and testing mivaro need, and
# only when one of them is missing. Run as root, or with sudo available.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-dev libgtest-dev  # build, tests, sanitizer and fuzz builds
  libvcdinfo-dev libiso9660-dev libcdio-dev pkg-config  # Video CD info files and filesystem
  ffmpeg vcdimager                                   # real Video CD material for the interop suite
  util-linux                                         # setpriv, to test unreadable inputs as root
  time                                               # peak memory in the benchmark
  bchunk                                             # a peer in the benchmark, and a reader of -disc2bin images
  gddrescue                                          # ddrescuelog reads the maps -disc2bin writes
  pkg-config libcdio-dev libiso9660-dev libvcdinfo-dev  # disc images, their filesystem and info files
  libssl-dev libexpat1-dev                           # -verify -hash: MD5 and SHA-1, redump DATs
  dpkg-dev file                                      # dpkg-shlibdeps, for the Debian package's dependencies
  zlib1g-dev liblzma-dev libflac-dev libzstd-dev     # the codecs of CHD images' hunks
  mame-tools                                         # chdman, to make CHD images in the tests
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
