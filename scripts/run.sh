#!/usr/bin/env bash
# Installs what is missing, builds Padwright and runs it. Arguments go to the
# program; without any it lists the controllers that are plugged in.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
[ $# -gt 0 ] || set -- list
exec build/cli/padwright-cli "$@"
