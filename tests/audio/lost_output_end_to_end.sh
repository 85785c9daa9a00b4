#!/usr/bin/env bash
# The real binary losing its sound output part-way through, as when a headset is unplugged: the
# preloaded shim makes OpenAL Soft report the device disconnected and the music stopped LOSE_AFTER
# seconds into playback. Each case is one run on a display of its own, sound to a wave file.
#   lost_output_end_to_end.sh VORDEL SHIM DATA_DIR CASE
#     plain      from bar 30 the demo still reaches its fade by the clock and ends by itself
#     authoring  after the loss, pause, a step, resume and a seek still move the position
set -u
vordel=$(realpath "$1")
shim=$(realpath "$2")
data=$(realpath "$3")
case_name=$4
. "$(dirname "$0")/../support/display.sh"

LOSE_AFTER=1.5
LOST_LINE='audio output lost; going on without sound'
# From row 960 (30:0) the bundled fade ends at row 1104: 144 rows, 8.4375 s of music.
FROM=30:0
MUSIC_MS=8437

demo_scene "$data" 320x240x24 || exit 1  # nothing on screen is read

fail() { echo "FAIL ($case_name): $*"; give_up_evidence; exit 1; }
# Starts vordel under the shim with --from $1 and the other arguments given, and waits until it
# starts playing (the line it prints just before) and until the output is lost.
start_and_lose() {
  VORDEL_LOSE_OUTPUT_AFTER=$LOSE_AFTER LD_PRELOAD=$shim "$vordel" --from "$@" > out.txt 2> err.txt &
  pid=$!
  wait_for 'grep -q " start$" err.txt || ! kill -0 $pid 2>/dev/null' 90000 || fail "not started within 90 s"
  started_at=$(now_ms)
  wait_for 'grep -q "^$LOST_LINE$" err.txt || ! kill -0 $pid 2>/dev/null' 10000 || fail "output not lost within 10 s"
  lost_at=$(now_ms)
}
ended() { ! kill -0 $pid 2>/dev/null; }
finish() {
  wait $pid
  local status=$?
  pid=
  [ $status = 0 ] || fail "status $status"
  [ "$(tail -c 6 out.txt)" = finito ] || fail "no finito"
  [ "$(grep -c "^$LOST_LINE$" err.txt)" = 1 ] || fail "the loss is not told exactly once"
}
key() { display_keys '^Vordel$' "$@"; }
# Types key $1 and waits for the next line on stderr, which must match $2; its row is left in `row`.
expect_line() {
  local before; before=$(wc -l < err.txt)
  key "$1"
  wait_for '[ "$(wc -l < err.txt)" -gt $before ]' 3000 || fail "nothing printed for $1"
  line=$(tail -n +$((before + 1)) err.txt | head -1)
  [[ $line =~ $2 ]] || fail "$1 printed '$line', expected /$2/"
  row=$(sed -n 's/.*(row \([0-9]*\)).*/\1/p' <<< "$line")
}

case "$case_name" in
  plain)
    start_and_lose $FROM
    # The picture reaches the fade by itself, and by the clock: never before the music would
    # have (a jump to the end would end within a frame of the loss).
    wait_for ended 30000 || fail "still running 30 s after the loss"
    ran=$(($(now_ms) - started_at))
    echo "  ended $((ran - lost_at + started_at)) ms after the loss, $ran ms after the start (music: $MUSIC_MS ms)"
    [ $ran -ge $((MUSIC_MS - 500)) ] || fail "ended $ran ms after the start, before its fade"
    finish
    ;;
  authoring)
    start_and_lose 4:0 --edit
    ended && fail "ended at the loss"
    # Keys print their lines from here on, none of the start's.
    wait_for 'grep -q "^track files written for timeline.txt$" err.txt' 30000 || fail "no track files written"
    # Each key with the line it prints; rows in bars of 32 and beats of 8.
    expect_line space '^[0-9:]+ \(row [0-9]+\) paused$'
    paused=$row
    expect_line Right '\) paused$'
    [ "$row" = $((paused / 8 * 8 + 8)) ] || fail "a beat on from row $paused gave row $row"
    stepped=$row
    expect_line bracketleft "\\(row $stepped\\) loop bars"
    expect_line space "\\(row $stepped\\) playing$"
    expect_line Home '^0:0:0 \(row 0\) playing$'
    # From the seek the position runs on with the clock: a bar (1.9 s of music) within 10 s.
    sought_at=$(now_ms)
    until expect_line bracketleft 'loop bars' && [ "$row" -ge 32 ]; do
      [ $(($(now_ms) - sought_at)) -lt 10000 ] || fail "stuck at row $row after the seek"
      sleep 0.1
    done
    key Escape
    wait_for ended 5000 || fail "still running after Escape"
    finish
    ;;
  *) fail "unknown case" ;;
esac
echo "ok ($case_name)"
