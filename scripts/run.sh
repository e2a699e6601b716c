#!/usr/bin/env bash
# Installs what is needed, builds, assembles the portable folder and starts Quorvane from it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
portable=${QUORVANE_BUILD_DIR:-$root/build}/portable
echo "Starting $portable/quorvane"
exec "$portable/quorvane" "$@"
