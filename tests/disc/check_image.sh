#!/usr/bin/env bash
# The disc image as Windows reads it: its Joliet names and every byte against the tree it was made
# from, then, with drive D: linked to what came out of it, the Windows side (disc_test).
#   check_image.sh IMAGE TREE WORK PROGRAM
set -uo pipefail
image=$1 tree=$2 work=$3 program=$4
root=$(cd "$(dirname "$0")/../.." && pwd)

# The extracted files are read-only, as on a disc.
[ -d "$work" ] && chmod -R u+w "$work" && rm -rf "$work"
mkdir -p "$work"
# Joliet names only (norock): the names Windows shows.
if ! xorriso -no_rc -read_fs norock -local_charset UTF-8 -osirrox on -indev "$image" \
    -extract / "$work/disc" >"$work/xorriso.log" 2>&1; then
  cat "$work/xorriso.log"
  echo "expected the image to extract"
  exit 1
fi
if ! diff -r "$tree" "$work/disc"; then
  echo "expected the image to hold the tree's files under their names, byte for byte"
  exit 1
fi
exec "$root/tools/wine-run" --cd "$work/disc" --timeout 120 -- "$program"
