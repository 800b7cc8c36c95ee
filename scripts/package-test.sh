#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root with dpkg -x and
# runs the binary found there: the package holds a working mivaro, its man
# page and licence, and declares the libraries the binary needs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${BUILD_DIR:-build-package}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DMIVARO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
rm -f "$build"/mivaro_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/mivaro_*.deb)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

fail() { echo "package test: $*" >&2; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: $(basename "$deb"), Depends: $depends"
# The whole-disc reader links the libcdio family.
for lib in libc6 libstdc++6 libcdio libiso9660 libvcdinfo; do
  [[ $depends == *"$lib"* ]] || fail "$lib is not among the declared dependencies"
done
dpkg -x "$deb" "$root"
for f in usr/bin/mivaro usr/share/man/man1/mivaro.1 usr/share/doc/mivaro/LICENSE; do
  [[ -f $root/$f ]] || fail "$f is missing from the package"
done
version=$("$root/usr/bin/mivaro" --version) || fail "the installed mivaro --version failed"
[[ $version == *"Mivaro v"* ]] || fail "unexpected --version output: $version"
echo "installed binary: $(tr -s '\n' ' ' <<<"$version")"
"$root/usr/bin/mivaro" -disc2mpg tests/data/sample/sample.cue "$root/disc" >/dev/null ||
  fail "the installed mivaro could not take the sample disc apart"
cmp -s "$root/disc/avseq01.mpg" tests/data/sample/clip1.mpg || fail "the installed mivaro wrote a wrong avseq01.mpg"
