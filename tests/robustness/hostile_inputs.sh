#!/usr/bin/env bash
# Runs the real vordel binary on damaged copies of the bundled data and checks that it neither
# crashes nor trips a sanitizer, that its GL lines come up in bounded time, and that it ends the
# documented way: it plays and ends with "finito" (status 0) after Escape or, for music that cannot
# be played, with "failed to open music" (status 2). Each damage is applied to every file of its
# kind at once, which reaches the same code paths as one file at a time in a fraction of the runs.
# Damages that the reading code turns into the same result (no keys, no picture, values that are
# not finite) share one run, taking the files of the kind in turn, so that every file meets that
# result and every damage's path through the reader is taken.
#
#   hostile_inputs.sh VORDEL DATA_DIR GROUP       GROUP: music, tracks or images
#
# Unless the scene track itself is damaged, it is replaced by a short tour (triangle, cubes,
# landscape, about 0.18 s, 0.18 s and the rest), so that every scene draws whatever the damage
# reaches.
set -u
vordel=$(realpath "$1")
data=$(realpath "$2")
group=$3
. "$(dirname "$0")/../support/display.sh"

GL_LINES_LIMIT_S=30   # process start to the two GL lines; start-up includes the landscape mesh
PLAYING_LIMIT_S=60    # process start to PLAY_MS of music in the wave file
EXIT_LIMIT_S=20       # first Escape to the end of the process
PLAY_MS=800           # long enough for the tour to show all three scenes, a few frames each
WAVE_BYTES_PER_SECOND=$((44100 * 2 * 2))
WAVE_HEADER_BYTES=44
RANDOM_SEED=20261207

OTHER_TRACKS=(clear.r clear.g clear.b fade.r fade.g fade.b fade.a cam.x cam.y cam.z
              cam.lookx cam.looky cam.lookz scp.a scp.b scp.c fog text.i text.fade)
IMAGES=(jimage.bmp dry_grass.png marble.jpg text1.png greets.png more.png jimage.png)

# Writes little-endian track file bytes: a count, then "row value-bits interpolation" triples.
# Value bits are the float's 32-bit pattern, so NaN and infinities are written exactly.
write_track() {
  perl -e '
    my ($file, $count, @keys) = @ARGV;
    open(my $out, ">:raw", $file) or die;
    print $out pack("l<", $count);
    while (@keys) {
      my ($row, $bits, $interp) = splice(@keys, 0, 3);
      print $out pack("l<", $row) . pack("V", hex $bits) . pack("c", $interp);
    }' "$@"
}
ONE=3f800000 TWO=40000000 NAN=7fc00000 INF=7f800000 MINUS_INF=ff800000

random_bytes() {
  perl -e 'srand($ARGV[0]); binmode STDOUT; print pack("C*", map { int(rand(256)) } 1 .. $ARGV[1])' "$1" "$2"
}
# Seeded by the file name too, so that files of one kind do not all start alike.
seed_of() { echo $((RANDOM_SEED + $(basename "$1" | cksum | cut -d' ' -f1))); }

damage() {
  local file=$1 how=$2 size
  size=$(stat -c %s "$file")
  case "$how" in
    missing) rm -f "$file" ;;
    empty) : > "$file" ;;
    half) truncate -s $((size / 2)) "$file" ;;
    random) random_bytes "$(seed_of "$file")" "$size" > "$file" ;;
    # The file's own count with random keys behind it: descending rows, NaN, unknown interpolations.
    random-keys) { head -c 4 "$file"; random_bytes "$(seed_of "$file")" $((size - 4)); } > "$file.new"
                 mv "$file.new" "$file" ;;
    count-minus-one) write_track "$file" -1 0 $ONE 1 ;;
    count-max) write_track "$file" 2147483647 0 $ONE 1 ;;
    nan) write_track "$file" 4 0 $NAN 1  20 $ONE 2  40 $NAN 3  60 $NAN 0 ;;
    infinite) write_track "$file" 5 0 $INF 1  20 $MINUS_INF 2  40 $ONE 3  60 $INF 1  80 $MINUS_INF 0 ;;
    # One file: not-a-number and both infinities, each into and out of every interpolation.
    non-finite) write_track "$file" 6 0 $NAN 1  20 $INF 2  40 $MINUS_INF 3  60 $ONE 1  80 $NAN 0  100 $INF 0 ;;
    interpolation-ff) write_track "$file" 3 0 $ONE -1  20 $TWO -1  40 $ONE -1 ;;
    equal-rows) write_track "$file" 6 0 00000000 1  0 $ONE 1  20 $TWO 2  20 $ONE 3  20 $TWO 1  40 $ONE 1 ;;
  esac
}

# One line per case: the files, the damage and the outcome the program must show.
list_cases() {
  local how
  case "$group" in
    music)
      for how in missing empty random; do echo "music.mp3 $how no-music"; done
      echo "music.mp3 half plays" ;;  # the first half still decodes and plays
    tracks)
      for how in missing,empty,count-minus-one half random random-keys count-max nan,infinite \
                 interpolation-ff equal-rows; do
        printf 'sync_%s.track ' "${OTHER_TRACKS[@]}"; echo "$how plays"
      done
      for how in non-finite random-keys; do echo "sync_scene.track $how plays"; done ;;
    images)
      for how in missing,empty,random half; do echo "${IMAGES[*]} $how plays"; done ;;
  esac
}

# Runs one case and prints "ok|FAIL files damage outcome gl=... playing=... problem".
run_case() {
  local expected=${*: -1} how=${*: -2:1} files=("${@:1:$#-2}")
  local work start elapsed gl_ms=- playing_ms=- status problem= outcome=other tries=0 window
  work=$(mktemp -d)
  cp "$data"/music.mp3 "$data"/sync_*.track "$data"/*.png "$data"/*.bmp "$data"/*.jpg "$work"/
  [ "${files[0]}" = sync_scene.track ] || write_track "$work/sync_scene.track" 3 0 00000000 0  3 $ONE 0  6 $TWO 0
  local damages i
  IFS=, read -r -a damages <<< "$how"
  for i in "${!files[@]}"; do damage "$work/${files[$i]}" "${damages[$((i % ${#damages[@]}))]}"; done
  printf '[general]\ndrivers=wave\nchannels=stereo\nsample-type=int16\n[wave]\nfile=%s/out.wav\n' \
    "$work" > "$work/alsoft.conf"

  start=$(date +%s%3N)
  (cd "$work" && ALSOFT_CONF="$work/alsoft.conf" ALSOFT_DRIVERS=wave exec "$vordel" \
     > "$work/out.txt" 2> "$work/err.txt") &
  local pid=$!
  while kill -0 $pid 2>/dev/null; do
    elapsed=$(($(date +%s%3N) - start))
    [ "$gl_ms" != - ] || ! grep -q '^OpenGL renderer: ' "$work/out.txt" || gl_ms=$elapsed
    [ "$gl_ms" != - ] || [ $elapsed -le $((GL_LINES_LIMIT_S * 1000)) ] || { problem="no GL lines after $GL_LINES_LIMIT_S s"; break; }
    [ "$(stat -c %s "$work/out.wav" 2>/dev/null || echo 0)" -lt $((WAVE_HEADER_BYTES + PLAY_MS * WAVE_BYTES_PER_SECOND / 1000)) ] \
      || { playing_ms=$elapsed; break; }
    [ $elapsed -le $((PLAYING_LIMIT_S * 1000)) ] || { problem="not playing after $PLAYING_LIMIT_S s"; break; }
    sleep 0.1
  done
  # Escape, again every 2 s: a key sent before the window has focus can be lost.
  while kill -0 $pid 2>/dev/null && [ $tries -lt $((EXIT_LIMIT_S / 2)) ]; do
    display_keys '^Vordel$' Escape
    for _ in $(seq 1 20); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    tries=$((tries + 1))
  done
  kill -0 $pid 2>/dev/null && (cd "$work" && give_up_evidence)
  kill -9 $pid 2>/dev/null && : "${problem:=still running $EXIT_LIMIT_S s after Escape}"
  wait $pid
  status=$?

  if [ "$status" = 0 ] && [ "$(tail -c 6 "$work/out.txt")" = finito ]; then
    outcome=plays
  elif [ "$status" = 2 ] && [ "$(tail -1 "$work/out.txt")" = "failed to open music" ] && ! grep -q finito "$work/out.txt"; then
    outcome=no-music
  fi
  grep -q -m1 -E 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: ' "$work/err.txt" && : "${problem:=sanitizer report}"
  head -1 "$work/out.txt" | grep -q '^OpenGL version: ' || : "${problem:=first line is not the GL version}"
  [ "$outcome" = "$expected" ] || : "${problem:=ended as $outcome (status $status), expected $expected}"
  printf '%-4s %-22s %-31s %-8s gl=%sms playing=%sms %s\n' "$([ -z "$problem" ] && echo ok || echo FAIL)" \
    "${files[0]}$([ ${#files[@]} = 1 ] || echo " +$((${#files[@]} - 1))")" "$how" "$outcome" "$gl_ms" "$playing_ms" "$problem"
  [ -z "$problem" ] || { echo "--- console"; head -c 2000 "$work/out.txt"; echo; echo "--- errors"; head -40 "$work/err.txt"; }
  rm -rf "$work"
  [ -z "$problem" ]
}

trap 'display_stop' EXIT
display_start 320x240x24 || exit 1
begin=$(date +%s) total=0 passed=0
while read -r -a line; do
  total=$((total + 1))
  run_case "${line[@]}" && passed=$((passed + 1))
done < <(list_cases)
echo "$passed of $total cases ok in $(($(date +%s) - begin)) s"
[ "$passed" = "$total" ] && [ "$total" -gt 0 ]
