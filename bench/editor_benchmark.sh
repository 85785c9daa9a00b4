#!/usr/bin/env bash
# Figures of the editor's server on the real binary (run by hand, prints figures, passes nothing):
#   bench/editor_benchmark.sh build/vordel data
# A display of its own, sound to a wave file, a scratch copy of the data.
set -u
vordel=$(realpath "$1")
data=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
. "$here/../tests/support/display.sh"
demo_scene "$data" || exit 1
python3 "$here/editor_benchmark.py" "$vordel"
