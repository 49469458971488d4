#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures and builds one tree; the build's
# output is shown only when it fails.
set -euo pipefail
dir=$1
shift
mkdir -p "$dir"
if ! { cmake -S . -B "$dir" -G Ninja "$@" && ninja -C "$dir"; } >"$dir/build.log" 2>&1; then
  cat "$dir/build.log"
  echo "build of $dir failed" >&2
  exit 1
fi
