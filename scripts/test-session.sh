#!/usr/bin/env bash
# Runs a command inside a private D-Bus session with an unlocked Secret Service
# (gnome-keyring), with HOME and the XDG folders in a temporary folder, so that
# tests use the real credential store without touching the user's.
set -euo pipefail
tmp=$(mktemp -d "${TMPDIR:-/tmp}/kestova-session-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/runtime" && chmod 700 "$tmp/runtime"
export HOME="$tmp" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
export XDG_RUNTIME_DIR="$tmp/runtime"
exec dbus-run-session -- sh -c 'printf kestova | gnome-keyring-daemon --unlock --components=secrets >/dev/null; exec "$@"' sh "$@"
