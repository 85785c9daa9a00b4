#!/usr/bin/env bash
# The picture's clock on the real binary, in the cube scene at 320x240 with the sound going to a
# wave file. A preloaded library records for every frame the row it drew (the first cube's x rotation
# in degrees is the row) and, as the frame read the music's position, the wall time and the mixer's
# offset in the music (sample frames, which its wave writer has written by then). Render time is
# thus left out: on a busy machine it varies by milliseconds and says nothing about the clock. Prints the figures and fails when one misses: distance from a line fitted against wall time
# at most 1 ms at the 99th percentile and 3 ms at worst, never backwards, slope 17.0667 rows a
# second within 0.1%, lead over the mixer's offset below one mixing period (the usual step of
# that offset). The first second of music is not measured: the clock learns the output's timing then.
#   smoothness.sh VORDEL DATA_DIR
set -u
vordel=$(realpath "$1")
MEASURED_S=6
WARM_UP_ROWS=17.07  # one second
READY_LIMIT_S=20
SAMPLE_RATE=44100
. "$(dirname "$0")/../support/display.sh"
work=$(mktemp -d)
trap 'display_stop; rm -rf "$work"' EXIT
cp "$2"/music.mp3 "$2"/*.track "$2"/*.png "$2"/*.bmp "$2"/*.jpg "$work"/
cd "$work"
# One key each (count 1; row 0, value 1.0f, hold): the cube scene with one cube from the start.
for track in scene scp.a; do printf '\1\0\0\0\0\0\0\0\0\0\200\77\0' > "sync_$track.track"; done
cat > shim.c <<'SHIM'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
static unsigned music;
static float row;
static int drawn, mixed;
static struct timespec now;
void alSourcePlay(unsigned source) {
    static void (*real)(unsigned);
    if (!real) real = (void (*)(unsigned))dlsym(RTLD_NEXT, "alSourcePlay");
    music = source;
    real(source);
}
// The frame reads the music's state just before its clock: the moment its row stands for.
void alGetSourcei(unsigned source, int param, int* value) {
    static void (*real)(unsigned, int, int*);
    if (!real) real = (void (*)(unsigned, int, int*))dlsym(RTLD_NEXT, "alGetSourcei");
    real(source, param, value);
    if (source == music && param == 0x1010 /* AL_SOURCE_STATE */ && !drawn) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        real(source, 0x1025 /* AL_SAMPLE_OFFSET */, &mixed);
    }
}
void glRotatef(float angle, float x, float y, float z) {
    static void (*real)(float, float, float, float);
    if (!real) real = (void (*)(float, float, float, float))dlsym(RTLD_NEXT, "glRotatef");
    if (!drawn && music && x == 1 && y == 0 && z == 0) row = angle, drawn = 1;
    real(angle, x, y, z);
}
void glXSwapBuffers(void* display, unsigned long drawable) {
    static void (*real)(void*, unsigned long);
    static FILE* out;
    if (!real) real = (void (*)(void*, unsigned long))dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (!out) out = fopen("record.txt", "w");
    if (drawn) fprintf(out, "%lld.%09ld %.6f %d\n", (long long)now.tv_sec, now.tv_nsec, row, mixed), fflush(out);
    drawn = 0;
    real(display, drawable);
}
SHIM
cc -shared -fPIC -O2 -o shim.so shim.c -ldl || exit 1
display_start 320x240x24 || exit 1
printf '[general]\ndrivers=wave\nchannels=stereo\nsample-type=int16\n[wave]\nfile=out.wav\n' > alsoft.conf
ALSOFT_CONF=alsoft.conf ALSOFT_DRIVERS=wave LD_PRELOAD=./shim.so "$vordel" > out.txt 2>&1 &
pid=$!
deadline=$(($(date +%s) + READY_LIMIT_S))
span() { awk -v limit=$MEASURED_S -v from=$WARM_UP_ROWS '$2 >= from && !t0 { t0 = $1 } END { print (t0 && $1 - t0 > limit) }' record.txt 2>/dev/null; }
until [ "$(span)" = 1 ]; do
  kill -0 $pid 2>/dev/null && [ "$(date +%s)" -lt $deadline ] || { echo "FAIL: no $MEASURED_S s of frames"; cat out.txt; exit 1; }
  sleep 0.1
done
kill $pid; wait $pid 2>/dev/null
awk -v limit="$MEASURED_S" -v from=$WARM_UP_ROWS -v rate=$SAMPLE_RATE '
  $2 >= from && !t0 { t0 = $1 }
  t0 && $1 - t0 <= limit { n++; t[n] = $1 - t0; r[n] = $2; w[n] = $3 / rate
    if (n > 1 && r[n] < r[n - 1]) back++
    if (n > 1 && w[n] > w[n - 1]) steps[w[n] - w[n - 1]]++ }
  END {
    for (i = 1; i <= n; i++) { st += t[i]; sr += r[i] }
    for (i = 1; i <= n; i++) { sxy += (t[i] - st / n) * (r[i] - sr / n); sxx += (t[i] - st / n) ^ 2 }
    slope = sxy / sxx; at0 = sr / n - slope * st / n
    for (s in steps) if (steps[s] > steps[period] || period == "") period = s
    for (i = 1; i <= n; i++) { d = r[i] - at0 - slope * t[i]; print (d < 0 ? -d : d) / slope * 1000 > "dist.txt"
      lead = r[i] / 17.0666666666666667 - w[i]; if (i == 1 || lead > maxlead) maxlead = lead }
    close("dist.txt"); while (("sort -g dist.txt" | getline d) > 0) sorted[++k] = d
    p99 = sorted[int(0.99 * k + 0.999)]; worst = sorted[k]
    printf "frames %d over %.2f s (%.0f a second), mixing period %.2f ms\n", n, t[n], n / t[n], period * 1000
    printf "distance from the fitted line: 99th percentile %.3f ms, worst %.3f ms\n", p99, worst
    printf "slope %.4f rows/s (%+.4f%%), backward steps %d, largest lead over the mixer offset %.3f ms\n",
           slope, (slope / 17.0666666666666667 - 1) * 100, back, maxlead * 1000
    ok = n > 1000 && p99 <= 1 && worst <= 3 && back == 0 && (slope / 17.0666666666666667 - 1) ^ 2 < 1e-6 && maxlead < period + 0
    print ok ? "PASS" : "FAIL"; exit !ok }' record.txt
