#!/usr/bin/env bash
# `make demo`'s script says how to serve its page, and the page, served over
# HTTP, plays its movie in Ruffle in headless Chromium: the walker moves.
#   demo_test.sh DEMO_SCRIPT BUILD_DIR SCREENSHOT_PAGE
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "demo_test: $*" >&2; exit 1; }

bash "$1" "$2" "$work" >"$work/out.txt"
grep -qxF "  python3 -m http.server --bind 127.0.0.1 8000 --directory $work/walk" "$work/out.txt" &&
  grep -qF 'open http://127.0.0.1:8000/walk.html' "$work/out.txt" ||
  fail "no server command or address in: $(cat "$work/out.txt")"
mkdir "$work/shots"
timeout 120 python3 "$3" "$work/walk" walk.html 320 280 2 "$work/shots" ||
  fail "the page did not load its movie"
shots=$(ls "$work/shots" | wc -l)
((shots >= 3)) || fail "the movie did not play: $shots distinct screenshots"
echo "demo_test: the demo's page plays ($shots distinct screenshots)"
