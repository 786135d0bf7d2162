#!/usr/bin/env bash
# Plays the whole story on a display nobody watches (run by scripts/run under xvfb-run):
# starts Visagio, presses "Обучить", waits for the group to train, presses "Открыть" and takes
# a screenshot every few seconds into SHOTS, until the video test has played.
#   drive-demo.sh SHOTS ENROL_SECONDS VERIFY_SECONDS PROGRAM [ARGS...]
set -uo pipefail
shots=$1 enrol_seconds=$2 verify_seconds=$3
shift 3

# Button centres in window coordinates (the form places every widget absolutely).
train_button=(470 227)
open_button=(470 167)

"$@" &
app=$!
window=$(timeout 30 xdotool search --sync --name '^Visagio$' | head -1)
if [ -z "$window" ]; then
    echo "The Visagio window did not appear." >&2
    wait $app
    exit 1
fi

shot=0
screenshot() {
    shot=$((shot + 1))
    local file
    file="$shots/$(printf %02d $shot)-$1.png"
    xwd -root -silent | convert xwd:- -crop 573x334+0+0 +repage "$file" 2>/dev/null && echo "  screenshot $file"
}
click() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
}

sleep 2
screenshot start
echo "Pressing \"Обучить\": collecting 100 samples of the owner's face..."
click "${train_button[@]}"
for ((t = 0; t < enrol_seconds; t += 3)); do
    sleep 3
    screenshot enrolment
done
echo "Pressing \"Открыть\": verifying the faces of the video test..."
click "${open_button[@]}"
for ((t = 0; t < verify_seconds; t += 3)); do
    sleep 3
    screenshot verification
done
kill $app 2>/dev/null
wait $app 2>/dev/null
exit 0
