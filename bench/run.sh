#!/usr/bin/env bash
# Runs every benchmark built in the build folder given as $1, without a display.
set -euo pipefail
build="${1:?usage: bench/run.sh BUILD_DIR}"
export QT_QPA_PLATFORM=offscreen
for bench in "$build"/bench/bench_*; do
    if [[ -f "$bench" && -x "$bench" ]]; then
        echo "== $(basename "$bench")"
        "$bench"
    fi
done
echo "== copy against ffmpeg, whole processes"
bash "$(dirname "$0")/make_video_against_ffmpeg.sh" "$build" copy
echo "== H.264 MP4 against ffmpeg, whole processes"
bash "$(dirname "$0")/make_video_against_ffmpeg.sh" "$build" h264 300 3
echo "== deflicker against ffmpeg, quality and whole processes"
bash "$(dirname "$0")/deflicker_against_ffmpeg.sh" "$build"
echo "== one frame a day out of a season, against a stat of every frame"
bash "$(dirname "$0")/choose_frames.sh" "$build"
echo "== a day's video (2,880 1080p frames to H.264) against ffmpeg, whole processes"
bash "$(dirname "$0")/daily_against_ffmpeg.sh" "$build"
echo "== a keogram and a contact sheet of 1,000 1080p frames against ffmpeg, whole processes"
bash "$(dirname "$0")/pictures_against_ffmpeg.sh" "$build"
echo "== the peak memory of contact sheets of 1,000 tiles of 1080p frames, whole processes"
bash "$(dirname "$0")/contact_sheet_memory.sh" "$build"
echo "== a capture's frame times while the day's video is made"
bash "$(dirname "$0")/capture_during_daily.sh" "$build"
echo "== the status page: 20 clients polling beside 100 idle connections, 100,000 frames"
bash "$(dirname "$0")/serve_load.sh" "$build"
echo "== the watcher: a stall told, a frame on MQTT, its memory over an hour of broker restarts"
bash "$(dirname "$0")/watcher_tells.sh" "$build"
