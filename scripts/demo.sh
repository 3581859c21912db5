#!/usr/bin/env bash
# Converts a copy of the bundled example with the default options, its page
# loading Ruffle's self-hosted player copied beside it, and says where the
# movie and its page went and how to watch it play in a browser.
#
#   scripts/demo.sh [BUILD_DIR [OUT_DIR]]
#
# The demo goes to OUT_DIR/walk (default BUILD_DIR/demo/walk), made anew.
set -euo pipefail
out=${2:+$(realpath -m "$2")}
cd "$(dirname "$0")/.."
build=${1:-build}
cli="$build/cli/vantrel-cli"
demo="${out:-$build/demo}/walk"
# Installed by scripts/install-deps.sh, which `make demo` runs first.
ruffle=.cache/ruffle/node_modules/@ruffle-rs/ruffle
port=8000

if [[ ! -f "$ruffle/ruffle.js" ]]; then
  echo "demo: Ruffle's player is missing from $ruffle: run scripts/install-deps.sh" >&2
  exit 1
fi
echo "demo: converting a copy of examples/walk in $demo, with Ruffle's player beside its page"
rm -rf "$demo"
mkdir -p "$demo/ruffle"
cp examples/walk/*.jpg examples/walk/walk.mp3 "$demo/"
# The player and the files it loads; its maps, licences and README are not needed.
cp "$ruffle"/ruffle.js "$ruffle"/core.ruffle.*.js "$ruffle"/*.wasm "$demo/ruffle/"
"$cli" --quiet --player-script ruffle/ruffle.js "$demo"
dir=$(realpath "$demo")
echo
echo "movie: $dir/walk.swf"
echo "page:  $dir/walk.html"
echo
echo "To watch it play, serve its folder (browsers do not start Ruffle from a file:// page):"
echo "  python3 -m http.server --bind 127.0.0.1 $port --directory $(printf '%q' "$dir")"
echo "then open http://127.0.0.1:$port/walk.html in your browser (Ctrl-C stops the server)."
