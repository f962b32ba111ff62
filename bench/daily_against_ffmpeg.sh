#!/usr/bin/env bash
# A day's video as the timer makes it: `vorn --daily-videos` over a closed day of FRAMES
# camera-like 1080p JPEGs (2,880 is one every 30 s) against FFmpeg making the same H.264 MP4 from
# the same frames with the settings of Vorn's H.264 (the encoder's defaults, 4:2:0, the index in
# front: `ffmpeg -c:v libx264 -pix_fmt yuv420p -movflags +faststart`), as whole processes taken in
# turn (A B A B), each output removed and the disk settled before each run. Prints every time and
# peak resident memory (GNU time), their medians and the ratio of the times (ffmpeg / vorn: 1.0 is
# as fast as FFmpeg). Vorn runs as it lowers itself (nice 10, idle I/O, one encoder thread fewer
# than the cores), FFmpeg as it is: on a busy machine that alone slows Vorn down.
#   bench/daily_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]
set -euo pipefail
build="${1:?usage: bench/daily_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]}"
frames="${2:-2880}"
runs="${3:-3}"
vorn="$(cd "$build" && pwd)/vorn"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
source "$(dirname "$0")/day_of_frames.sh"
make_day_of_frames "$dir" "$frames" "$vorn"
echo "$frames frames of $(( $(du -sk "$dir/frames" | cut -f1) / frames )) KB over $day"
cat "$dir"/frames/pic_*.jpg > /dev/null
# "SECONDS PEAK_KB" of a whole process; its standard output goes to $dir/said.
measure() { /usr/bin/time -f '%e %M' -o "$dir/measure" "$@" > "$dir/said"; cat "$dir/measure"; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
ffmpeg_times=(); ffmpeg_peaks=(); vorn_times=(); vorn_peaks=()
for _ in $(seq "$runs"); do
    rm -rf "$dir/out.mp4" "$dir/frames/days"; sync
    read -r seconds peak < <(measure ffmpeg -v error -framerate 25 -start_number 10001 \
        -i "$dir/frames/pic_%d.jpg" -c:v libx264 -pix_fmt yuv420p -movflags +faststart \
        -y "$dir/out.mp4")
    ffmpeg_times+=("$seconds"); ffmpeg_peaks+=("$peak")
    rm -rf "$dir/out.mp4" "$dir/frames/days"; sync
    read -r seconds peak < <(measure "${vorn_run[@]}" --daily-videos)
    vorn_times+=("$seconds"); vorn_peaks+=("$peak")
    [[ -s "$dir/frames/days/$day.mp4" ]] || { echo "vorn made no $day.mp4" >&2; exit 1; }
done
cat "$dir/said"
echo "ffmpeg -c:v libx264: ${ffmpeg_times[*]} s, peak ${ffmpeg_peaks[*]} KB"
echo "vorn --daily-videos: ${vorn_times[*]} s, peak ${vorn_peaks[*]} KB"
f=$(median "${ffmpeg_times[@]}"); v=$(median "${vorn_times[@]}")
echo "median ffmpeg $f s, vorn $v s, ratio $(echo "scale=2; $f / $v" | bc);" \
    "peak memory ffmpeg $(( $(median "${ffmpeg_peaks[@]}") / 1024 )) MB," \
    "vorn $(( $(median "${vorn_peaks[@]}") / 1024 )) MB"
