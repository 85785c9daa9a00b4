#!/usr/bin/env bash
# The editor's server on the real binary, in a scene of its own; the checks are in the Python script.
#   editor_end_to_end.sh VORDEL SLOW_FLUSH_SHIM DATA_DIR
set -u
vordel=$(realpath "$1")
shim=$(realpath "$2")
data=$(realpath "$3")
here=$(dirname "$(realpath "$0")")
. "$here/../support/display.sh"
demo_scene "$data" || exit 1
python3 "$here/editor_end_to_end.py" "$vordel" "$shim"
