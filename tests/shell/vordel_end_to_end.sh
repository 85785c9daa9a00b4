#!/usr/bin/env bash
# Runs the real vordel binary on copies of the bundled data and checks what a person sees on the
# console and what a shell sees as the exit status. Needs an X display; sound goes to a wave file.
#   vordel_end_to_end.sh VORDEL DATA_DIR CASE
set -u
vordel=$1
data=$2
case_name=$3

work=$(mktemp -d)
trap 'kill $wm_pid 2>/dev/null; rm -rf "$work"' EXIT
cp "$data"/music.mp3 "$data"/*.track "$data"/*.png "$data"/*.bmp "$data"/*.jpg "$work"/ 2>/dev/null
cd "$work"

# A window manager that honours full-screen requests, so the window covers the screen.
wm_pid=
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  wm_pid=$!
fi

export ALSOFT_CONF="$work/alsoft.conf"
printf '[general]\ndrivers=wave\nchannels=stereo\nsample-type=int16\n[wave]\nfile=%s/out.wav\n' "$work" > "$ALSOFT_CONF"
export ALSOFT_DRIVERS=wave

fail() { echo "FAIL ($case_name): $*"; echo "--- output:"; cat -A "$work/out.txt" | head -20; exit 1; }

# Starts vordel, waits until its window shows and it has run for a moment, then presses Escape.
run_and_escape() {
  "$vordel" > "$work/out.txt" 2>"$work/err.txt" &
  local pid=$!
  local window=
  for _ in $(seq 1 300); do
    window=$(xdotool search --name '^Vordel$' 2>/dev/null | head -1)
    [ -n "$window" ] && grep -q "OpenGL renderer" "$work/out.txt" 2>/dev/null && break
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$window" ] || fail "no window appeared"
  sleep "${1:-2}"
  xdotool windowfocus --sync "$window" 2>/dev/null
  xdotool key --window "$window" Escape
  for _ in $(seq 1 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -0 $pid 2>/dev/null && { kill -9 $pid; fail "still running 10 s after Escape"; }
  wait $pid
  status=$?
}

# Runs vordel to its end without input, for start-up failures.
run_to_end() {
  timeout 120 "$vordel" > "$work/out.txt" 2>"$work/err.txt"
  status=$?
}

check_gl_lines_first() {
  head -1 out.txt | grep -q '^OpenGL version: ' || fail "first line is not the GL version"
  sed -n 2p out.txt | grep -q '^OpenGL renderer: ' || fail "second line is not the GL renderer"
}

case "$case_name" in
  escape)
    run_and_escape 3
    [ "$status" = 0 ] || fail "status $status, expected 0"
    check_gl_lines_first
    [ "$(tail -c 6 out.txt)" = "finito" ] || fail "output does not end in finito without a line end"
    [ -s out.wav ] || fail "nothing was played"
    ;;
  no-music)
    rm -f music.mp3
    run_to_end
    [ "$status" = 2 ] || fail "status $status, expected 2 (0xB002 as a shell sees it)"
    check_gl_lines_first
    [ "$(tail -1 out.txt)" = "failed to open music" ] || fail "last line is not 'failed to open music'"
    grep -q finito out.txt && fail "finito after a failed start"
    ;;
  no-audio)
    # An output driver that does not exist: no device can be opened.
    export ALSOFT_DRIVERS=no-such-driver
    run_to_end
    [ "$status" = 1 ] || fail "status $status, expected 1 (0xB001 as a shell sees it)"
    check_gl_lines_first
    [ "$(tail -1 out.txt)" = "failed to initialise audio" ] || fail "last line is not 'failed to initialise audio'"
    ;;
  no-tracks)
    rm -f ./*.track
    run_and_escape 2
    [ "$status" = 0 ] || fail "status $status, expected 0"
    [ "$(tail -c 6 out.txt)" = "finito" ] || fail "output does not end in finito"
    ;;
  whole-demo)
    # The bundled timeline fades out after row 1024 and the program ends by itself.
    run_to_end
    [ "$status" = 0 ] || fail "status $status, expected 0"
    check_gl_lines_first
    sed -n 3p out.txt | grep -q '^spinning cube scene loaded jimage at 256x256x3$' || fail "no cube report"
    [ "$(tail -c 6 out.txt)" = "finito" ] || fail "output does not end in finito without a line end"
    # 16-bit stereo at 44100 Hz: the fade completes at row 1056, about 61.9 s into the music.
    played=$(( ($(stat -c %s out.wav) - 44) / 176400 ))
    [ "$played" -ge 60 ] && [ "$played" -le 66 ] || fail "played $played s of music, expected about 62"
    ;;
  *)
    fail "unknown case"
    ;;
esac
echo "ok ($case_name)"
