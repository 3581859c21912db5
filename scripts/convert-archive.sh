#!/usr/bin/env bash
# Converts every folder right under ARCHIVE_ROOT with one vantrel-cli each,
# run in parallel by GNU parallel on this machine or, given an sshloginfile,
# on the machines it lists; then merges the reports into one JSON document
# on standard output.
#
#   scripts/convert-archive.sh ARCHIVE_ROOT [SSHLOGINFILE] [VANTREL-CLI OPTION]...
#
# The options go to every vantrel-cli; --jobs is not one of them, since each
# folder is converted on one thread while the folders share the cores.
# With an sshloginfile every machine must see the archive under the same
# path (a shared mount) and have vantrel-cli on its PATH. Environment:
# VANTREL_CLI (the program; default vantrel-cli), ARCHIVE_JOBS (folders at
# once per machine; default one per core). Exit status 0 when every job
# converted, 1 otherwise.
set -uo pipefail

if (($# < 1)) || [[ ! -d "$1" ]]; then
  echo "usage: $0 ARCHIVE_ROOT [SSHLOGINFILE] [VANTREL-CLI OPTION]..." >&2
  exit 2
fi
root=$1
shift
where=()
if (($# > 0)) && [[ "$1" != -* ]]; then
  where=(--sshloginfile "$1")
  shift
fi
cli=${VANTREL_CLI:-vantrel-cli}
jobs=${ARCHIVE_JOBS:-100%}

reports=$(mktemp -d)
trap 'rm -rf "$reports"' EXIT

# Each folder's report comes back on its vantrel-cli's standard output, so
# it arrives from remote machines without a shared place to write; --keep-order
# keeps the merged jobs in folder order.
find "$root" -mindepth 1 -maxdepth 1 -type d -print0 | sort -z |
  parallel -0 -q --will-cite --keep-order -j "$jobs" "${where[@]}" \
    "$cli" --quiet --jobs 1 "$@" --report - {} >"$reports/all.json" 2>"$reports/lines.txt"
status=$?
cat "$reports/lines.txt" >&2

# One document: the version and options of the first report, every
# report's refused items and jobs.
jq -s '{version: (.[0].version // null), options: (.[0].options // null),
        refused: (map(.refused) | add // []), jobs: (map(.jobs) | add // [])}' \
  "$reports/all.json" || exit 1
((status == 0)) || exit 1
