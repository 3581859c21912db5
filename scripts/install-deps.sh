#!/usr/bin/env bash
# Installs the Debian packages Vantrel needs to build, test and run, and
# Ruffle's self-hosted player (the npm package @ruffle-rs/ruffle, pinned) in
# .cache/ruffle for the browser test.
# Idempotent: does nothing (no apt-get update, no npm) when all are present.
# With "gui-check", also what scripts/gui-check.sh needs to run the window
# on a virtual X server; with "fuzz", clang and its libFuzzer runtime for
# `make fuzz`; with "package", lintian for `make package`.
set -euo pipefail

packages=(
  # toolchain
  g++ make cmake ninja-build pkg-config
  # conversion core
  zlib1g-dev libdeflate-dev libboost-dev libturbojpeg0-dev libjpeg62-turbo-dev libspng-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  # front ends (libx11-dev: the window's Caps/Num/Scroll Lock indicators)
  qt6-base-dev libx11-dev libcli11-dev nlohmann-json3-dev
  # tests and benchmarks (jq, parallel: the JSON reports and scripts/convert-archive.sh;
  # man-db, groff-base: checking the manual pages; imagemagick: pictures made in tests)
  libgtest-dev libgmock-dev libbenchmark-dev ffmpeg time jq parallel man-db groff-base imagemagick
  # the browser test
  chromium python3
  # the package and its test (dpkg-dev: dpkg-shlibdeps; file: CPack finds the programs by it)
  dpkg-dev file desktop-file-utils
)
# npm comes with Debian's npm package, or inside another nodejs build.
command -v npm >/dev/null || packages+=(npm)
case "${1:-}" in
  gui-check) packages+=(xvfb xdotool x11-utils openbox) ;;
  fuzz) packages+=(clang libclang-rt-14-dev) ;;
  package) packages+=(lintian) ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} > 0)); then
  echo "install-deps: installing ${missing[*]}"
  sudo=()
  if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

ruffle_version=0.6.0
ruffle_dir="$(cd "$(dirname "$0")/.." && pwd)/.cache/ruffle"
if ! grep -Eqs "\"version\": *\"$ruffle_version\"" "$ruffle_dir/node_modules/@ruffle-rs/ruffle/package.json"; then
  echo "install-deps: installing @ruffle-rs/ruffle@$ruffle_version in $ruffle_dir"
  mkdir -p "$ruffle_dir"
  npm install --prefix "$ruffle_dir" --no-save --no-audit --no-fund --loglevel=error \
    "@ruffle-rs/ruffle@$ruffle_version"
fi
