#!/usr/bin/env bash
# The authoring mode on the real binary, on a display of its own, sound to a wave file. Each case
# is one run of the program; the picture is read back from the screen a pixel at a time.
#   authoring_end_to_end.sh VORDEL DATA_DIR CASE
#     live       edits, a broken save and its fix, a save by rename
#     saves      saves written in pieces with pauses, in place and by rename
#     files      a timeline deleted, a folder, unreadable, too many keys, too big, a FIFO
#     transport  pause (a still picture, silence), resume, beat and bar steps, the loop, the overlay
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
# What the program says once a load's track files are on disk (after the picture shows the load).
WRITTEN='track files written for timeline\.txt'

demo_scene "$data" ${SCREEN_W}x${SCREEN_H}x24 || exit 1

as_user=
fail() { echo "FAIL ($case_name): $*"; give_up_evidence; exit 1; }
wave_bytes() { echo $(( $(stat -c %s out.wav 2>/dev/null || echo $WAVE_HEADER_BYTES) - WAVE_HEADER_BYTES )); }
# The colour at the bottom right, away from the overlay and the scene's middle, as "R,G,B".
corner() { import -window root -crop 1x1+$((SCREEN_W - 4))+$((SCREEN_H - 4)) -depth 8 txt:- 2>/dev/null | sed -n 's/^0,0: (\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'; }
# The colour at the top left, under the overlay's box.
top_left() { import -window root -crop 1x1+2+2 -depth 8 txt:- 2>/dev/null | sed -n 's/^0,0: (\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1,\2,\3/p'; }
# A checksum of the screen below the overlay.
picture() { import -window root -crop ${SCREEN_W}x$((SCREEN_H / 2))+0+$((SCREEN_H / 2)) rgb:- 2>/dev/null | md5sum; }
# A timeline whose only change over time is the clear colour: $1 before row 400, $2 from it on.
timeline() {
  printf 'track scene fade.r fade.g fade.b fade.a cam.x cam.y cam.z cam.lookx cam.looky cam.lookz\n'
  printf '  0  0 0 0 0 0  0 0 5 0 0 0  hold\n'
  printf 'track scp.a scp.b scp.c fog text.i text.fade\n  0  0 0 0 0 0 0  hold\n'
  printf 'track clear.r clear.g clear.b\n  0  %s hold\n  12:2  %s hold\n' "$1" "$2"
}
key() { display_keys '^Vordel$' "$@"; }
# Debian's own, which starts in a tenth of the time a version manager's wrapper takes.
python=$(command -v /usr/bin/python3 || command -v python3)
# Writes file $1 to $2 in 8 pieces, 40 to 50 ms apart, as a slow writer does; cut anywhere, or
# with a third argument at line ends only, which leaves a good timeline with keys cut off.
write_in_pieces() {
  "$python" - "$@" <<'EOF'
import sys, time
data = open(sys.argv[1], 'rb').read()
units = data.splitlines(keepends=True) if len(sys.argv) > 3 else [data[i:i + 1] for i in range(len(data))]
with open(sys.argv[2], 'wb') as out:
    for i in range(8):
        out.write(b''.join(units[len(units) * i // 8:len(units) * (i + 1) // 8]))
        out.flush()
        if i < 7:
            time.sleep(0.040 + 0.002 * i)
EOF
}
# A new time on the timeline every 20 ms for 5 s, never opening it: a save shown meanwhile was read on its close.
keep_touching() { "$python" -c 'import os, time; [(os.utime("timeline.txt"), i or open("touching", "w"), time.sleep(0.02)) for i in range(250)]'; }
# Plays on until the music has moved half a second.
play_half() {
  local from; from=$(wave_bytes)
  wait_for '[ $(wave_bytes) -gt $((from + WAVE_BYTES_PER_SECOND / 2)) ]' 5000 || fail "the music stands still"
}
# Rows "COMMAND|KEYS|CORNER|LINE|LINE...": runs the command, types the keys (play_half lets the
# music play on for half a second), then wants exactly these lines on standard error (bash
# patterns, whole lines) and, unless it is empty, the colour CORNER at the bottom right.
run_rows() {
  local row command keys want_corner lines k from typed
  while IFS= read -r row; do
    IFS='|' read -r command keys want_corner lines <<< "$row"
    IFS='|' read -ra want <<< "$lines"
    before=$(wc -l < err.txt)
    from=$(now_ms)
    eval "$command"
    typed=()
    for k in $keys play_none; do
      case $k in
        play_half | play_none)
          [ ${#typed[@]} = 0 ] || key "${typed[@]}"
          typed=()
          [ $k = play_none ] || play_half
          ;;
        *) typed+=("$k") ;;
      esac
    done
    wait_for lines_match 10000 || fail "after '$command' '$keys': $(tail -n +$((before + 1)) err.txt | head -5 | tr '\n' '|')"
    echo "  ${command:0:40} $keys: $(($(now_ms) - from)) ms"
    [ -z "$want_corner" ] || expect_corner "$want_corner" 2000 "then the corner"
  done
}
lines_match() {
  local got i
  mapfile -t got < <(tail -n +$((before + 1)) err.txt)
  [ ${#got[@]} = ${#want[@]} ] || return 1
  for i in "${!want[@]}"; do [[ ${got[$i]} =~ ^${want[$i]}$ ]] || return 1; done
}
# Starts vordel with the arguments after $1 and waits for its window and the line $1 on stderr.
# The editor's server takes any free port, so that runs beside each other never collide.
start() {
  ready=$1
  shift
  $as_user "$vordel" "$@" --port 0 > out.txt 2>> err.txt &
  pid=$!
  # The start builds the landscape first: seconds of one core, much longer on a busy machine.
  wait_for 'grep -q "$ready" err.txt && xdotool search --onlyvisible --name "^Vordel$" >/dev/null 2>&1' 90000 ||
    fail "no window or no '$ready' within 90 s"
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
    start "^$WRITTEN$" --edit timeline.txt
    expect_corner 255,0,0 2000 "first picture"
    timeline '0 0 1' '0 0 1' > timeline.txt
    expect_corner 0,0,255 1500 "edit in place"
    wait_for '[ "$(grep -c "^$WRITTEN$" err.txt)" = 2 ]' 10000 || fail "track files not written"
    written=$(md5sum < sync_clear.b.track)
    [ "$written" != "$(md5sum < "$data"/sync_clear.b.track)" ] || fail "track file not written"
    printf 'track clear.r\n  0  red  hold\n' > timeline.txt
    wait_for 'grep -q "^timeline.txt:2: value \"red\" is not a number$" err.txt' 1500 || fail "error not reported"
    [ "$(corner)" = 0,0,255 ] || fail "broken save changed the picture"
    [ "$(md5sum < sync_clear.b.track)" = "$written" ] || fail "broken save changed a track file"
    timeline '0 1 0' '0 1 0' > timeline.txt
    expect_corner 0,255,0 1500 "fix"
    timeline '1 1 0' '1 1 0' > timeline.new && mv timeline.new timeline.txt
    expect_corner 255,255,0 1500 "save by rename"
    escape
    ;;
  saves)
    # Every piece of a save is a prefix of a good timeline, a mistake or one with keys cut off. What
    # holds however slow the machine: no mistake is ever shown, and the picture and the track files
    # end on the last whole save. (A writer whose pause outlasts the quiet time may have a good
    # prefix shown for a moment before the rest.) A save closed by its writer is read at once.
    timeline '1 0 0' '1 0 0' > timeline.txt
    timeline '0 1 0' '0 1 0' > green.txt
    # Cut at any line end past its first lines, it is a good timeline with keys cut off.
    { timeline '0 0 1' '0 0 1'; seq 13 40 | sed 's/$/:0  0 0 1  hold/'; } > blue.txt
    start "^$WRITTEN$" --edit timeline.txt
    while IFS='|' read -r command want_corner; do
      eval "$command"
      [ -z "$want_corner" ] || expect_corner "$want_corner" 2000 "${command:0:40}"
    done <<ROWS
write_in_pieces "$data"/timeline.txt timeline.txt|
write_in_pieces green.txt timeline.txt|0,255,0
write_in_pieces blue.txt timeline.txt lines|0,0,255
write_in_pieces "$data"/timeline.txt timeline.new && mv timeline.new timeline.txt|
write_in_pieces green.txt timeline.txt|0,255,0
keep_touching & toucher=\$!; wait_for '[ -e touching ]' 5000; timeline '1 0 1' '1 0 1' > timeline.txt|255,0,255
kill \$toucher; write_in_pieces "$data"/timeline.txt timeline.txt|
ROWS
    same_tracks() { for track in "$data"/sync_*.track; do cmp -s "$track" "$(basename "$track")" || return 1; done; }
    wait_for same_tracks 10000 || fail "the track files are not the last save's"
    ! grep -v -e "^editor: " -e "^loaded timeline\.txt$" -e "^$WRITTEN$" err.txt || fail "more than loads were shown"
    escape
    ;;
  files)
    timeline '1 0 0' '1 0 0' > timeline.txt
    # Root reads any file whatever its mode: without those two powers the program meets chmod 000.
    [ "$(id -u)" != 0 ] || as_user="setpriv --bounding-set=-dac_override,-dac_read_search"
    start "^$WRITTEN$" --edit timeline.txt
    keeping='; keeping the last good timeline'
    run_rows <<EOF
rm timeline.txt||255,0,0|timeline\.txt: deleted$keeping
mkdir timeline.txt|||timeline\.txt: is a folder, not a timeline file$keeping
rmdir timeline.txt && timeline '0 1 0' '0 1 0' > timeline.txt||0,255,0|loaded timeline\.txt|$WRITTEN
timeline '0 0 1' '0 0 1' > t.new && chmod 000 t.new && mv t.new timeline.txt||0,255,0|timeline\.txt: cannot open \(Permission denied\)$keeping
chmod 644 timeline.txt||0,0,255|loaded timeline\.txt|$WRITTEN
{ echo track fog; sed 's/$/ 0 hold/' <(seq 0 1099999); } > t.new && mv t.new timeline.txt|||timeline\.txt:1048578: track "fog" has more than 1048576 keys, the most a track file holds
truncate -s 110M t.new && mv t.new timeline.txt|||timeline\.txt: 115343360 bytes, more than the 67108864 a timeline may have$keeping
|Home play_half space|0,0,255|0:0:0 \(row 0\) playing|[0-9]+:[0-3]:[0-7] \(row [1-9][0-9]*\) paused
mkfifo t.new && mv t.new timeline.txt|play_half play_half||timeline\.txt: not a regular file$keeping
EOF
    [ -z "$(uniq -d err.txt)" ] || fail "reported again: $(uniq -d err.txt)"
    # Escape while a save just under the size limit compiles ends the program at once.
    names=$(sed -n 's/^track //p' "$data"/timeline.txt | tr '\n' ' ')
    { echo "track $names"; sed "s/\$/$(printf ' 0.25%.0s' $names) linear/" <(seq 0 549999); } > t.new
    mv t.new timeline.txt
    escape
    ;;
  transport)
    timeline '1 0 0' '0 1 0' > timeline.txt
    start "^$WRITTEN$" --edit timeline.txt
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
    key Home Right Right Left Next Next Prior
    expected=$'0:0:0 (row 0) paused\n0:1:0 (row 8) paused\n0:2:0 (row 16) paused\n0:1:0 (row 8) paused\n1:0:0 (row 32) paused\n2:0:0 (row 64) paused\n1:0:0 (row 32) paused'
    wait_for '[ "$(tail -n +$((before + 1)) err.txt)" = "$expected" ]' 3000 ||
      fail "positions printed: $(tail -n +$((before + 1)) err.txt | tr '\n' '|')"
    key $(printf 'Next %.0s' $(seq 11))
    wait_for 'grep -q "^12:0:0 (row 384) paused$" err.txt' 3000 || fail "bar steps to 12:0"
    key Right Right
    expect_corner 0,255,0 1000 "stepped over row 400"
    # Resume, then the loop: turned on away from its bars it goes there, a looping playback stays
    # within them, a position past its end goes back, and the marks keep their bars in any order.
    p='\(row [0-9]+\)'
    run_rows <<EOF
|Home space play_half space||0:0:0 \(row 0\) paused|0:0:0 \(row 0\) playing|[0-9]+:[0-3]:[0-7] \(row [1-9][0-9]*\) paused
|Home bracketleft Next Next Next l||0:0:0 \(row 0\) paused|0:0:0 \(row 0\) loop bars 0-0 off|1:0:0 \(row 32\) paused|2:0:0 \(row 64\) paused|3:0:0 \(row 96\) paused|0:0:0 \(row 0\) loop bars 0-0 on
|space play_half play_half play_half play_half space||0:0:0 \(row 0\) playing|0:[0-3]:[0-7] $p paused
|l||0:[0-3]:[0-7] $p loop bars 0-0 off
|Home Next Next Next Next Next Next Next Next bracketleft||0:0:0 \(row 0\) paused|1:0:0 \(row 32\) paused|2:0:0 \(row 64\) paused|3:0:0 \(row 96\) paused|4:0:0 \(row 128\) paused|5:0:0 \(row 160\) paused|6:0:0 \(row 192\) paused|7:0:0 \(row 224\) paused|8:0:0 \(row 256\) paused|8:0:0 \(row 256\) loop bars 0-8 off
|Prior Prior bracketright l||7:0:0 \(row 224\) paused|6:0:0 \(row 192\) paused|6:0:0 \(row 192\) loop bars 6-8 off|6:0:0 \(row 192\) loop bars 6-8 on
|Next Next Next space play_half space||7:0:0 \(row 224\) paused|8:0:0 \(row 256\) paused|9:0:0 \(row 288\) paused|9:0:0 \(row 288\) playing|[6-8]:[0-3]:[0-7] $p paused
EOF
    [ "$(top_left)" != 255,0,0 ] || fail "no overlay at the top left"
    key o
    wait_for '[ "$(top_left)" = 255,0,0 ]' 2000 || fail "o: the overlay stays ($(top_left))"
    key o
    wait_for '[ "$(top_left)" != 255,0,0 ]' 2000 || fail "o again: no overlay"
    escape
    ;;
  from)
    mkdir folder.txt && mkfifo fifo.txt
    while IFS='|' read -r want bad message; do
      timeout 10 "$vordel" $bad > out.txt 2> err.txt
      status=$?
      [ $status = "$want" ] || fail "'$bad': status $status, not $want"
      [ "$(cat err.txt)" = "vordel: $message" ] && [ ! -s out.txt ] || fail "'$bad': not one line before the window"
    done <<'EOF'
64|--from 1:4|malformed position '1:4' (want ROW, BAR:BEAT or BAR:BEAT:ROW with beat 0-3, row 0-7) (try --help)
64|--no-such-option|unknown option '--no-such-option' (try --help)
66|--edit missing.txt|missing.txt: cannot open (No such file or directory)
66|--edit folder.txt|folder.txt: is a folder, not a timeline file
66|--edit fifo.txt|fifo.txt: not a regular file
EOF
    "$vordel" --from 99:0 > out.txt 2> err.txt
    [ $? = 64 ] && grep -q '^vordel: position 99:0:0 (row 3168) is past the end of the music$' err.txt || fail "past the end"
    timeline '1 0 0' '0 0 1' > timeline.txt
    start '^12:2:0 (row 400) start$' --edit timeline.txt --from 12:2
    expect_corner 0,0,255 1000 "--from"
    escape
    # The bundled timeline's fade ends at row 1104: the authoring mode holds on that row, however
    # late the frame that finds the end comes.
    cp "$data"/timeline.txt timeline.txt
    start '^34:1:0 (row 1096) start$' --edit --from 34:1
    wait_for 'grep -q "^34:2:0 (row 1104) paused$" err.txt' 10000 || fail "no pause on row 1104 within 10 s: $(tr "\n" "|" < err.txt)"
    kill -0 $pid || fail "ended at the end of the demo"
    escape
    ;;
  *) fail "unknown case" ;;
esac
echo "ok ($case_name)"
