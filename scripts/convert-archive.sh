#!/usr/bin/env bash
# Converts every folder right under ARCHIVE_ROOT with one vantrel-cli each,
# and the pictures and videos lying right in the root with one more, run in
# parallel by GNU parallel on this machine or, given an sshloginfile, on the
# machines it lists; then merges the reports into one JSON document on
# standard output that names every folder with what became of it.
#
#   scripts/convert-archive.sh ARCHIVE_ROOT [SSHLOGINFILE] [VANTREL-CLI OPTION]...
#
# The options go to every vantrel-cli, but for those that the script sets
# itself or that would leave a run without its report, which are refused:
# --jobs (each folder is converted on one thread while the folders share the
# cores), --report, --list, --help and --version. --no-subfolders converts
# only each folder's own files, none of its sub-folders. With -o DIR (--output-dir) each folder's movies go under DIR/FOLDER, so that
# folders holding the same names cannot write over each other's movies. A
# link to a folder counts as that folder: a folder reached twice is
# converted once. With an sshloginfile every machine must see the archive
# under the same path (a shared mount) and have vantrel-cli on its PATH.
# Environment: VANTREL_CLI (the program; default vantrel-cli), ARCHIVE_JOBS
# (folders at once per machine; default one per core). Exit status 0 when
# every job converted, 1 otherwise, 2 for a bad command line or when jq or
# GNU parallel is missing.
set -uo pipefail

usage() {
  echo "usage: $0 ARCHIVE_ROOT [SSHLOGINFILE] [VANTREL-CLI OPTION]..." >&2
  exit 2
}

if (($# < 1)) || [[ ! -d "$1" ]]; then usage; fi
# The Debian package only recommends them, so they may be missing.
for tool in jq parallel; do
  if ! command -v "$tool" >/dev/null; then
    echo "$0: $tool is not installed; it needs jq and GNU parallel" >&2
    exit 2
  fi
done
root=$1
shift
where=()
if (($# > 0)) && [[ "$1" != -* ]]; then
  where=(--sshloginfile "$1")
  shift
fi
cli=${VANTREL_CLI:-vantrel-cli}
jobs=${ARCHIVE_JOBS:-100%}

# The output folder and --no-subfolders are taken out of the options, since
# each run gets its own place under the folder and its own depth. Options
# that the script sets itself, or that would leave a run without the report
# it merges, are refused before any work. Short options may be run together
# as vantrel-cli takes them (-lo DIR, -oDIR): q, r, j and o take the rest of
# the word as their value, or the next word.
output=
set_output() {
  if [[ -n $output || -z $1 ]]; then
    echo "$0: give one output folder, not empty" >&2
    exit 2
  fi
  output=$1
}
refuse() {
  local why
  case $1 in
    -j | --jobs) why="each folder is converted on one thread, ARCHIVE_JOBS folders at once" ;;
    --report) why="the merged report goes to standard output" ;;
    --list) why="it writes no report to merge; --dry-run plans every folder instead" ;;
    --no-subfolders) why="give --no-subfolders alone, or leave it out" ;;
    *) why="see vantrel-convert-archive(1)" ;;
  esac
  echo "$0: $1: not passed on to vantrel-cli: $why" >&2
  exit 2
}
subfolders=--no-subfolders=false
options=()
while (($# > 0)); do
  word=$1
  shift
  case $word in
    -o | --output-dir)
      (($# > 0)) || usage
      set_output "$1"
      shift
      ;;
    --output-dir=*) set_output "${word#*=}" ;;
    --no-subfolders) subfolders=--no-subfolders ;;
    --jobs | --jobs=* | --report | --report=* | --list | --list=* | --no-subfolders=* | \
      --help | --help=* | --version | --version=*)
      refuse "${word%%=*}"
      ;;
    --quality | --rate | --player-script | --target-size | --start | --end | --max-size)
      options+=("$word")
      if (($# > 0)); then
        options+=("$1")
        shift
      fi
      ;;
    --*) options+=("$word") ;;
    -?*)
      kept=-
      value_next=false
      for ((i = 1; i < ${#word}; i++)); do
        letter=${word:i:1}
        [[ $letter != [jhV] ]] || refuse "-$letter"
        if [[ $letter == o ]]; then
          value=${word:i+1}
          if [[ -z $value ]]; then
            (($# > 0)) || usage
            value=$1
            shift
          fi
          set_output "$value"
          break
        fi
        kept+=$letter
        if [[ $letter == [qr] ]]; then
          kept+=${word:i+1}
          [[ -n ${word:i+1} ]] || value_next=true
          break
        fi
      done
      [[ $kept == - ]] || options+=("$kept")
      if $value_next && (($# > 0)); then
        options+=("$1")
        shift
      fi
      ;;
    *) options+=("$word") ;;
  esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The folders, each known by its real path so that links to it, or into it,
# are seen for what they are. Real sub-folders are all taken; then links,
# shortest real path first so that a link to a folder wins over links into
# it, each unless it reaches the root (or above it), the output folder, or a
# folder already taken.
root_real=$(realpath -e -- "$root")
output_real=
[[ -z $output ]] || output_real=$(realpath -m -- "$output")
mapfile -d '' entries < <(find -H "$root" -mindepth 1 -maxdepth 1 -xtype d -print0 |
  LC_ALL=C sort -z)
real=() skip_code=() skip_reason=() taken=()
within() { [[ $1 == "$2" || $1 == "$2"/* ]]; }
links=()
if ((${#entries[@]} > 0)); then
  mapfile -d '' real < <(printf '%s\0' "${entries[@]}" | xargs -0 realpath -z -m --)
fi
for e in "${!entries[@]}"; do
  if [[ -L ${entries[e]} ]]; then
    links+=("${#real[e]} $e")
  elif [[ -n $output_real ]] && within "${real[e]}" "$output_real"; then
    skip_code[e]=output-folder skip_reason[e]="the output folder"
  else
    taken+=("$e")
  fi
done
if ((${#links[@]} > 0)); then
  mapfile -t links < <(printf '%s\n' "${links[@]}" | sort -n -k1,1 -k2,2)
fi
for link in "${links[@]}"; do
  e=${link#* }
  if within "$root_real" "${real[e]}"; then
    skip_code[e]=link-loop skip_reason[e]="a link to the archive root or a folder above it"
  elif [[ -n $output_real ]] && within "${real[e]}" "$output_real"; then
    skip_code[e]=output-folder skip_reason[e]="the output folder"
  else
    for t in "${taken[@]}"; do
      if [[ ${real[e]} == "${real[t]}" ]]; then
        skip_code[e]=same-folder skip_reason[e]="the same folder as ${entries[t]}"
      elif within "${real[e]}" "${real[t]}"; then
        skip_code[e]=same-folder skip_reason[e]="a folder inside ${entries[t]}, converted with it"
      fi
      [[ -z ${skip_code[e]:-} ]] || break
    done
    [[ -n ${skip_code[e]:-} ]] || taken+=("$e")
  fi
done

# One run per folder taken, in folder order, then one over the root's own
# files when it has any (or nothing else). Each run's third word tells
# vantrel-cli whether to enter sub-folders: a folder's run does unless
# --no-subfolders was given; the root's never does.
run_folder=() run_output=() run_depth=() run_of=()
add_run() {
  run_of[$1]=$((${#run_folder[@]} + 1))
  run_folder+=("$2")
  run_output+=("$3")
  run_depth+=("$4")
}
for e in "${!entries[@]}"; do
  [[ -z ${skip_code[e]:-} ]] || continue
  add_run "$e" "${entries[e]}" "${output:+${output%/}/${entries[e]##*/}}" "$subfolders"
done
root_entry=${#entries[@]}
if ((${#entries[@]} == 0)) ||
  [[ -n $(find -H "$root" -mindepth 1 -maxdepth 1 ! -xtype d -print -quit) ]]; then
  add_run "$root_entry" "$root" "$output" --no-subfolders
fi

# Each run's report comes back on its vantrel-cli's standard output, so it
# arrives from remote machines without a shared place to write; parallel
# keeps it and the run's messages in files named by the run's number, and
# its exit status in the job log.
if ((${#run_folder[@]} > 0)); then
  printf '%s\0' "${run_folder[@]}" >"$work/folders"
  printf '%s\0' "${run_output[@]}" >"$work/outputs"
  printf '%s\0' "${run_depth[@]}" >"$work/depths"
  command=("$cli" --quiet --jobs 1 "${options[@]}" "{3}")
  [[ -z $output ]] || command+=(-o "{2}")
  mkdir "$work/runs"
  parallel -0 -q --will-cite -j "$jobs" "${where[@]}" --link -a "$work/folders" \
    -a "$work/outputs" -a "$work/depths" --joblog "$work/joblog" --results "$work/runs/{#}" \
    "${command[@]}" --report - "{1}"
fi
declare -A exit_of=()
if [[ -f $work/joblog ]]; then
  while IFS=$'\t' read -r number _ _ _ _ _ value signal _; do
    [[ $number =~ ^[0-9]+$ && $value =~ ^-?[0-9]+$ && $signal =~ ^[0-9]+$ ]] || continue
    exit_of[$number]=$((signal > 0 ? 128 + signal : value))
  done <"$work/joblog"
fi

# One record per folder named, in folder order, the root last: its fields
# separated by NUL bytes (path, path's bytes, status, code, reason, reason's
# bytes, exit status), and beside it what its run printed, NUL-terminated
# too (a JSON report holds no NUL byte). A text that is not UTF-8 also goes
# as base64, as vantrel-cli's report keeps it.
bytes_of() {
  local LC_ALL=C
  bytes=
  if [[ $1 == *[![:ascii:]]* ]] && ! iconv -f UTF-8 -t UTF-8 <<<"$1" >/dev/null 2>&1; then
    bytes=$(printf %s "$1" | base64 -w0)
  fi
}
printf '\0' >"$work/nul"
: >"$work/records"
printed=() messages=()
for ((e = 0; e <= root_entry; e++)); do
  number=${run_of[e]:-}
  [[ -n $number || -n ${skip_code[e]:-} ]] || continue
  # The root's run found nothing: it only looked, so it is not named.
  if ((e == root_entry && root_entry > 0)) &&
    jq -e '.jobs == [] and .refused == []' "$work/runs/$number" >/dev/null 2>&1; then
    continue
  fi
  path=${entries[e]:-$root}
  status='' code='' reason='' exit=''
  [[ -z $number ]] || exit=${exit_of[$number]:-}
  [[ -z ${skip_code[e]:-} ]] || status=skipped code=${skip_code[e]} reason=${skip_reason[e]}
  bytes_of "$path"
  path_bytes=$bytes
  bytes_of "$reason"
  printf '%s\0' "$path" "$path_bytes" "$status" "$code" "$reason" "$bytes" "$exit" \
    >>"$work/records"
  if [[ -f $work/runs/$number ]]; then printed+=("$work/runs/$number"); fi
  printed+=("$work/nul")
  if [[ -f $work/runs/$number.err ]]; then messages+=("$work/runs/$number.err"); fi
done
# split drops trailing empty fields: each list ends with a mark.
printf 'end' >"$work/end"
printf '%s\0' "${printed[@]}" "$work/end" | xargs -0 cat >"$work/printed"
cat "$work/end" >>"$work/records"
if ((${#messages[@]} > 0)); then printf '%s\0' "${messages[@]}" | xargs -0 cat >&2; fi
# The runs' reports, null for a run that printed none (it did not start, or
# broke off).
jq -Rs 'split("\u0000") | .[:-1] | map(try fromjson catch null |
  if type == "object" and (.jobs | type) == "array" and (.refused | type) == "array" then .
  else null end)' "$work/printed" >"$work/reports.json" || exit 1

# Jobs of different runs that make one movie file (through links, or a
# spelling of its path) are found by the movie's real path; each later one
# is noted with the job whose movie it repeats, and the bytes of the reason
# when a name in it is not UTF-8 (marked by \1 before base64 below). Only
# jobs that made, or would make, their movie count.
names() {
  jq -j --arg key "$1" '.[] | select(. != null) | .jobs[] |
    if $key == "movie" and .status != "converted" and .status != "planned" then ""
    elif .[$key + "_bytes"] then "\u0001" + .[$key + "_bytes"]
    else .[$key] // "" end | . + "\u0000"' "$work/reports.json"
}
exact() { if [[ $1 == $'\x01'* ]]; then base64 -d <<<"${1:1}"; else printf %s "$1"; fi; }
mapfile -d '' movies < <(names movie)
mapfile -d '' sources < <(names source)
: >"$work/duplicates"
at=() movie_paths=()
for i in "${!movies[@]}"; do
  movie=${movies[i]}
  [[ -n $movie ]] || continue
  [[ $movie != $'\x01'* ]] || movie=$(exact "$movie")
  at+=("$i")
  movie_paths+=("$movie")
done
if ((${#movie_paths[@]} > 0)); then
  mapfile -d '' files < <(printf '%s\0' "${movie_paths[@]}" | xargs -0 realpath -m -z --)
  ((${#files[@]} == ${#movie_paths[@]})) || files=("${movie_paths[@]}")
  declare -A first=()
  for k in "${!files[@]}"; do
    i=${at[k]}
    if [[ -z ${first[${files[k]}]+set} ]]; then
      first[${files[k]}]=$i
      continue
    fi
    j=${first[${files[k]}]}
    reason_bytes=
    if [[ ${movies[i]} == $'\x01'* || ${sources[j]} == $'\x01'* ]]; then
      reason_bytes=$(printf 'its movie %s is already made from %s in this batch' \
        "${movie_paths[k]}" "$(exact "${sources[j]}")" | base64 -w0)
    fi
    echo "$i $j $reason_bytes" >>"$work/duplicates"
  done
fi

# The merged document: the version and options of the first report, every
# folder, every report's refused items and jobs, a repeated movie's job
# skipped as vantrel-cli skips one in its own batch.
jq --rawfile records "$work/records" --rawfile duplicates "$work/duplicates" '
  def problem:
    (.status == "converted" or .status == "planned" or
     (.status == "skipped" and .code == "movie-exists")) | not;
  def text($key; $value; $bytes):
    {($key): $value} + (if $bytes == "" then {} else {($key + "_bytes"): $bytes} end);
  def repeats($first; $bytes):
    .reason = "its movie \(.movie) is already made from \($first.source) in this batch" |
    .status = "skipped" | .movie = null | .page = null | del(.movie_bytes, .page_bytes) |
    .code = "duplicate-movie" | del(.reason_bytes) |
    if $bytes == "" then . else .reason_bytes = $bytes end;
  # What became of a folder: from the script, or from its run.
  def verdict($row; $report; $jobs; $exit):
    if $row[2] != "" then {status: $row[2], code: $row[3]} + text("reason"; $row[4]; $row[5])
    elif $report == null then
      {status: "failed", code: "no-report",
       reason: (if $exit == null then "vantrel-cli was not started"
                else "vantrel-cli ended with exit status \($exit) and no report" end)}
    else ($jobs | map(select(problem))) as $bad
      | if $jobs == [] and $report.refused == [] then
          {status: "empty", code: "no-pictures", reason: "no picture sequences or videos found"}
        elif $exit == 130 or $exit == 143 then
          {status: "stopped", code: "stopped", reason: "stopped by a signal"}
        elif $exit == 0 and $bad == [] then
          {status: (if $report.options.dry_run then "planned" else "converted" end),
           code: null, reason: null}
        elif $jobs == [] then
          {status: "failed", code: $report.refused[0].code, reason: $report.refused[0].reason}
        elif $bad != [] then
          {status: "incomplete", code: $bad[0].code,
           reason: "\($bad | length) of \($jobs | length) jobs not converted"}
        else
          {status: "incomplete", code: ($report.refused[0].code // null),
           reason: "vantrel-cli ended with exit status \($exit)"}
        end
    end;
  . as $reports
  | ($records | split("\u0000") | .[:-1]) as $fields
  | [range(0; $fields | length; 7) as $i | $fields[$i:$i + 7]] as $rows
  | ($duplicates | split("\n") | map(select(. != "") | split(" ")
      | {key: .[0], value: {first: (.[1] | tonumber), bytes: (.[2] // "")}}) | from_entries) as $dup
  | [$reports[] | .jobs? // []] as $lists
  | ($lists | add // []) as $flat
  | [$flat | to_entries[] | $dup[.key | tostring] as $d
      | if $d then .value | repeats($flat[$d.first]; $d.bytes) else .value end] as $jobs
  | [foreach $lists[] as $list (0; . + ($list | length))] as $ends
  | {version: ([$reports[] | select(. != null)][0].version // null),
     options: ([$reports[] | select(. != null)][0].options // null),
     folders: [range(0; $rows | length) as $n
       | ($ends[$n] - ($lists[$n] | length)) as $from
       | $jobs[$from:$ends[$n]] as $own
       | ($rows[$n][6] | if . == "" then null else tonumber end) as $exit
       | text("path"; $rows[$n][0]; $rows[$n][1])
         + verdict($rows[$n]; $reports[$n]; $own; $exit)
         + {exit_status: $exit, jobs: ($own | length)}],
     refused: ([$reports[] | .refused? // []] | add // []),
     jobs: $jobs}' "$work/reports.json" >"$work/merged.json" || exit 1
cat "$work/merged.json"

# Every folder that did not simply convert, and every repeated movie, is
# told on standard error too.
jq -r --rawfile duplicates "$work/duplicates" '
  (.folders[] | select(.status != "converted" and .status != "planned")
   | "\(.status) \(.path): \(.reason)"),
  (.jobs as $jobs | $duplicates | split("\n")[] | select(. != "") | split(" ")[0] | tonumber
   | $jobs[.] | "skipped \(.source): \(.reason)")' "$work/merged.json" >&2
jq -e '.folders != [] and all(.folders[]; .status == "converted" or .status == "planned" or
         .status == "skipped")' "$work/merged.json" >/dev/null || exit 1
