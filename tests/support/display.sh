# A virtual X display with a window manager that honours full-screen requests, for tests and
# scripts that run the real programs. Sourced, not run:
#   . tests/support/display.sh
#   display_start [WIDTHxHEIGHTxDEPTH] || exit 1   # exports DISPLAY once both are ready
#   ...
#   display_keys '^Vordel$' Escape                 # types keys into the first window of that name
#   display_stop                                    # also safe when nothing was started
# display_start returns only when Xvfb accepts connections (it writes its display number then)
# and the window manager has announced itself on the root window: a manager still starting can
# swallow a window's map request and leave the program waiting for its window forever.
DISPLAY_READY_LIMIT_MS=${DISPLAY_READY_LIMIT_MS:-10000}
display_xvfb_pid=
display_wm_pid=
display_dir=

# For the scripts that source this: the time in ms, and a poll for up to $2 ms until `$1` succeeds.
now_ms() { date +%s%3N; }
wait_for() { local end=$(($(now_ms) + $2)); until eval "$1"; do [ "$(now_ms)" -lt $end ] || return 1; sleep 0.02; done; }

display_start() {
  local screen=${1:-1280x1024x24}
  local deadline=$(($(now_ms) + DISPLAY_READY_LIMIT_MS))
  display_dir=$(mktemp -d)
  # -noreset: by default the server resets when its last client leaves, and a window manager
  # connecting just as the first readiness probe below disconnects is turned away.
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$display_dir/number" 2>"$display_dir/xvfb.log" &
  display_xvfb_pid=$!
  display_wait '[ -s "$display_dir/number" ]' "$display_xvfb_pid" Xvfb xvfb.log || return 1
  export DISPLAY=":$(cat "$display_dir/number")"
  openbox --sm-disable >"$display_dir/wm.log" 2>&1 &
  display_wm_pid=$!
  display_wait "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'" "$display_wm_pid" \
    "the window manager on $DISPLAY" wm.log
}

# Polls until the command $1 succeeds, while process $2 lives and display_start's deadline has not
# passed. Otherwise it stops everything and fails, naming $3 and quoting the last line of its log $4.
display_wait() {
  until eval "$1"; do
    if ! kill -0 "$2" 2>/dev/null || [ "$(now_ms)" -gt "$deadline" ]; then
      echo "display: $3 not ready within $DISPLAY_READY_LIMIT_MS ms: $(tail -1 "$display_dir/$4")" >&2
      display_stop
      return 1
    fi
    sleep 0.02
  done
}

# Focuses the first visible window whose name matches $1 and types the keys after it, both down and
# up through the server's test extension. Naming the window in the key command instead would send
# each event to it directly once it has lost the focus: a release after the window closed on the
# press would never reach the server, the key would stay down, and its auto-repeat would go to the
# next window to open. False when there is no such window.
display_keys() {
  local window
  window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
  shift
  [ -n "$window" ] && timeout 5 xdotool windowfocus --sync "$window" key "$@" >/dev/null 2>&1
}

display_stop() {
  local pid
  for pid in $display_wm_pid $display_xvfb_pid; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  display_wm_pid=
  display_xvfb_pid=
  [ -z "$display_dir" ] || rm -rf "$display_dir"
  display_dir=
}

# When a test gives up on the program in `pid` (a scene's): the threads of the program where they
# stand and the end of its standard error (err.txt), so that a failure in CI is read from its log.
give_up_evidence() {
  if [ -n "${pid:-}" ] && kill -0 "$pid" 2>/dev/null; then
    echo "--- threads of $pid:"
    # The main thread (the frame loop) in full, then every thread's innermost frames: all of them fit.
    timeout 60 gdb -batch -p "$pid" -ex "thread 1" -ex "bt 25" -ex "thread apply all bt 6" 2>/dev/null |
      grep -E '^(\[Switching|Thread|#)' | head -300
  fi
  echo "--- stderr:"
  tail -20 err.txt 2>/dev/null
}

# The usual scene of a run of the real demo: a scratch folder `work` with a copy of the bundled
# data (DATA_DIR), made the current folder; a display of its own (WIDTHxHEIGHTxDEPTH, default
# 640x480x24); sound to `work/out.wav` through the output library's wave writer. On exit the
# program in `pid` (if any) is killed, the display stopped and the folder removed.
#   demo_scene DATA_DIR [WIDTHxHEIGHTxDEPTH] || exit 1
demo_scene() {
  work=$(mktemp -d)
  pid=
  trap '[ -z "$pid" ] || kill -9 "$pid" 2>/dev/null; display_stop; rm -rf "$work"' EXIT
  cp "$1"/music.mp3 "$1"/*.track "$1"/*.png "$1"/*.bmp "$1"/*.jpg "$1"/timeline.txt "$work"/ || return 1
  cd "$work" || return 1
  display_start "${2:-640x480x24}" || return 1
  export ALSOFT_CONF="$work/alsoft.conf" ALSOFT_DRIVERS=wave
  printf '[general]\ndrivers=wave\nchannels=stereo\nsample-type=int16\ndither=false\n[wave]\nfile=%s/out.wav\n' \
    "$work" > "$ALSOFT_CONF"
}
