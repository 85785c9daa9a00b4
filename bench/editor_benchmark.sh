#!/usr/bin/env bash
# Figures of the editor's server on the real binary (run by hand, prints figures, passes nothing):
#   bench/editor_benchmark.sh build/vordel data
# A display of its own, sound to a wave file, a scratch copy of the data.
set -u
vordel=$(realpath "$1")
data=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
. "$here/../tests/support/display.sh"
work=$(mktemp -d)
trap 'display_stop; rm -rf "$work"' EXIT
cp "$data"/* "$work"/
display_start 640x480x24 || exit 1
export ALSOFT_CONF="$work/alsoft.conf" ALSOFT_DRIVERS=wave
printf '[general]\ndrivers=wave\n[wave]\nfile=%s/out.wav\n' "$work" > "$ALSOFT_CONF"
cd "$work" && python3 "$here/editor_benchmark.py" "$vordel"
