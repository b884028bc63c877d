#!/usr/bin/env bash
# Sets up what is missing, builds, and starts the client.
#
# With no service address given, it first starts the local stand-in of the service
# (build/server/kestova-local-service) on a free loopback port, waits until it listens,
# runs the client against it and stops the service when the client exits. Verification
# codes for signing in are printed here. The local service keeps its accounts in
# $KESTOVA_LOCAL_STATE (default: build/local-service-state.json).
#
# To use another deployment instead, give its addresses:
#   ./run.sh --api https://api.example.org --assets https://assets.example.org
# or set KESTOVA_API_BASE_URL and KESTOVA_ASSET_BASE_URL.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/setup.sh
./scripts/build.sh
BUILD_DIR="${KESTOVA_BUILD_DIR:-build}"
CLIENT="$BUILD_DIR/src/app/kestova"

address_given=0
for arg in "$@"; do
  case "$arg" in
    --api|--api=*|--assets|--assets=*) address_given=1 ;;
  esac
done
if [ -n "${KESTOVA_API_BASE_URL:-}" ] || [ -n "${KESTOVA_ASSET_BASE_URL:-}" ]; then
  address_given=1
fi
if [ "$address_given" = 1 ]; then
  exec "$CLIENT" "$@"
fi

STATE="${KESTOVA_LOCAL_STATE:-$BUILD_DIR/local-service-state.json}"
OUT="$BUILD_DIR/local-service.out"
LOG="$BUILD_DIR/local-service.log"
: > "$OUT"
"$BUILD_DIR/server/kestova-local-service" --state "$STATE" > >(tee "$OUT") 2> "$LOG" &
service_pid=$!
stop_service() {
  kill "$service_pid" 2>/dev/null || true
  wait "$service_pid" 2>/dev/null || true
}
trap stop_service EXIT

url=""
for _ in $(seq 1 300); do
  url="$(sed -n 's/^listening //p' "$OUT" | head -n 1)"
  [ -n "$url" ] && break
  if ! kill -0 "$service_pid" 2>/dev/null; then
    echo "run.sh: the local service did not start; its log ($LOG):" >&2
    cat "$LOG" >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "run.sh: the local service did not report its address; its log: $LOG" >&2
  exit 1
fi
echo "run.sh: local service at $url (log: $LOG); sign-in codes appear here"

status=0
"$CLIENT" --api "$url" --assets "$url" "$@" || status=$?
exit "$status"
