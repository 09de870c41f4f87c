#!/bin/sh
# The main job: the two objects on sample input, through the real plug-ins
# loaded by the embedded host. Usage: scripts/demo.sh [BUILD_DIR]
set -eu
build=${1:-build}
qz="$build/bin/qz"
cd "$(dirname "$0")/.."

show() {
    printf '\n$ %s\n' "$*"
    "$@"
}

echo "== qz.subtone: virtual fundamental of a chord"
show "$qz" subtone --approx 0.5 440 550 660
show "$qz" subtone --approx 0 440 660
show "$qz" subtone --mode midi --approx 0.5 60 64 67
show "$qz" subtone --mode midi --approx 1 60 64 67
show "$qz" subtone --mode midi --approx 0.5 57 64
show "$qz" subtone --mode midi C4 E4 G4
show "$qz" subtone --mode midi --echo --names examples/subtone/chords-names.txt
printf '\n$ printf "60 64 67\\n48 55 64 67 70\\n" | %s subtone --mode midi --explain\n' "$qz"
printf '60 64 67\n48 55 64 67 70\n' | "$qz" subtone --mode midi --explain

echo
echo "== qz.pitchtally: recurrence statistics of a pitch tracker's stream"
echo "   (TIME PITCH AVGAMP PROBA, one line per report)"
show "$qz" pitchtally --agents 32 --window 200 --minproba 0.5 --digits 3 examples/pitchtally/stream.txt

echo
echo "== qz run: a patch script (pitchtally's reports feed subtone)"
show "$qz" run --no-posts examples/run/feedback.qzs
