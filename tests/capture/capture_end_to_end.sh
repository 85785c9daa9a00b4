#!/usr/bin/env bash
# vordel-capture on a copy of the demo's data, on a display of its own:  CAPTURE DATA_DIR video|errors
# "video": one capture from row 1020 to the demo's end, checked with ffprobe and ffmpeg. "errors": each
# refusal is one line (besides progress) with status 1, Ctrl-C ends with 130, neither leaves a file.
set -u
capture=$1 data=$2
work=$(mktemp -d) && out=$work/out/a.mp4
. "$(dirname "$0")/../support/display.sh"
trap 'display_stop; rm -rf "$work"' EXIT
display_start 640x480x24 || exit 1
mkdir "$work/demo" "$work/out" "$work/tmp" "$work/none" "$work/fake" && cp "$data"/* "$work/demo"/
export TMPDIR=$work/tmp # the capture's temporary sound and log must go too
fail() { echo "FAIL: $*" "$(cat "$work/err")" && exit 1; }
run() { (cd "$work/demo" && "$@" >"$work/stdout" 2>"$work/err"); }
left() { find "$work/out" "$work/tmp" -mindepth 1 && diff -rq "$data" "$work/demo"; }

case $3 in
  video)
    run "$capture" --size 160x90 --fps 10 --from 1020 --out "$out" || fail "status $?"
    # Frames 598 (row 1020.59) to 647 (1104.21), the first with fade.a at 1, which ends the demo: 5 s.
    streams=$(ffprobe -v error -show_entries stream=codec_name,width,height,pix_fmt,r_frame_rate,sample_rate,channels,duration \
      -of csv=p=0 "$out" | tr '\n' ' ')
    [ "$streams" = "h264,160,90,yuv420p,10/1,5.000000 aac,44100,2,0/0,5.000000 " ] || fail "streams: $streams"
    grep -q '^vordel-capture: frame 50 of 50, [0-9.]* frames/s, 0:00 left$' "$work/err" || fail "progress"
    [[ $(tail -1 "$work/err") == "vordel-capture: wrote $out: 50 frames, 0:05.00 long, "*" MB" ]] || fail "last line"
    [ "$(left)" = "$out" ] || fail "left behind: $(left)"
    # As loud as the music at 59.8 s and while the final chord rings at 60.8 s, then turned down by
    # 1 - fade.a to silence.
    level() { ffmpeg -nostdin -i "$1" -vn -af "atrim=$2:$3,volumedetect" -f null - 2>&1 | awk '/mean_volume/ { print $(NF - 1) }'; }
    levels="$(level "$data/music.mp3" 59.8 60.1) $(level "$out" 0 0.3) $(level "$data/music.mp3" 60.8 60.9)"
    levels="$levels $(level "$out" 1 1.1) $(level "$out" 3.5 3.6) $(level "$out" 4.9 5)"
    echo "$levels" | awk '{ exit !($1 - $2 < 1.5 && $2 - $1 < 1.5 && $3 - $4 < 1.5 && $4 - $3 < 1.5 && $5 < $2 - 3 && $6 < $2 - 25) }' ||
      fail "levels of the music and the capture at 59.8 and 60.8 s, then of the capture's fade and end: $levels"
    ;;
  errors)
    run "$capture" --help && [[ $(head -1 "$work/stdout") == "usage: vordel-capture [--size WxH] "* ]] || fail "--help"
    printf '#!/bin/sh\nfor last; do :; done\nhead -c 99999 >"$last"\necho fake encoder gave up >&2\nexit 3\n' >"$work/fake/ffmpeg"
    chmod +x "$work/fake/ffmpeg" && trap '' XFSZ # a write past a file size limit fails instead of killing
    while IFS='|' read -r prefix args message; do
      run $prefix "$capture" --size 160x90 --fps 10 --from 1040 --out "$out" $args
      [ $? = 1 ] && [[ $(grep -v ': frame .* left$' "$work/err") == "vordel-capture: "$message ]] ||
        fail "$prefix $args: not $message"
      [ -z "$(left)" ] || fail "$prefix $args: left behind: $(left)"
    done <<LIST
|--size 160x91|--size 160x91: width and height must be even (the video is 4:2:0) (see --help)
env PATH=$work/none||ffmpeg not found on the PATH (install the ffmpeg package)
|--out $work/out/no/a.mp4|cannot write $work/out/no/a.mp4: No such file or directory
|--out $work/out|cannot write $work/out: it is a folder
env -u DISPLAY||no X display (run it under xvfb-run for a machine without one)
|--fps 11|--fps 11 does not divide the music's sample rate (44100 Hz), so frames would not fall on whole samples
prlimit --fsize=65536||cannot write the sound to $work/tmp/vordel-capture-audio-*: File too large
env PATH=$work/fake:$PATH||ffmpeg failed (exit status 3): fake encoder gave up
LIST
    # The last row may have left a progress line in err: start from an empty one, made before the
    # capture starts, or the wait below could see that line and interrupt the capture too early.
    : >"$work/err"
    (cd "$work/demo" && exec "$capture" --size 160x90 --out "$out" 2>"$work/err") &
    deadline=$(($(date +%s) + 30))
    until grep -qs 'frame .* of' "$work/err"; do
      kill -0 $! && [ "$(date +%s)" -lt $deadline ] && sleep 0.05 || fail "no progress within 30 s"
    done
    kill -INT $! && wait $!
    [ $? = 130 ] && [ "$(tail -1 "$work/err")" = "vordel-capture: interrupted" ] && [ -z "$(left)" ] || fail "Ctrl-C"
    ;;
  *) fail "no case $3" ;;
esac
echo ok
