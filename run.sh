#!/usr/bin/env bash
# Sets up what is missing, builds, and starts the client.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
./scripts/build.sh
BUILD_DIR="${KESTOVA_BUILD_DIR:-build}"
exec "$BUILD_DIR/src/app/kestova" "$@"
