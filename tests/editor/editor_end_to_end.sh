#!/usr/bin/env bash
# The editor's server on the real binary: a display of its own with a window manager, sound to a
# wave file, a scratch folder with the bundled data; the checks themselves are in the Python script.
#   editor_end_to_end.sh VORDEL DATA_DIR
set -u
vordel=$(realpath "$1")
data=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
. "$here/../support/display.sh"
work=$(mktemp -d)
trap 'display_stop; rm -rf "$work"' EXIT
cp "$data"/music.mp3 "$data"/*.track "$data"/*.png "$data"/*.bmp "$data"/*.jpg "$work"/
display_start 640x480x24 || exit 1
export ALSOFT_CONF="$work/alsoft.conf" ALSOFT_DRIVERS=wave
printf '[general]\ndrivers=wave\nchannels=stereo\nsample-type=int16\n[wave]\nfile=%s/out.wav\n' "$work" > "$ALSOFT_CONF"
cd "$work" && python3 "$here/editor_end_to_end.py" "$vordel"
