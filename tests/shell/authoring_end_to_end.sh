#!/usr/bin/env bash
# The authoring mode on the real binary, on a display of its own, sound to a wave file. Each case
# is one run of the program; the picture is read back from the screen a pixel at a time.
#   authoring_end_to_end.sh VORDEL DATA_DIR CASE
#     live       edits, a broken save and its fix, a save by rename
#     transport  pause (a still picture, silence), beat and bar steps, back to the start
#     from       --from on the command line, the end of the demo, refused command lines
set -u
vordel=$(realpath "$1")
data=$(realpath "$2")
case_name=$3
. "$(dirname "$0")/../support/display.sh"

WAVE_BYTES_PER_SECOND=$((44100 * 2 * 2))
WAVE_HEADER_BYTES=44
SCREEN_W=640
SCREEN_H=480

work=$(mktemp -d)
pid=
trap '[ -z "$pid" ] || kill -9 "$pid" 2>/dev/null; display_stop; rm -rf "$work"' EXIT
cp "$data"/music.mp3 "$data"/*.track "$data"/*.png "$data"/*.bmp "$data"/*.jpg "$data"/timeline.txt "$work"/
cd "$work"
display_start ${SCREEN_W}x${SCREEN_H}x24 || exit 1
export ALSOFT_CONF="$work/alsoft.conf"
printf '[general]\ndrivers=wave\nchannels=stereo\nsample-type=int16\ndither=false\n[wave]\nfile=%s/out.wav\n' "$work" > "$ALSOFT_CONF"
export ALSOFT_DRIVERS=wave

fail() { echo "FAIL ($case_name): $*"; echo "--- stderr:"; tail -20 err.txt; exit 1; }
now_ms() { date +%s%3N; }
wave_bytes() { echo $(( $(stat -c %s out.wav 2>/dev/null || echo $WAVE_HEADER_BYTES) - WAVE_HEADER_BYTES )); }
# The colour at the bottom right, away from the overlay and the scene's middle, as "R,G,B".
corner() { import -window root -crop 1x1+$((SCREEN_W - 4))+$((SCREEN_H - 4)) -depth 8 txt:- 2>/dev/null | sed -n 's/^0,0: (\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'; }
# A checksum of the screen below the overlay.
picture() { import -window root -crop ${SCREEN_W}x$((SCREEN_H / 2))+0+$((SCREEN_H / 2)) rgb:- 2>/dev/null | md5sum; }
# Waits up to $2 ms for `$1` to succeed.
wait_for() { local end=$(($(now_ms) + $2)); until eval "$1"; do [ "$(now_ms)" -lt $end ] || return 1; sleep 0.02; done; }
# A timeline whose only change over time is the clear colour: $1 before row 400, $2 from it on.
timeline() {
  printf 'track scene fade.r fade.g fade.b fade.a cam.x cam.y cam.z cam.lookx cam.looky cam.lookz\n'
  printf '  0  0 0 0 0 0  0 0 5 0 0 0  hold\n'
  printf 'track scp.a scp.b scp.c fog text.i text.fade\n  0  0 0 0 0 0 0  hold\n'
  printf 'track clear.r clear.g clear.b\n  0  %s hold\n  12:2  %s hold\n' "$1" "$2"
}
key() { display_keys '^Vordel$' "$@"; }
# Starts vordel with the arguments after $1 and waits for its window and the line $1 on stderr.
# The editor's server takes any free port, so that runs beside each other never collide.
start() {
  ready=$1
  shift
  "$vordel" "$@" --port 0 > out.txt 2>> err.txt &
  pid=$!
  wait_for 'grep -q "$ready" err.txt && xdotool search --onlyvisible --name "^Vordel$" >/dev/null 2>&1' 20000 ||
    fail "no window or no '$ready' within 20 s"
}
escape() {
  key Escape
  wait_for '! kill -0 $pid 2>/dev/null' 5000 || fail "still running after Escape"
  wait $pid
  local status=$?
  pid=
  [ $status = 0 ] || fail "status $status after Escape"
  [ "$(tail -c 6 out.txt)" = finito ] || fail "no finito"
}
# Waits until the corner shows $1, at most $2 ms after now; prints how long it took.
expect_corner() {
  local from; from=$(now_ms)
  want=$1
  wait_for '[ "$(corner)" = "$want" ]' "$2" || fail "corner is $(corner), expected $1 within $2 ms"
  echo "  $3: $(( $(now_ms) - from )) ms"
}

case "$case_name" in
  live)
    timeline '1 0 0' '1 0 0' > timeline.txt
    start '^loaded timeline.txt$' --edit timeline.txt
    expect_corner 255,0,0 2000 "first picture"
    timeline '0 0 1' '0 0 1' > timeline.txt
    expect_corner 0,0,255 500 "edit in place"
    written=$(md5sum < sync_clear.b.track)
    [ "$written" != "$(md5sum < "$data"/sync_clear.b.track)" ] || fail "track file not written"
    printf 'track clear.r\n  0  red  hold\n' > timeline.txt
    wait_for 'grep -q "^timeline.txt:2: value \"red\" is not a number$" err.txt' 500 || fail "error not reported"
    [ "$(corner)" = 0,0,255 ] || fail "broken save changed the picture"
    [ "$(md5sum < sync_clear.b.track)" = "$written" ] || fail "broken save changed a track file"
    timeline '0 1 0' '0 1 0' > timeline.txt
    expect_corner 0,255,0 500 "fix"
    timeline '1 1 0' '1 1 0' > timeline.new && mv timeline.new timeline.txt
    expect_corner 255,255,0 500 "save by rename"
    escape
    ;;
  transport)
    timeline '1 0 0' '0 1 0' > timeline.txt
    start '^loaded timeline.txt$' --edit timeline.txt
    key space
    wait_for 'grep -q " paused$" err.txt' 2000 || fail "no pause reported"
    paused_at=$(wave_bytes)
    first=$(picture)
    sleep 1
    [ "$(picture)" = "$first" ] || fail "picture moves while paused"
    # The mixer may still sound what it had queued: skip a fifth of a second, then want silence.
    skip=$((paused_at + WAVE_BYTES_PER_SECOND / 5)); span=$(($(wave_bytes) - skip))
    [ $span -gt $((WAVE_BYTES_PER_SECOND / 2)) ] || fail "too little sound written while paused"
    tail -c +$((WAVE_HEADER_BYTES + skip + 1)) out.wav | head -c $span | cmp -s - <(head -c $span /dev/zero) ||
      fail "sound while paused (from byte $skip, $span bytes)"
    before=$(wc -l < err.txt)
    for k in Home Right Right Left Next Next Prior; do key $k; done
    expected=$'0:0:0 (row 0) paused\n0:1:0 (row 8) paused\n0:2:0 (row 16) paused\n0:1:0 (row 8) paused\n1:0:0 (row 32) paused\n2:0:0 (row 64) paused\n1:0:0 (row 32) paused'
    wait_for '[ "$(tail -n +$((before + 1)) err.txt)" = "$expected" ]' 3000 ||
      fail "positions printed: $(tail -n +$((before + 1)) err.txt | tr '\n' '|')"
    for _ in $(seq 11); do key Next; done
    wait_for 'grep -q "^12:0:0 (row 384) paused$" err.txt' 3000 || fail "bar steps to 12:0"
    key Right Right
    expect_corner 0,255,0 1000 "stepped over row 400"
    escape
    ;;
  from)
    for bad in "--from 1:4" "--from -3" "--from" "--edit missing.txt" "--no-such-option"; do
      "$vordel" $bad > out.txt 2> err.txt
      status=$?
      [ $status -ge 64 ] && [ $status -le 66 ] || fail "'$bad': status $status"
      [ "$(wc -l < err.txt)" = 1 ] && [ ! -s out.txt ] || fail "'$bad': not one line before the window"
    done
    "$vordel" --from 99:0 > out.txt 2> err.txt
    [ $? = 64 ] && grep -q '^vordel: position 99:0:0 (row 3168) is past the end of the music$' err.txt || fail "past the end"
    timeline '1 0 0' '0 0 1' > timeline.txt
    start '^12:2:0 (row 400) start$' --edit timeline.txt --from 12:2
    expect_corner 0,0,255 1000 "--from"
    escape
    # The bundled timeline's fade ends at row 1056: the authoring mode holds on that row, however
    # late the frame that finds the end comes.
    cp "$data"/timeline.txt timeline.txt
    start '^32:3:0 (row 1048) start$' --edit --from 32:3
    wait_for 'grep -q "^33:0:0 (row 1056) paused$" err.txt' 10000 || fail "no pause on row 1056 within 10 s: $(tr "\n" "|" < err.txt)"
    kill -0 $pid || fail "ended at the end of the demo"
    escape
    ;;
  *)
    fail "unknown case"
    ;;
esac
echo "ok ($case_name)"
