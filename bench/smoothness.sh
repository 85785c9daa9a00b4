#!/usr/bin/env bash
# The picture's clock on the real binary (cube scene, 320x240, sound to a wave file), run by hand: a
# figure that a busy machine moves without a defect, so no test runs it. A preloaded
# library records per frame the row drawn (the first cube's x rotation) and, where the frame reads the
# music, the wall time and the mixer's offset (render time says nothing about the clock). Over 6 s
# after the first second (the clock learns the output then) it prints and checks the distance from a
# fitted line (99th percentile <= 1 ms, worst <= 3 ms), no step back, the slope (17.0667 rows/s within
# 0.1%) and the lead over the mixer (below its usual step).
#   bench/smoothness.sh build/vordel data
set -u; vordel=$(realpath "$1")
. "$(dirname "$0")/../tests/support/display.sh"
work=$(mktemp -d)
trap 'display_stop; rm -rf "$work"' EXIT
cp "$2"/music.mp3 "$2"/*.track "$2"/*.png "$2"/*.bmp "$2"/*.jpg "$work"/ && cd "$work" || exit 1
# One key each (count 1; row 0, value 1.0f, hold): the cube scene with one cube from the start.
for track in scene scp.a; do printf '\1\0\0\0\0\0\0\0\0\0\200\77\0' > "sync_$track.track"; done
cat > shim.c <<'SHIM'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <time.h>
#define REAL(name) static __typeof__(&name) real; if (!real) real = (__typeof__(&name))dlsym(RTLD_NEXT, #name)
static unsigned music; static int drawn, mixed; static float row; static struct timespec now;
void alSourcePlay(unsigned source) { REAL(alSourcePlay); music = source; real(source); }
void alGetSourcei(unsigned source, int param, int* value) {  /* AL_SOURCE_STATE, then the clock */
    REAL(alGetSourcei); real(source, param, value);
    if (source == music && param == 0x1010 && !drawn) clock_gettime(CLOCK_MONOTONIC, &now), real(source, 0x1025, &mixed);
}
void glRotatef(float angle, float x, float y, float z) {
    REAL(glRotatef); if (!drawn && music && x == 1 && !y && !z) row = angle, drawn = 1; real(angle, x, y, z); }
void glXSwapBuffers(void* display, unsigned long drawable) {
    REAL(glXSwapBuffers); static FILE* out; if (!out) out = fopen("record.txt", "w");
    if (drawn) fprintf(out, "%ld.%09ld %f %d\n", now.tv_sec, now.tv_nsec, row, mixed), fflush(out);
    drawn = 0, real(display, drawable); }
SHIM
cc -shared -fPIC -O2 -o shim.so shim.c -ldl && display_start 320x240x24 || exit 1
printf '[general]\ndrivers=wave\nchannels=stereo\nsample-type=int16\n[wave]\nfile=out.wav\n' > alsoft.conf
ALSOFT_CONF=alsoft.conf ALSOFT_DRIVERS=wave LD_PRELOAD=./shim.so "$vordel" > out.txt 2>&1 &
pid=$! deadline=$(($(date +%s) + 20))
measured() { awk '$2 >= 17.07 && !t0 { t0 = $1 } t0 && $1 - t0 <= 6 { print }' record.txt 2>/dev/null; }
until [ "$(measured | awk 'END { print ($1 - t0 > 5.99) } !t0 { t0 = $1 }')" = 1 ]; do
  kill -0 $pid 2>/dev/null && [ "$(date +%s)" -lt $deadline ] || { echo "FAIL: no 7 s of frames"; cat out.txt; exit 1; }
  sleep 0.1
done
kill $pid
measured | awk 'NR == 1 { since = $1 } { n++; t[n] = $1; r[n] = $2; m[n] = $3 / 44100; st += $1; sr += $2; if (r[n] < r[n - 1]) back++
                  if (n > 1 && m[n] > m[n - 1]) { steps[m[n] - m[n - 1]]++; if (t[n] - since > stall) stall = t[n] - since; since = t[n] } }
  END { for (i = 1; i <= n; i++) { sxy += (t[i] - st / n) * (r[i] - sr / n); sxx += (t[i] - st / n) ^ 2 }
    slope = sxy / sxx; for (s in steps) if (steps[s] > steps[period]) period = s
    for (i = 1; i <= n; i++) { d = (r[i] - sr / n - slope * (t[i] - st / n)) / slope; print (d < 0 ? -d : d) * 1000 > "dist"
                               lead = r[i] / 17.0666666666666667 - m[i]; if (i == 1 || lead > most) most = lead }
    close("dist"); while (("sort -g dist" | getline d) > 0) dist[++k] = d; p99 = dist[int(0.99 * k + 0.999)]
    printf "%d frames over %.2f s, mixing period %.2f ms, longest without a mix %.2f ms\ndistance from the fitted line: 99th percentile %.3f ms, worst %.3f ms\n", n, t[n] - t[1], period * 1000, stall * 1000, p99, dist[k]
    printf "slope %.4f rows/s (%+.4f%%), %d steps back, largest lead over the mixer %.3f ms\n", slope, (slope / 17.0666666666666667 - 1) * 100, back, most * 1000
    ok = n > 1000 && p99 <= 1 && dist[k] <= 3 && !back && (slope / 17.0666666666666667 - 1) ^ 2 < 1e-6 && most < period + 0
    print ok ? "PASS" : "FAIL"; exit !ok }'
