#!/usr/bin/env bash
# A manual page renders without groff warnings, states the program's version
# and lists the same options as the program's --help (and, if given, the
# option list in README.md), so that none of them can drift from the others.
# Where --help lists the file patterns searched for (from the format table),
# the page's description and README's list them alike, in the same order.
#   man_page_test.sh PAGE README|- PROGRAM
set -euo pipefail
page=$1
readme=$2
program=$3

warnings=$(MANWIDTH=80 man -l --warnings=all "$page" 2>&1 >/dev/null)
[[ -z "$warnings" ]] || { printf '%s: groff warnings:\n%s\n' "$page" "$warnings"; exit 1; }
version=$("$program" --version | grep -oE '[0-9]+(\.[0-9]+)+' | head -1)
grep -q "^\.TH .*\"Vantrel $version\"" "$page" || { echo "$page: not of version $version"; exit 1; }

# The options named before the description on each line given, e.g.
# "-l,--lossless   store ..." or "-h, --help  Displays ...", one a line.
option_names() {
  sed -E 's/^ +//; s/   .*//; s/  [A-Z].*//' | grep -oE '(^|[ ,])--?[A-Za-z][a-z0-9-]*' |
    sed -E 's/^[ ,]//' | LC_ALL=C sort -u
}

from_help=$("$program" --help | grep -E '^ +-' | option_names)
# The tag line after each .TP of the OPTIONS section.
from_page=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | sed -n '/^\.TP/{n;p}' |
  sed 's/\\-/-/g; s/"//g' | option_names)
status=0
if [[ "$from_help" != "$from_page" ]]; then
  echo "--help and $page differ:"
  diff <(echo "$from_help") <(echo "$from_page") || true
  status=1
fi
if [[ "$readme" != - ]]; then
  # The option lines of the usage block under "## The command-line tool".
  from_readme=$(sed -n '/^## The command-line tool/,/^## /p' "$readme" | grep -E '^ {6,10}-' |
    option_names)
  if [[ "$from_help" != "$from_readme" ]]; then
    echo "--help and $readme differ:"
    diff <(echo "$from_help") <(echo "$from_readme") || true
    status=1
  fi
fi
# The file patterns, in order of first mention: "*.tga", "*.bmp", ...
patterns() { { grep -oE '\*\.[a-z0-9]+' || true; } | awk '!seen[$0]++'; }
formats_help=$("$program" --help | { grep -E '^(Pictures|Videos):' || true; } | patterns)
if [[ -n "$formats_help" ]]; then
  formats_page=$(sed -n '/^\.SH DESCRIPTION/,/^\.SH /p' "$page" | patterns)
  if [[ "$formats_help" != "$formats_page" ]]; then
    echo "the file patterns of --help and $page differ:"
    diff <(echo "$formats_help") <(echo "$formats_page") || true
    status=1
  fi
  if [[ "$readme" != - ]]; then
    formats_readme=$(sed -n '/^Each FOLDER is searched/,/^$/p' "$readme" | patterns)
    if [[ "$formats_help" != "$formats_readme" ]]; then
      echo "the file patterns of --help and $readme differ:"
      diff <(echo "$formats_help") <(echo "$formats_readme") || true
      status=1
    fi
  fi
fi
exit $status
