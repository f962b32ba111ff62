#!/usr/bin/env bash
# A day at a glance: `vorn --keogram` and `vorn --contact-sheet` over FRAMES camera-like 1080p
# JPEGs against FFmpeg making the like of each from the same frames, as whole processes taken in
# turn (A B A B), each output removed before each run:
#   - keogram: FFmpeg crops the centre two columns of every frame and tiles them side by side
#     (`crop=2:ih:iw/2:0,tile=FRAMESx1`); Vorn averages the centre four columns of the frame
#     nearest each time slot and draws the hour ticks;
#   - contact sheet: FFmpeg selects every 42nd frame, scales it to 320 pixels across and tiles
#     6x4 (`select='not(mod(n\,42))',scale=320:-1,tile=6x4`); Vorn makes 24 slots, 6 across, the
#     frame nearest each slot's middle, its time under it.
# Both write a JPEG. Prints every time, the medians and their ratio (ffmpeg / vorn: 3.0 is three
# times as fast as FFmpeg).
#   bench/pictures_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]
set -euo pipefail
build="${1:?usage: bench/pictures_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]}"
frames="${2:-1000}"
runs="${3:-3}"
source "$(dirname "$0")/day_of_frames.sh"
bench_day_of_frames "$build" "$frames"
seconds() { /usr/bin/time -f '%e' -o "$dir/measure" "$@" > "$dir/said" 2>&1; cat "$dir/measure"; }
ffmpeg_in=(ffmpeg -v error -start_number 10001 -i "$dir/frames/pic_%d.jpg" -frames:v 1 -y)
# compare NAME FFMPEG_FILTER VORN_OPTION...: the times of both, and the ratio of their medians.
compare() {
    local name=$1 filter=$2; shift 2
    local ffmpeg_times=() vorn_times=()
    for _ in $(seq "$runs"); do
        rm -f "$dir/ffmpeg.jpg" "$dir/vorn.jpg"
        ffmpeg_times+=("$(seconds "${ffmpeg_in[@]}" -vf "$filter" "$dir/ffmpeg.jpg")")
        vorn_times+=("$(seconds "${vorn_run[@]}" "$@" "$dir/vorn.jpg")")
        [[ -s "$dir/vorn.jpg" ]] || { echo "vorn made no $name" >&2; cat "$dir/said" >&2; exit 1; }
    done
    local f v
    f=$(median "${ffmpeg_times[@]}")
    v=$(median "${vorn_times[@]}")
    echo "$name: $(head -c 200 "$dir/said")"
    echo "$name: ffmpeg ${ffmpeg_times[*]} s, vorn ${vorn_times[*]} s;" \
        "median ffmpeg $f s, vorn $v s, ratio $(echo "scale=2; $f / $v" | bc)"
}
compare keogram "crop=2:ih:iw/2:0,tile=${frames}x1" --keogram
compare "contact sheet" "select='not(mod(n\,42))',scale=320:-1,tile=6x4" --tiles 24 \
    --contact-sheet
