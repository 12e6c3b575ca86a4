#!/usr/bin/env bash
# Runs a command against a private X server (Xvfb) started for it alone and
# stopped afterwards, so tests never depend on an X server of the caller.
# TREE_TEST_WM=openbox also starts a window manager on it.
set -u
dir=$(mktemp -d)
xvfb=
wm=
# However the script ends, interrupted or not, the servers it started end too.
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
# A busy machine can take a while: each wait gives up after about a minute.
limit=60

# -noreset: without it the server resets whenever its last client leaves, and
# a client that connects at that moment is dropped.
Xvfb -noreset -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
deadline=$((SECONDS + limit))
until [ -s "$dir/display" ] || [ "$SECONDS" -ge "$deadline" ]; do
  sleep 0.02
done
if [ ! -s "$dir/display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n 1 "$dir/display")"

if [ "${TREE_TEST_WM:-}" = openbox ]; then
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  # Map requests made while the window manager is still starting up can go
  # unanswered, so it counts as ready only once it has managed a window of
  # its own; a probe that is not managed in time is made again.
  ready=
  deadline=$((SECONDS + limit))
  while [ -z "$ready" ] && [ "$SECONDS" -lt "$deadline" ]; do
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
      xlogo -name tree_wm_probe -geometry 10x10+0+0 >/dev/null 2>&1 &
      probe=$!
      probe_deadline=$((SECONDS + 3))
      while [ "$SECONDS" -lt "$probe_deadline" ]; do
        if xprop -name tree_wm_probe WM_STATE 2>/dev/null | grep -q 'Normal'; then
          ready=1
          break
        fi
        sleep 0.05
      done
      kill "$probe" 2>/dev/null
      wait "$probe" 2>/dev/null
    else
      sleep 0.05
    fi
  done
  if [ -z "$ready" ]; then
    if ! kill -0 "$wm" 2>/dev/null; then
      echo "openbox ended at start-up" >&2
    elif ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
      echo "openbox did not claim the screen within ${limit}s" >&2
    else
      echo "openbox did not manage a window within ${limit}s" >&2
    fi
    exit 1
  fi
fi

"$@"
