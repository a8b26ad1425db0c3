#!/usr/bin/env bash
# Runs a test program on a virtual X server of its own (Xvfb) with a window
# manager (openbox), so that its windows are real X windows, placed and
# activated by the window manager, and the input harness types through the
# server's keyboard. Every run has its own server, so runs go in parallel.
#   RunOnXServer.sh <program> [arguments...]
# Listing the tests (--gtest_list_tests) needs no server.
set -u

for arg in "$@"; do
  [ "$arg" = --gtest_list_tests ] && exec env QT_QPA_PLATFORM=offscreen "$@"
done

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
server=""
manager=""
finish() {
  [ -n "$manager" ] && kill "$manager" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# Waits up to 20 s for a file to have content.
await() {
  for _ in $(seq 200); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  echo "RunOnXServer: $2 did not start" >&2
  exit 1
}

# Xvfb picks a free display and writes its number once it takes clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
server=$!
await "$work/display" Xvfb
export DISPLAY=":$(head -n1 "$work/display")"

openbox --sm-disable --config-file "$here/openbox-rc.xml" --startup "touch $work/manager" \
  >"$work/openbox.log" 2>&1 &
manager=$!
for _ in $(seq 200); do [ -e "$work/manager" ] && break; sleep 0.1; done
[ -e "$work/manager" ] || { echo "RunOnXServer: openbox did not start" >&2; cat "$work/openbox.log" >&2; exit 1; }

env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$@"
