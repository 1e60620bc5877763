#!/usr/bin/env bash
# The program started as a user starts it, on a real X server (Xvfb, Qt's xcb platform): it must stay up
# and show its login window.
#   start-under-x.sh PATH/TO/taxferry
set -euo pipefail
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/runtime"

cat >"$tmp/inside.sh" <<'INSIDE'
set -u
"$PROGRAM" >"$TMPDIR_X/program.log" 2>&1 &
pid=$!
id=""
for _ in $(seq 1 60); do
  sleep 0.5
  kill -0 "$pid" 2>/dev/null || { echo "FAIL: the program ended"; cat "$TMPDIR_X/program.log"; exit 1; }
  id=$(xwininfo -root -tree 2>/dev/null | awk '/"QOR 系统登录"/ {print $1; exit}')
  [ -n "$id" ] && xwininfo -id "$id" | grep -q 'Map State: IsViewable' && break
  id=""
done
status=0
if [ -z "$id" ]; then
  echo "FAIL: no login window shown"; xwininfo -root -tree; cat "$TMPDIR_X/program.log"; status=1
else
  sleep 2 # still up a while after showing it
  if kill -0 "$pid" 2>/dev/null; then echo "login window $id shown, program running"; else
    echo "FAIL: the program ended after showing its login"; status=1; fi
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit $status
INSIDE

# A user of its own: settings, data, runtime folder and the single-instance key are the test's.
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u DISPLAY HOME="$tmp" USER="taxferry-xcb-$$" \
  XDG_RUNTIME_DIR="$tmp/runtime" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" \
  PROGRAM="$program" TMPDIR_X="$tmp" \
  timeout 120 xvfb-run -a -s "-screen 0 1280x800x24" bash "$tmp/inside.sh"
