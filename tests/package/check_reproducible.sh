#!/usr/bin/env bash
# Builds the players' packages twice from the commit checked out here, by
# the README's release steps, in two clones of different names, at
# different times and under different umasks, and checks that the
# executables, the packages and their checksums are the same byte for byte.
# Slow (both systems, twice): run by .ci/run, not by ctest.
set -euo pipefail
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

release() {  # folder, umask
  git clone -q "$repo" "$1"
  (
    cd "$1"
    umask "$2"
    cmake --preset default >/dev/null
    cmake --build --preset default -j "$(nproc)" >/dev/null
    (cd build && cpack >/dev/null)
    cmake --preset windows >/dev/null
    cmake --build --preset windows -j "$(nproc)" >/dev/null
    (cd build-windows && cpack >/dev/null)
  )
}

release "$work/one" 022
release "$work/a-second-clone-elsewhere" 027

files=(build/velmoria-setup build-windows/velmoria-setup.exe)
for package in "$work"/one/build/*.tar.gz* "$work"/one/build-windows/*.zip*; do
  files+=("${package#"$work"/one/}")
done
differ=0
for file in "${files[@]}"; do
  if ! cmp -s "$work/one/$file" "$work/a-second-clone-elsewhere/$file"; then
    echo "differs between the two builds: $file"
    differ=$((differ + 1))
  fi
done
[ "$differ" -eq 0 ] || exit 1
echo "reproducible: the same bytes from both builds: ${files[*]##*/}"
