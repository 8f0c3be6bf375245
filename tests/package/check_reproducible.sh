#!/usr/bin/env bash
# Checks that the players' packages are the same byte for byte from every
# build of a commit: builds the program and its packages again, tests left
# out, in a clone of another name, under another umask, and compares the
# executables, the packages and their checksums with those of the builds in
# this tree (build/ and build-windows/, which it packs). Run by .ci/run after
# both presets are built, not by ctest.
set -euo pipefail
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clone=$work/a-second-clone-elsewhere
git clone -q "$repo" "$clone"

pack() {  # the build folder
  (cd "$1" && cpack >/dev/null)
}
(
  cd "$clone"
  umask 027
  for preset in default windows; do
    cmake --preset "$preset" -DBUILD_TESTING=OFF >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
  done
  pack build
  pack build-windows
)
pack "$repo/build"
pack "$repo/build-windows"

files=(build/velmoria-setup build-windows/velmoria-setup.exe)
for package in "$clone"/build/*.tar.gz* "$clone"/build-windows/*.zip*; do
  files+=("${package#"$clone"/}")
done
differ=0
for file in "${files[@]}"; do
  if ! cmp -s "$repo/$file" "$clone/$file"; then
    echo "differs between the two builds: $file"
    differ=$((differ + 1))
  fi
done
[ "$differ" -eq 0 ] || exit 1
echo "reproducible: the same bytes from both builds: ${files[*]##*/}"
