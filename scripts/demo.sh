#!/usr/bin/env bash
# Converts a copy of the bundled example with the default options and says
# where the movie and its page went.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli="$build/cli/vantrel-cli"
demo="$build/demo/walk"

rm -rf "$demo"
mkdir -p "$demo"
cp examples/walk/*.jpg examples/walk/walk.mp3 "$demo/"
"$cli" --quiet "$demo"
echo
echo "movie: $(realpath "$demo/walk.swf")"
echo "page:  $(realpath "$demo/walk.html")"
