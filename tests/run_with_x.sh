#!/usr/bin/env bash
# Runs a command against a private X server (Xvfb) started for it alone and
# stopped afterwards, so tests never depend on an X server of the caller.
# TREE_TEST_WM=openbox also starts a window manager on it.
set -u
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
for _ in $(seq 200); do
  [ -s "$dir/display" ] && break
  sleep 0.02
done
if [ ! -s "$dir/display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$dir/xvfb.log" >&2
  kill "$xvfb" 2>/dev/null
  exit 1
fi
export DISPLAY=":$(head -n 1 "$dir/display")"
wm=
if [ "${TREE_TEST_WM:-}" = openbox ]; then
  openbox --sm-disable >/dev/null 2>&1 &
  wm=$!
  # The window manager is ready once it has claimed the screen's selection.
  for _ in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.02
  done
fi
"$@"
rc=$?
[ -n "$wm" ] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit $rc
