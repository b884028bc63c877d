#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
./scripts/build.sh
BUILD_DIR="${KESTOVA_BUILD_DIR:-build}"
./scripts/test-session.sh ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$(nproc)" "$@"
