#!/usr/bin/env bash
# A day's video as the timer makes it: `vorn --daily-videos` over a closed day of FRAMES
# camera-like 1080p JPEGs (2,880 is one every 30 s) against FFmpeg making the same H.264 MP4 from
# the same frames, as whole processes taken in turn (A B A B), each output removed and the disk
# settled before each run. FFmpeg runs twice a round:
#   - with Vorn's settings: the encoder's defaults, 4:2:0, the index in front, and what the daily
#     run sets for itself: one encoder thread fewer than the cores and a 15-frame look-ahead
#     (`-threads N-1 -x264-params rc-lookahead=15`);
#   - as it is (`-c:v libx264 -pix_fmt yuv420p -movflags +faststart`), on every core.
# Prints every time and peak resident memory (GNU time), their medians and the ratios of the times
# (ffmpeg / vorn: 1.0 is as fast as FFmpeg). Vorn also runs at nice 10 and idle I/O.
#   bench/daily_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]
set -euo pipefail
build="${1:?usage: bench/daily_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]}"
frames="${2:-2880}"
runs="${3:-3}"
source "$(dirname "$0")/day_of_frames.sh"
bench_day_of_frames "$build" "$frames"
# "SECONDS PEAK_KB" of a whole process; its standard output goes to $dir/said.
measure() { /usr/bin/time -f '%e %M' -o "$dir/measure" "$@" > "$dir/said"; cat "$dir/measure"; }
ffmpeg_day=(ffmpeg -v error -framerate 25 -start_number 10001 -i "$dir/frames/pic_%d.jpg"
    -c:v libx264 -pix_fmt yuv420p -movflags +faststart -y)
threads=$(( $(nproc) > 1 ? $(nproc) - 1 : 1 ))
same_times=(); same_peaks=(); ffmpeg_times=(); ffmpeg_peaks=(); vorn_times=(); vorn_peaks=()
for _ in $(seq "$runs"); do
    rm -rf "$dir/out.mp4" "$dir/frames/days"; sync
    read -r seconds peak < <(measure "${ffmpeg_day[@]}" -threads "$threads" \
        -x264-params rc-lookahead=15 "$dir/out.mp4")
    same_times+=("$seconds"); same_peaks+=("$peak")
    rm -rf "$dir/out.mp4" "$dir/frames/days"; sync
    read -r seconds peak < <(measure "${ffmpeg_day[@]}" "$dir/out.mp4")
    ffmpeg_times+=("$seconds"); ffmpeg_peaks+=("$peak")
    rm -rf "$dir/out.mp4" "$dir/frames/days"; sync
    read -r seconds peak < <(measure "${vorn_run[@]}" --daily-videos)
    vorn_times+=("$seconds"); vorn_peaks+=("$peak")
    [[ -s "$dir/frames/days/$day.mp4" ]] || { echo "vorn made no $day.mp4" >&2; exit 1; }
done
cat "$dir/said"
echo "ffmpeg with vorn's settings ($threads threads): ${same_times[*]} s, peak ${same_peaks[*]} KB"
echo "ffmpeg as it is: ${ffmpeg_times[*]} s, peak ${ffmpeg_peaks[*]} KB"
echo "vorn --daily-videos: ${vorn_times[*]} s, peak ${vorn_peaks[*]} KB"
v=$(median "${vorn_times[@]}")
for kind in same ffmpeg; do
    declare -n times="${kind}_times" peaks="${kind}_peaks"
    f=$(median "${times[@]}")
    echo "$kind: median ffmpeg $f s, vorn $v s, ratio $(echo "scale=2; $f / $v" | bc);" \
        "peak memory ffmpeg $(( $(median "${peaks[@]}") / 1024 )) MB," \
        "vorn $(( $(median "${vorn_peaks[@]}") / 1024 )) MB"
done
