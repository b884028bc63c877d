#!/bin/sh
# Synthesises the join and leave cues with sox: two short soft sine notes each, rising
# for a join and falling for a leave, faded in and out and kept well below full scale
# so nothing clips. Mono, 48 kHz, Ogg Vorbis. Run again after changing a note.
#
#     sh make_sounds.sh [output-folder]
set -eu
out=${1:-$(dirname "$0")}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

note() { # file frequency seconds
    sox -n -r 48000 -c 1 -b 16 "$1" synth "$3" sine "$2" sine "$(echo "$2 * 2" | bc)" \
        remix - fade q 0.008 "$3" 0.09 gain -n -9
}

cue() { # name first-frequency second-frequency
    note "$tmp/a.wav" "$2" 0.11
    note "$tmp/b.wav" "$3" 0.16
    sox "$tmp/a.wav" "$tmp/b.wav" "$tmp/$1.wav" pad 0 0.04
    sox "$tmp/$1.wav" -C 3 "$out/$1.ogg"
}

cue join 659.25 987.77
cue leave 783.99 523.25
