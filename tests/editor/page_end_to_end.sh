#!/usr/bin/env bash
# The editor page against the real binary: `vordel --edit` on copies of the bundled data with a
# timeline of the test's own (the steps name its keys; the demo's own may be reworked), on a
# display of its own with the sound going to a wave file, and page_test.py driving one headless
# Chromium. The demo's picture is read back from the screen, below the overlay.
#   page_end_to_end.sh VORDEL DATA_DIR
set -u
vordel=$(realpath "$1")
data=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/display.sh"

SCREEN_W=640
SCREEN_H=480
demo_scene "$data" ${SCREEN_W}x${SCREEN_H}x24 || exit 1
cp "$here/page_timeline.txt" timeline.txt || exit 1
"$vordel" --edit timeline.txt --port 0 > out.txt 2> err.txt &
pid=$!
wait_for 'grep -q "^editor: http://" err.txt && xdotool search --onlyvisible --name "^Vordel$" >/dev/null 2>&1' 90000 ||
  { echo "FAIL: no editor address or no window within 90 s"; give_up_evidence; exit 1; }
url=$(sed -n 's/^editor: //p' err.txt | head -1)
picture="import -window root -crop ${SCREEN_W}x$((SCREEN_H / 2))+0+$((SCREEN_H / 2)) rgb:- 2>/dev/null | md5sum"
/usr/bin/python3 "$here/page_test.py" "$url" "$work/timeline.txt" --picture "$picture"
status=$?
[ $status = 0 ] || give_up_evidence
exit $status
