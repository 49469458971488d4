#!/usr/bin/env bash
# Installs what is missing, builds Padwright and runs it. With arguments they go
# to padwright-cli; without any, it shows the main job on the simulated
# controller: detect, update, detect.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
cli=build/cli/padwright-cli
if [ $# -gt 0 ]; then
  exec "$cli" "$@"
fi
state=build/demo-controller.state
rm -f "$state"
for step in detect update detect; do
  echo "\$ padwright-cli --simulate --sim-state $state $step"
  "$cli" --simulate --sim-state "$state" "$step"
  echo
done
