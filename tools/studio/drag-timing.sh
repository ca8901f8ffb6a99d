#!/bin/sh
# drag-timing.sh: the studio's input-to-picture times over a scripted key drag.
#
#   tools/studio/drag-timing.sh DISPLAY SOURCE-COPY OUT
#
# Starts build/bin/ostrel-studio on DISPLAY (an X server of 800 x 600 or
# more, Xvfb is fine) on a copy of the sources (it leaves a journal there),
# 640 x 480 at scene scale 1, playing from 1:00 and paused some 7 s on
# (near 1:07); waits for the full picture;
# then drags camPosY's key at row 1424 (0:59.333, at x 420, y 291 in the
# whole-show view) back and forth for 10 s: 100 pointer moves 100 ms apart.
# One second after the release, while the full picture is being drawn, a
# second drag of the same key begins: 30 moves, 100 ms apart. Then, once
# the full picture is back, ten seeks one row on (Shift+Right) in pairs:
# the second 0.6 s after the first, while the first's full picture is
# drawn; the next pair 3 s later.
# Prints the studio's summaries ("drag: N pictures, input to picture
# median ... worst ...", one per drag, and the same for the seeks by key,
# said when SIGTERM ends it); the studio's whole output goes to OUT. Under
# X the times count from the X server's time of each input, so an input
# that waits while a picture is drawn counts its wait.
set -eu
D=$1; src=$2; out=$3
export DISPLAY="$D"
SDL_AUDIODRIVER=dummy ./build/bin/ostrel-studio --source "$src" --at 60000 --size 640x480 > "$out" 2>&1 &
pid=$!
sleep 8
W=$(xdotool search --name "^Ostrel studio" | tail -1)
for i in 1 2 3 4 5; do xdotool key --window "$W" space; sleep 3; grep -q "paused at" "$out" && break; done
sleep 10
drag() {  # drag N: N pointer moves 100 ms apart, the button held
    xdotool mousemove --window "$W" 420 291 mousedown 1
    for i in $(seq 1 "$1"); do xdotool mousemove --window "$W" $((420 + (i % 20) - 10)) 291; sleep 0.1; done
    xdotool mousemove --window "$W" 420 291 mouseup 1  # the key back where the next drag takes it
}
drag 100
sleep 1
drag 30
sleep 15
for i in $(seq 1 5); do  # each second seek comes while the first's full picture is drawn
    xdotool key --window "$W" shift+Right; sleep 0.6
    xdotool key --window "$W" shift+Right; sleep 3
done
kill -TERM "$pid"
wait "$pid" || true
grep -E "drag:|seeks by key:" "$out"
