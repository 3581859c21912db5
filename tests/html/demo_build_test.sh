#!/usr/bin/env bash
# `make demo` builds the two programs and what they need, and says so; none
# of the tests, benchmarks or fuzz targets, which `make test` builds.
#   demo_build_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
fail() { echo "demo_build_test: $*" >&2; exit 1; }

plan=$(make -s -n -C "$1" demo BUILD="$2")
build=$(grep '^cmake --build ' <<<"$plan") || fail "no build in: $plan"
grep -q '^echo "demo: building ' <<<"$plan" || fail "it does not say what it builds: $plan"
# Every command the build would run, up to date or not.
commands=$(cd "$1" && eval "$build -- -t commands")
for program in cli/vantrel-cli app/vantrel; do
  grep -qF -- " -o $program " <<<"$commands" || fail "$program is not built by: $build"
done
others=$(grep -oE '(^| )(tests|bench|fuzz)/[^ ]*CMakeFiles/[^ /]*' <<<"$commands" | sort -u) &&
  fail "it builds $(wc -l <<<"$others") targets more than the programs: $others"
echo "demo_build_test: $(wc -l <<<"$commands") commands, only for the programs"
