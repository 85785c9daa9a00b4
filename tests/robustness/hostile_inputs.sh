#!/usr/bin/env bash
# Runs the real vordel binary on damaged copies of the bundled data, one damage per case, and
# checks that it neither crashes nor trips a sanitizer, that its window and GL lines come up in
# bounded time, and that it ends the documented way: it plays and ends with "finito" (status 0)
# after Escape, or, for a music file that cannot be played, with "failed to open music" (status 2).
#
#   hostile_inputs.sh VORDEL DATA_DIR [GROUP]
# GROUP: music, tracks, track-values or images (default: all of them). Environment:
#   ROBUSTNESS_JOBS   cases run at once, each on its own virtual display (default 2)
#   ROBUSTNESS_LOG    file that receives one result line per case (default: standard output only)
#
# Every case except those of sync_scene.track replaces the bundled scene track by a short tour
# (triangle, cubes, landscape, about half a second each) so that whatever the damage reaches is drawn by
# every scene within the few seconds a case plays. The run needs Xvfb, openbox, xdotool and perl;
# sound goes to OpenAL Soft's wave writer, whose file also tells how long the music has played.
set -u
vordel=$(realpath "$1")
data=$(realpath "$2")
group=${3:-all}
jobs=${ROBUSTNESS_JOBS:-2}

# Limits of one case. Start-up includes the landscape mesh, several seconds under the sanitizers.
GL_LINES_LIMIT_S=30       # process start to the two GL lines on the console
PLAYING_LIMIT_S=120       # process start to PLAY_SECONDS of music in the wave file
EXIT_LIMIT_S=20           # first Escape to the end of the process
ESCAPE_REPEAT_TENTHS=20   # Escape is sent again every 2 s while the process runs
PLAY_SECONDS=2            # sound a case plays before Escape: the tour shows all three scenes
WAVE_BYTES_PER_SECOND=$((44100 * 2 * 2))
WAVE_HEADER_BYTES=44
RANDOM_SEED=20261207
SCREEN=640x480x24         # small: full screen at this size keeps software rendering cheap

TRACKS=(scene clear.r clear.g clear.b fade.r fade.g fade.b fade.a cam.x cam.y cam.z
        cam.lookx cam.looky cam.lookz scp.a scp.b scp.c fog text.i text.fade)
IMAGES=(jimage.bmp dry_grass.png marble.jpg text1.png greets.png more.png jimage.png)
FILE_DAMAGES=(missing empty half random)
TRACK_VALUE_DAMAGES=(count-minus-one count-max nan infinite interpolation-ff equal-rows random-keys)

results=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$results"' EXIT

# --- damaged files -------------------------------------------------------------------------------

# Writes little-endian track file bytes from a list of "row value-bits interpolation" triples.
# Value bits are the float's 32-bit pattern, so NaN and infinities are written exactly.
write_track() {
  local file=$1 count=$2
  shift 2
  perl -e '
    my ($file, $count, @keys) = @ARGV;
    open(my $out, ">:raw", $file) or die;
    print $out pack("l<", $count);
    while (@keys) {
      my ($row, $bits, $interp) = splice(@keys, 0, 3);
      print $out pack("l<", $row) . pack("V", hex $bits) . pack("c", $interp);
    }' "$file" "$count" "$@"
}

FLOAT_ONE=3f800000
FLOAT_TWO=40000000
FLOAT_NAN=7fc00000
FLOAT_INF=7f800000
FLOAT_MINUS_INF=ff800000

# The scene tour: scene 0 from row 0, 1 from row 9, 2 from row 18 (about half a second each).
write_scene_tour() {
  write_track "$1" 3 0 00000000 0  9 "$FLOAT_ONE" 0  18 "$FLOAT_TWO" 0
}

damage_file() {
  local file=$1 damage=$2
  local size
  size=$(stat -c %s "$file")
  case "$damage" in
    missing) rm -f "$file" ;;
    empty) : > "$file" ;;
    half) truncate -s $((size / 2)) "$file" ;;
    random)
      # Seeded by the file name too, so that files of one kind do not all start alike.
      local seed=$((RANDOM_SEED + $(basename "$file" | cksum | cut -d' ' -f1)))
      random_bytes "$seed" "$size" > "$file" ;;
  esac
}

random_bytes() {
  perl -e 'srand($ARGV[0]); binmode STDOUT; print pack("C*", map { int(rand(256)) } 1 .. $ARGV[1])' "$1" "$2"
}

damage_track_values() {
  local file=$1 damage=$2
  case "$damage" in
    # The file's own count with random keys behind it: a random count alone is nearly always
    # refused, random keys are not (descending rows, NaN, unknown interpolations).
    random-keys)
      local size seed
      size=$(stat -c %s "$file")
      seed=$((RANDOM_SEED + $(basename "$file" | cksum | cut -d' ' -f1)))
      { head -c 4 "$file"; random_bytes "$seed" $((size - 4)); } > "$file.new"
      mv "$file.new" "$file" ;;
    count-minus-one) write_track "$file" -1 0 "$FLOAT_ONE" 1 ;;
    count-max) write_track "$file" 2147483647 0 "$FLOAT_ONE" 1 ;;
    nan) write_track "$file" 4 0 "$FLOAT_NAN" 1  20 "$FLOAT_ONE" 2  40 "$FLOAT_NAN" 3  60 "$FLOAT_NAN" 0 ;;
    infinite) write_track "$file" 5 0 "$FLOAT_INF" 1  20 "$FLOAT_MINUS_INF" 2  40 "$FLOAT_ONE" 3 \
                60 "$FLOAT_INF" 1  80 "$FLOAT_MINUS_INF" 0 ;;
    interpolation-ff) write_track "$file" 3 0 "$FLOAT_ONE" -1  20 "$FLOAT_TWO" -1  40 "$FLOAT_ONE" -1 ;;
    equal-rows) write_track "$file" 6 0 00000000 1  0 "$FLOAT_ONE" 1  20 "$FLOAT_TWO" 2  20 "$FLOAT_ONE" 3 \
                  20 "$FLOAT_TWO" 1  40 "$FLOAT_ONE" 1 ;;
  esac
}

# --- cases ---------------------------------------------------------------------------------------

# One line per case: name, file, damage and the outcome the program must show (plays or no-music).
list_cases() {
  local damage track
  if [ "$group" = all ] || [ "$group" = music ]; then
    echo "music.mp3:missing music.mp3 missing no-music"
    echo "music.mp3:empty music.mp3 empty no-music"
    # The first half of the file still decodes: the demo plays half its music.
    echo "music.mp3:half music.mp3 half plays"
    echo "music.mp3:random music.mp3 random no-music"
  fi
  if [ "$group" = all ] || [ "$group" = tracks ]; then
    for track in "${TRACKS[@]}"; do
      for damage in "${FILE_DAMAGES[@]}"; do
        echo "sync_$track.track:$damage sync_$track.track $damage plays"
      done
    done
  fi
  if [ "$group" = all ] || [ "$group" = track-values ]; then
    # The scene track alone, and every other track at once under the scene tour.
    for damage in "${TRACK_VALUE_DAMAGES[@]}"; do
      echo "sync_scene.track:$damage sync_scene.track $damage plays"
      echo "other-tracks:$damage other-tracks $damage plays"
    done
  fi
  if [ "$group" = all ] || [ "$group" = images ]; then
    for image in "${IMAGES[@]}"; do
      for damage in "${FILE_DAMAGES[@]}"; do
        echo "$image:$damage $image $damage plays"
      done
    done
  fi
}

prepare_case() {
  local work=$1 file=$2 damage=$3
  cp "$data"/music.mp3 "$data"/sync_*.track "$data"/*.png "$data"/*.bmp "$data"/*.jpg "$work"/
  [ "$file" = sync_scene.track ] || write_scene_tour "$work/sync_scene.track"
  case "$damage" in
    missing|empty|half|random) damage_file "$work/$file" "$damage" ;;
    *)
      if [ "$file" = other-tracks ]; then
        for track in "${TRACKS[@]:1}"; do damage_track_values "$work/sync_$track.track" "$damage"; done
      else
        damage_track_values "$work/$file" "$damage"
      fi ;;
  esac
}

now_ms() { date +%s%3N; }

# Runs one case on DISPLAY and appends "ok|FAIL name outcome gl=... playing=... detail" to the slot's
# result file.
run_case() {
  local name=$1 file=$2 damage=$3 expected=$4 out=$5
  local work
  work=$(mktemp -d)
  prepare_case "$work" "$file" "$damage"
  printf '[general]\ndrivers=wave\nchannels=stereo\nsample-type=int16\n[wave]\nfile=%s/out.wav\n' \
    "$work" > "$work/alsoft.conf"

  local start gl_ms=- playing_ms=- status=- problem= outcome=
  start=$(now_ms)
  (cd "$work" && ALSOFT_CONF="$work/alsoft.conf" ALSOFT_DRIVERS=wave exec "$vordel" \
     > "$work/out.txt" 2> "$work/err.txt") &
  local pid=$!
  local play_bytes=$((WAVE_HEADER_BYTES + PLAY_SECONDS * WAVE_BYTES_PER_SECOND))
  while kill -0 $pid 2>/dev/null; do
    local elapsed=$(( $(now_ms) - start ))
    if [ "$gl_ms" = - ] && grep -q '^OpenGL renderer: ' "$work/out.txt" 2>/dev/null; then
      gl_ms=$elapsed
    fi
    if [ "$gl_ms" = - ] && [ $elapsed -gt $((GL_LINES_LIMIT_S * 1000)) ]; then
      problem="no GL lines after ${GL_LINES_LIMIT_S} s"; break
    fi
    if [ "$(stat -c %s "$work/out.wav" 2>/dev/null || echo 0)" -ge $play_bytes ]; then
      playing_ms=$elapsed; break
    fi
    if [ $elapsed -gt $((PLAYING_LIMIT_S * 1000)) ]; then
      problem="not ${PLAY_SECONDS} s into the music after ${PLAYING_LIMIT_S} s"; break
    fi
    sleep 0.1
  done

  # Escape, repeated every few seconds: a window search can fail while the window manager is
  # still rearranging windows, and a key sent before the window has focus can be lost.
  local waited=0 window=
  while kill -0 $pid 2>/dev/null && [ $waited -lt $((EXIT_LIMIT_S * 10)) ]; do
    if [ "$playing_ms" != - ] && [ $((waited % ESCAPE_REPEAT_TENTHS)) = 0 ]; then
      window=$(xdotool search --name '^Vordel$' 2>/dev/null | head -1)
      if [ -n "$window" ]; then
        timeout 2 xdotool windowfocus --sync "$window" >/dev/null 2>&1
        xdotool key --window "$window" Escape >/dev/null 2>&1
      fi
    fi
    sleep 0.1; waited=$((waited + 1))
  done
  if kill -0 $pid 2>/dev/null; then
    kill -9 $pid 2>/dev/null
    [ -n "$problem" ] || problem="still running ${EXIT_LIMIT_S} s after Escape"
  fi
  wait $pid
  status=$?

  if grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: ' "$work/err.txt"; then
    problem="sanitizer report: $(grep -m1 -E 'ERROR:|runtime error:|SUMMARY:' "$work/err.txt")"
  fi
  if [ -z "$problem" ]; then
    if [ "$status" = 0 ] && [ "$(tail -c 6 "$work/out.txt")" = finito ]; then
      outcome=plays
    elif [ "$status" = 2 ] && [ "$(tail -1 "$work/out.txt")" = "failed to open music" ] \
         && ! grep -q finito "$work/out.txt"; then
      outcome=no-music
    else
      outcome="status-$status"
    fi
    head -1 "$work/out.txt" | grep -q '^OpenGL version: ' || problem="first line is not the GL version"
    [ "$outcome" = "$expected" ] || problem="ended as $outcome, expected $expected"
  fi

  local verdict=ok
  [ -z "$problem" ] || verdict=FAIL
  printf '%-4s %-34s %-8s gl=%sms playing=%sms %s\n' "$verdict" "$name" "${outcome:-?}" \
    "$gl_ms" "$playing_ms" "$problem" >> "$out"
  if [ -n "$problem" ]; then
    { echo "--- $name: console"; head -c 2000 "$work/out.txt"; echo
      echo "--- $name: errors"; head -40 "$work/err.txt"; } >> "${out/result/details}"
  fi
  rm -rf "$work"
}

# One virtual display with a window manager (full-screen requests need one) per slot; the slot
# runs every jobs-th case on it.
run_slot() {
  local slot=$1
  local display_file="$results/display.$slot"
  Xvfb -displayfd 3 -screen 0 "$SCREEN" -nolisten tcp 3> "$display_file" 2>/dev/null &
  local xvfb_pid=$!
  for _ in $(seq 1 100); do [ -s "$display_file" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$display_file")"
  openbox >/dev/null 2>&1 &
  local wm_pid=$!
  sleep 0.5
  local index=0 name file damage expected
  while read -r name file damage expected; do
    if [ $((index % jobs)) = "$slot" ]; then
      run_case "$name" "$file" "$damage" "$expected" "$results/result.$slot"
    fi
    index=$((index + 1))
  done < "$results/cases"
  kill $wm_pid $xvfb_pid 2>/dev/null
  wait $wm_pid $xvfb_pid 2>/dev/null
}

list_cases > "$results/cases"
begin=$(date +%s)
for slot in $(seq 0 $((jobs - 1))); do
  run_slot "$slot" &
done
wait

cat "$results"/result.* | sort -k2 > "$results/all"
cat "$results/all"
[ -z "${ROBUSTNESS_LOG:-}" ] || cp "$results/all" "$ROBUSTNESS_LOG"
total=$(wc -l < "$results/cases")
passed=$(grep -c '^ok ' "$results/all")
echo "$passed of $total cases ok in $(( $(date +%s) - begin )) s"
if [ "$passed" != "$total" ]; then
  cat "$results"/details.* 2>/dev/null
  exit 1
fi
