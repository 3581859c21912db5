#!/usr/bin/env bash
# Converts the bundled example with the default options.
set -euo pipefail
build=${1:-build}
cli="$build/cli/vantrel-cli"
if [[ ! -x "$cli" ]]; then
  echo "demo: the command-line tool is not built yet; nothing is convertible so far."
  exit 0
fi
"$cli" examples/walk
