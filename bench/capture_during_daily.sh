#!/usr/bin/env bash
# Whether a capture keeps its delay while the day's video is made in its folder: SHOTS launches of
# `vorn --take-frame` from a 1080p GStreamer test source, one at the start of every DELAY seconds
# as a timer starts them, first alone and then while `vorn --daily-videos` makes the video of a
# closed day of FRAMES camera-like frames in the same folder (over and over: its video is removed
# after each run). Prints the intervals between the captured frames' times (their file times, as
# Vorn sets them): median and longest, alone and beside the daily run.
#   bench/capture_during_daily.sh BUILD_DIR [SHOTS] [DELAY] [FRAMES]
set -euo pipefail
build="${1:?usage: bench/capture_during_daily.sh BUILD_DIR [SHOTS] [DELAY] [FRAMES]}"
shots="${2:-12}"
delay="${3:-15}"
frames="${4:-2880}"
vorn="$(cd "$build" && pwd)/vorn"
dir=$(mktemp -d)
daily_loop=""
stop_daily() {
    touch "$dir/stop"
    if [[ -s "$dir/daily.pid" ]]; then kill "$(cat "$dir/daily.pid")" 2> /dev/null || true; fi
    if [[ -n "$daily_loop" ]]; then wait "$daily_loop" || true; fi
    daily_loop=""
}
trap 'stop_daily; rm -rf "$dir"' EXIT
source "$(dirname "$0")/day_of_frames.sh"
make_day_of_frames "$dir" "$frames" "$vorn"
echo "CAM_SOURCE=videotestsrc pattern=ball ! video/x-raw,width=1920,height=1080 ! videoconvert !" \
    "appsink" >> "$dir/config/Brimlow/Vorn.conf"
echo "$frames frames over $day; a frame every $delay s, $shots at a time"

# SHOTS launches, each at the start of its slot (at once when the one before overran it).
capture() {
    local start
    start=$(date +%s.%N)
    for i in $(seq 0 $(( shots - 1 ))); do
        local wait
        wait=$(echo "$start + $i * $delay - $(date +%s.%N)" | bc)
        if [[ "$wait" != -* ]]; then sleep "$wait"; fi
        "${vorn_run[@]}" --take-frame 2>> "$dir/capture.log" || echo "a launch ended with $?"
    done
}

# The intervals between the times of the frames newer than $dir/mark: median and longest.
intervals() {
    find "$dir/frames" -maxdepth 1 -name 'pic_*.jpg' -newer "$dir/mark" -printf '%T@\n' | sort -n |
        awk 'NR > 1 { print $1 - previous } { previous = $1 }' | sort -n |
        awk '{ gap[NR] = $1 } END { printf "median %.2f s, longest %.2f s over %d intervals\n",
             gap[int((NR + 1) / 2)], gap[NR], NR }'
}

touch "$dir/mark"; sleep 1
capture
echo "alone: $(intervals)"

# The daily run again and again until stopped, each under its own id so that it can be ended; a
# run that fails ends the loop rather than spin.
rm -f "$dir/stop"
: > "$dir/daily.runs"
(
    while [[ ! -e "$dir/stop" ]]; do
        rm -rf "$dir/frames/days"
        "${vorn_run[@]}" --daily-videos > /dev/null 2>> "$dir/daily.log" &
        echo $! > "$dir/daily.pid"
        if ! wait $!; then break; fi
        echo made >> "$dir/daily.runs"
    done
) &
daily_loop=$!
sleep 5  # the daily run past its start, encoding
touch "$dir/mark"; sleep 1
capture
stop_daily
echo "beside --daily-videos ($(wc -l < "$dir/daily.runs") whole runs meanwhile): $(intervals)"
if [[ -s "$dir/daily.log" ]]; then echo "the daily runs said:"; head -n 3 "$dir/daily.log"; fi
if [[ -s "$dir/capture.log" ]]; then echo "the launches said:"; sort "$dir/capture.log" | uniq -c; fi
