#!/usr/bin/env bash
# Starts the real vordel binary in a folder that holds only a small "jimage.bmp" and checks that the
# cube scene reports the picture and its texture right after the two GL lines, before start-up
# stops for the missing music. Needs an X display; sound goes to a wave file.
#   cube_report.sh VORDEL
set -u
vordel=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*"; echo "--- output:"; cat -A out.txt | head -20; exit 1; }

# A 4 × 4 24-bit BMP: 54 header bytes, then four bottom-up rows of 12 bytes (no padding needed).
{
  printf 'BM\x66\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00'
  printf '\x28\x00\x00\x00\x04\x00\x00\x00\x04\x00\x00\x00\x01\x00\x18\x00'
  printf '\x00\x00\x00\x00\x30\x00\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x00\x00'
  for _ in $(seq 1 16); do printf '\x20\x40\x80'; done
} > jimage.bmp

# Audio output must start, so that the run gets as far as the music.
export ALSOFT_CONF="$work/alsoft.conf"
printf '[general]\ndrivers=wave\n[wave]\nfile=%s/out.wav\n' "$work" > "$ALSOFT_CONF"
unset ALSOFT_DRIVERS

timeout 120 "$vordel" > out.txt 2> err.txt
status=$?

[ "$status" = 2 ] || fail "status $status, expected 2 (0xB002 as a shell sees it)"
head -1 out.txt | grep -q '^OpenGL version: ' || fail "line 1 is not the GL version"
sed -n 2p out.txt | grep -q '^OpenGL renderer: ' || fail "line 2 is not the GL renderer"
[ "$(sed -n 3p out.txt)" = "spinning cube scene loaded jimage at 4x4x3" ] || fail "line 3 is not the cube's picture report"
sed -n 4p out.txt | grep -Eq '^texture id [1-9][0-9]*$' || fail "line 4 is not the cube's texture name"
[ "$(tail -1 out.txt)" = "failed to open music" ] || fail "last line is not 'failed to open music'"
[ "$(wc -l < out.txt)" = 5 ] || fail "expected exactly five lines"
echo "ok"
