#!/usr/bin/env bash
# Runs the real vordel binary on copies of the bundled data, on a display of its own, and checks
# what a person sees on the console and what a shell sees as the exit status. Sound goes to a wave
# file, whose size also tells how much music has played.
#   vordel_end_to_end.sh VORDEL DATA_DIR CASE
set -u
vordel=$(realpath "$1")
data=$(realpath "$2")
case_name=$3
. "$(dirname "$0")/../support/display.sh"

WAVE_BYTES_PER_SECOND=$((44100 * 2 * 2))  # 16-bit stereo at 44100 Hz
WAVE_HEADER_BYTES=44

# Only the console and the exit status are read: a small window keeps the software renderer light.
demo_scene "$data" 320x240x24 || exit 1

fail() { echo "FAIL ($case_name): $*"; echo "--- output:"; cat -A out.txt | head -20; exit 1; }
played_ms() { echo $(( ($(stat -c %s out.wav 2>/dev/null || echo $WAVE_HEADER_BYTES) - WAVE_HEADER_BYTES) * 1000 / WAVE_BYTES_PER_SECOND )); }

# Starts vordel, waits until it has played MS of music, then presses Escape.
run_and_escape() {
  "$vordel" > out.txt 2> err.txt &
  pid=$!
  while [ "$(played_ms)" -lt "$1" ]; do
    kill -0 $pid 2>/dev/null || fail "ended before playing $1 ms"
    sleep 0.05
  done
  # Escape again every 2 s: a key sent while the window manager is still placing the window
  # can be lost.
  local tries=0
  while kill -0 $pid 2>/dev/null && [ $tries -lt 4 ]; do
    display_keys '^Vordel$' Escape
    for _ in $(seq 1 20); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    tries=$((tries + 1))
  done
  kill -0 $pid 2>/dev/null && { give_up_evidence; kill -9 $pid; fail "still running 8 s after Escape"; }
  wait $pid
  status=$?
  pid=
}

check_gl_lines_first() {
  head -1 out.txt | grep -q '^OpenGL version: ' || fail "first line is not the GL version"
  sed -n 2p out.txt | grep -q '^OpenGL renderer: ' || fail "second line is not the GL renderer"
}
check_finito() {
  [ "$status" = 0 ] || fail "status $status, expected 0"
  [ "$(tail -c 6 out.txt)" = "finito" ] || fail "output does not end in finito without a line end"
}
check_failure() {
  [ "$status" = "$1" ] || fail "status $status, expected $1"
  [ "$(tail -1 out.txt)" = "$2" ] || fail "last line is not '$2'"
  grep -q finito out.txt && fail "finito after a failed start"
}

case "$case_name" in
  escape)
    run_and_escape 1000
    check_finito
    check_gl_lines_first
    ;;
  no-tracks)
    rm -f ./*.track
    run_and_escape 500
    check_finito
    ;;
  no-music)
    rm -f music.mp3
    "$vordel" > out.txt 2> err.txt
    status=$?
    check_failure 2 "failed to open music"  # 0xB002 as a shell sees it
    check_gl_lines_first
    ;;
  no-audio)
    # An output driver that does not exist: no device can be opened.
    ALSOFT_DRIVERS=no-such-driver "$vordel" > out.txt 2> err.txt
    status=$?
    check_failure 1 "failed to initialise audio"  # 0xB001 as a shell sees it
    check_gl_lines_first
    ;;
  whole-demo)
    # The bundled timeline fades out by row 1104, about 64.7 s into the music, and the program
    # ends by itself.
    "$vordel" > out.txt 2> err.txt
    status=$?
    check_finito
    played=$(($(played_ms) / 1000))
    [ "$played" -ge 60 ] && [ "$played" -le 66 ] || fail "played $played s of music, expected about 65"
    ;;
  *) fail "unknown case" ;;
esac
echo "ok ($case_name)"
