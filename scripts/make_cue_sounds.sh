#!/bin/sh
# Makes the join and leave cues: two short sine chimes, rising for join and falling for leave,
# with soft fades so they do not click. Run from the repository root; writes src/audio/sounds/.
set -eu
out=src/audio/sounds
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
tone() { # frequency, seconds, file
    sox -n -r 48000 -c 1 -b 16 "$3" synth "$2" sine "$1" fade q 0.01 "$2" 0.06 vol 0.35
}
tone 660 0.12 "$tmp/a.wav"
tone 880 0.16 "$tmp/b.wav"
sox "$tmp/a.wav" "$tmp/b.wav" -C 3 "$out/join.ogg"
tone 880 0.12 "$tmp/c.wav"
tone 587 0.16 "$tmp/d.wav"
sox "$tmp/c.wav" "$tmp/d.wav" -C 3 "$out/leave.ogg"
