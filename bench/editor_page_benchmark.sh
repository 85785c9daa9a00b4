#!/usr/bin/env bash
# Figures of the editor page on the real binary (run by hand, prints figures, passes nothing):
#   bench/editor_page_benchmark.sh build/vordel data
# The demo plays on a display of its own with the sound to a wave file, on a scratch copy of the
# data: first the bundled timeline, then a 10,000-key one (editor_benchmark.py's).
set -u
vordel=$(realpath "$1")
data=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
. "$here/../tests/support/display.sh"
demo_scene "$data" || exit 1
python3 -c "import sys; sys.argv = ['', '']; exec(open('$here/editor_benchmark.py').read().split('\nmain()')[0]);
open('large.txt', 'w').write(synthetic_timeline())"
for timeline in timeline.txt large.txt; do
  : > err.txt
  "$vordel" --edit $timeline --port 0 2> err.txt > /dev/null &
  pid=$!
  wait_for 'grep -q "^loaded" err.txt' 60000 || { echo "the demo did not start"; tail err.txt; exit 1; }
  url=$(sed -n 's/^editor: //p' err.txt | head -1)
  /usr/bin/python3 "$here/editor_page_benchmark.py" "$url" "$timeline" --pid $pid \
    --label "$([ $timeline = large.txt ] && echo '10,000 keys' || echo 'the bundled timeline')"
  kill $pid; wait $pid 2>/dev/null
  pid=
done
