#!/usr/bin/env bash
# Runs the real vordel-capture on a short test timeline (tracks from write_test_timeline, a tone
# made by ffmpeg as the music, pictures from data/) and checks the video with ffprobe and ffmpeg,
# or checks an error case: one line on standard error, a non-zero status, no file left behind.
#   capture_end_to_end.sh VORDEL_CAPTURE WRITE_TEST_TIMELINE DATA_DIR CASE
set -u
capture=$1
writer=$2
data=$3
case_name=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/demo" "$work/out" "$work/tmp"
export TMPDIR="$work/tmp"  # the capture's temporary sound and log files must be gone afterwards

fail() {
  echo "FAIL ($case_name): $*"
  for f in "$work"/*.err; do [ -f "$f" ] && { echo "--- $f:"; head -20 "$f"; }; done
  exit 1
}

# The timeline folder: track files, pictures and a tone of `seconds` as the music.
make_demo() {
  local kind=$1 seconds=$2
  "$writer" "$work/demo" "$kind" || fail "cannot write the timeline"
  cp "$data"/*.png "$data"/*.bmp "$data"/*.jpg "$work/demo"/
  ffmpeg -v error -f lavfi -i "sine=f=440:d=$seconds:sample_rate=44100" -ac 2 -ar 44100 "$work/demo/music.mp3" ||
    fail "cannot make the music"
}

# Runs the capture in the timeline folder; its status lands in $status, stderr in $work/NAME.err.
run_capture() {
  local name=$1
  shift
  (cd "$work/demo" && "$capture" "$@" >"$work/$name.out" 2>"$work/$name.err")
  status=$?
}

probe() {  # probe FILE STREAM ENTRY: one value from ffprobe
  ffprobe -v error -select_streams "$2" -show_entries "stream=$3" -of default=nw=1:nk=1 "$1" | head -1
}

frame_count() {  # decoded video frames, counted by ffprobe
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of default=nw=1:nk=1 "$1"
}

near() {  # near A B TOLERANCE: |A - B| <= TOLERANCE
  awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'
}

# An error case: status not 0, exactly one line on stderr naming the program, nothing left behind.
expect_error() {
  local name=$1 pattern=$2
  [ "$status" != 0 ] || fail "$name: status 0"
  [ "$(wc -l < "$work/$name.err")" = 1 ] || fail "$name: not one line on stderr"
  grep -q "^vordel-capture: .*$pattern" "$work/$name.err" || fail "$name: message does not say '$pattern'"
  expect_nothing_left
}

expect_nothing_left() {
  [ -z "$(ls -A "$work/out")" ] || fail "files left in the output folder: $(ls -A "$work/out")"
  [ -z "$(ls -A "$work/demo" | grep -v -E '\.(track|png|bmp|jpg|mp3)$')" ] || fail "files left beside the demo"
  [ -z "$(ls -A "$work/tmp")" ] || fail "temporary files left: $(ls -A "$work/tmp")"
}

# Frame n of the test timeline at 10 fps is at n / 10 s; 3.05 s of music gives frames 0 to 30.
SHORT_FRAMES=31

case "$case_name" in
  streams)
    make_demo short 3.05
    run_capture a --size 160x90 --fps 10 --out "$work/out/a.mp4"
    [ "$status" = 0 ] || fail "status $status"
    video=$work/out/a.mp4
    [ "$(probe "$video" v:0 codec_name)" = h264 ] || fail "video is not H.264"
    [ "$(probe "$video" v:0 pix_fmt)" = yuv420p ] || fail "video is not yuv420p"
    [ "$(probe "$video" v:0 width)x$(probe "$video" v:0 height)" = 160x90 ] || fail "video is not 160x90"
    [ "$(probe "$video" v:0 r_frame_rate)" = 10/1 ] || fail "video is not 10 fps"
    [ "$(frame_count "$video")" = $SHORT_FRAMES ] || fail "$(frame_count "$video") frames, expected $SHORT_FRAMES"
    near "$(probe "$video" v:0 duration)" 3.1 0.001 || fail "video lasts $(probe "$video" v:0 duration) s, not 3.1"
    [ "$(probe "$video" a:0 codec_name)" = aac ] || fail "no AAC sound"
    [ "$(probe "$video" a:0 sample_rate)" = 44100 ] || fail "sound is not 44100 Hz"
    [ "$(probe "$video" a:0 channels)" = 2 ] || fail "sound is not stereo"
    near "$(probe "$video" a:0 duration)" 3.1 0.03 || fail "sound lasts $(probe "$video" a:0 duration) s, not 3.1"
    grep -q "frame $SHORT_FRAMES of $SHORT_FRAMES, .* frames/s, .* left" "$work/a.err" || fail "no progress line"
    tail -1 "$work/a.err" | grep -q "^vordel-capture: wrote $video: $SHORT_FRAMES frames, 0:03.10 long, .* MB$" ||
      fail "last line does not give path, duration and size"
    [ -z "$(ls -A "$work/tmp")" ] || fail "temporary files left: $(ls -A "$work/tmp")"
    [ "$(ls -A "$work/out")" = a.mp4 ] || fail "other files beside the video: $(ls -A "$work/out")"
    ;;
  repeatable)
    make_demo short 3.05
    run_capture a --size 160x90 --fps 10 --out "$work/out/a.mp4"
    run_capture b --size 160x90 --fps 10 --out "$work/out/b.mp4"
    ffmpeg -v error -i "$work/out/a.mp4" -f framemd5 "$work/a.md5" || fail "cannot decode the first"
    ffmpeg -v error -i "$work/out/b.mp4" -f framemd5 "$work/b.md5" || fail "cannot decode the second"
    [ "$(grep -c '^0,' "$work/a.md5")" = $SHORT_FRAMES ] || fail "not $SHORT_FRAMES video frames"
    grep -q '^1,' "$work/a.md5" || fail "no sound frames"
    diff -q "$work/a.md5" "$work/b.md5" >/dev/null || fail "two captures differ"
    ;;
  range)
    make_demo short 3.05
    # Rows 10 to 20 at 10 fps: frame n is at row n × 1.70667, so frames 6 (10.24) to 11 (18.77).
    run_capture a --size 160x90 --fps 10 --from 10 --to 20 --out "$work/out/a.mp4"
    [ "$status" = 0 ] || fail "status $status"
    [ "$(frame_count "$work/out/a.mp4")" = 6 ] || fail "$(frame_count "$work/out/a.mp4") frames, expected 6"
    near "$(probe "$work/out/a.mp4" a:0 duration)" 0.6 0.03 || fail "sound is not 0.6 s long"
    ;;
  fade)
    make_demo fade 61
    # From row 1020 (frame 598) the fade runs from row 1025 to 1030; frame 604 (row 1030.8) is the
    # first with the volume below the silence threshold, so it is the last: 7 frames.
    run_capture a --size 160x90 --fps 10 --from 1020 --out "$work/out/a.mp4"
    [ "$status" = 0 ] || fail "status $status"
    [ "$(frame_count "$work/out/a.mp4")" = 7 ] || fail "$(frame_count "$work/out/a.mp4") frames, expected 7"
    # Loudness in stretches: as loud as the music itself before row 1025 (0.44 s in), then
    # falling, stretch by stretch, to silence.
    level() {  # level FILE FROM TO: mean volume in dB of the sound between two times
      ffmpeg -v info -i "$1" -vn -af "atrim=$2:$3,volumedetect" -f null - 2>&1 |
        sed -n 's/.*mean_volume: \(-*[0-9.inf]*\) dB.*/\1/p'
    }
    music=$(level "$work/demo/music.mp3" 59.8 60.1)
    start=$(level "$work/out/a.mp4" 0.0 0.3)
    middle=$(level "$work/out/a.mp4" 0.5 0.55)
    late=$(level "$work/out/a.mp4" 0.6 0.65)
    end=$(level "$work/out/a.mp4" 0.65 0.7)
    near "$start" "$music" 1.5 || fail "the sound starts at $start dB, not at the music's $music dB"
    awk -v s="$start" -v m="$middle" -v l="$late" 'BEGIN { exit !(m < s - 3 && l < m - 3) }' ||
      fail "the sound does not fade ($start, $middle, $late dB)"
    awk -v e="$end" 'BEGIN { exit !(e == "-inf" || e < -50) }' || fail "the sound does not end silent ($end dB)"
    ;;
  usage)
    run_capture help --help
    [ "$status" = 0 ] || fail "--help status $status"
    grep -q -- '--size WxH' "$work/help.out" || fail "--help does not explain --size"
    for args in "--size 161x90" "--fps" "--bogus" "--from 30 --to 20" "stray"; do
      # shellcheck disable=SC2086
      run_capture bad $args
      expect_error bad "see --help"
    done
    ;;
  no-ffmpeg)
    make_demo short 3.05
    mkdir "$work/bin"
    (cd "$work/demo" && PATH="$work/bin" "$capture" --out "$work/out/a.mp4" >/dev/null 2>"$work/a.err")
    status=$?
    expect_error a "ffmpeg not found"
    ;;
  unwritable)
    make_demo short 3.05
    run_capture a --size 160x90 --fps 10 --out "$work/out/missing-folder/a.mp4"
    expect_error a "cannot write"
    run_capture b --size 160x90 --fps 10 --out "$work/out"
    expect_error b "cannot write"
    ;;
  no-display)
    make_demo short 3.05
    (cd "$work/demo" && env -u DISPLAY "$capture" --out "$work/out/a.mp4" >/dev/null 2>"$work/a.err")
    status=$?
    expect_error a "no X display"
    ;;
  ffmpeg-fails)
    make_demo short 3.05
    # An ffmpeg that takes a few frames, writes part of the video, complains and stops.
    mkdir "$work/bin"
    cat > "$work/bin/ffmpeg" <<'FAKE'
#!/bin/sh
for last; do :; done
head -c 100000 > "$last"
echo "fake encoder gave up" >&2
exit 3
FAKE
    chmod +x "$work/bin/ffmpeg"
    (cd "$work/demo" && PATH="$work/bin:$PATH" "$capture" --size 160x90 --fps 10 --out "$work/out/a.mp4" \
      >/dev/null 2>"$work/a.err")
    status=$?
    expect_error a "ffmpeg failed (exit status 3): fake encoder gave up"
    ;;
  interrupt)
    make_demo short 61
    (cd "$work/demo" && exec "$capture" --size 320x180 --fps 60 --out "$work/out/a.mp4" >/dev/null 2>"$work/a.err") &
    pid=$!
    for _ in $(seq 1 600); do
      grep -q "frame .* of" "$work/a.err" 2>/dev/null && break
      kill -0 $pid 2>/dev/null || break
      sleep 0.1
    done
    grep -q "frame .* of" "$work/a.err" || fail "no progress before the interrupt"
    kill -INT $pid
    wait $pid
    status=$?
    [ "$status" = 130 ] || fail "status $status after Ctrl-C, expected 130"
    [ "$(tail -1 "$work/a.err")" = "vordel-capture: interrupted" ] || fail "last line is not 'interrupted'"
    expect_nothing_left
    ;;
  *)
    fail "unknown case"
    ;;
esac
echo "ok ($case_name)"
