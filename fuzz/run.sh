#!/usr/bin/env bash
# Runs libFuzzer targets built in BUILD for SECONDS each, JOBS at once.
#   fuzz/run.sh BUILD SECONDS JOBS [TARGET...]   (no target: all of them)
# Each target grows a working corpus in BUILD/corpus/TARGET, started from the
# committed seeds in fuzz/corpus/TARGET; findings go to BUILD/findings/TARGET
# and the log, with libFuzzer's final statistics, to BUILD/logs/TARGET.log.
# FUZZ_MERGE=1 afterwards folds into fuzz/corpus/TARGET only the inputs that
# reach new code, which keeps the committed corpus small.
set -euo pipefail
build=$1 seconds=$2 jobs=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ]; then
  set -- $(cd "$build/fuzz" && ls fuzz_* | sed 's/^fuzz_//')
fi

# Time-outs and memory limits per target: the video targets, and threads,
# which converts whole videos, decode whole files and get more of both.
limits() {
  case "$1" in
    video_* | threads) echo "-timeout=30 -rss_limit_mb=2560 -max_len=262144" ;;
    *)       echo "-timeout=10 -rss_limit_mb=2048 -max_len=65536" ;;
  esac
}

run_one() {
  local target=$1 build=$2 seconds=$3 here=$4
  local work="$build/corpus/$target" findings="$build/findings/$target"
  mkdir -p "$work" "$findings" "$build/logs"
  # shellcheck disable=SC2046
  "$build/fuzz/fuzz_$target" $(limits "$target") -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$findings/" \
    "$work" "$here/corpus/$target" >"$build/logs/$target.log" 2>&1 && status=0 || status=$?
  local summary
  summary=$(grep -E '^#[0-9]+.*(DONE|pulse|NEW|REDUCE)' "$build/logs/$target.log" | tail -1)
  echo "$target: exit $status; $summary"
  if [ "${FUZZ_MERGE:-0}" = 1 ] && [ "$status" = 0 ]; then
    "$build/fuzz/fuzz_$target" $(limits "$target") -merge=1 "$here/corpus/$target" "$work" \
      >>"$build/logs/$target.log" 2>&1
  fi
  return "$status"
}
export -f run_one limits

printf '%s\n' "$@" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$build" "$seconds" "$here"
