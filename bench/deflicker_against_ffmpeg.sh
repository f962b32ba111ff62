#!/usr/bin/env bash
# The deflicker against FFmpeg's deflicker filter (window 15), in one run:
#  - quality: on a 1080p brightness ramp with random flicker of 3 % a frame and sensor noise, and
#    on a copy with three frames at a third of their brightness, both tools' output is measured
#    (mean luma of each frame, by ffprobe's signalstats) against the true brightness: jitter (RMS
#    of the frame-to-frame changes the true ramp does not have), RMS distance, and on the copy
#    the distance within half a window of the dark frames against elsewhere;
#  - speed: decoding, deflickering and encoding the frames as whole processes, taken in turn
#    (A B A B), each output removed and the disk settled before each run; the medians and their
#    ratio (ffmpeg / vorn: above 1.0 is faster than FFmpeg).
#   bench/deflicker_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]
set -euo pipefail
build="${1:?usage: bench/deflicker_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]}"
frames="${2:-1000}"
runs="${3:-3}"
build="$(cd "$build" && pwd)"
vorn="$build/vorn"
tool="$build/bench/flicker_frames"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
dark=("$((frames / 4))" "$((frames / 2))" "$((frames * 3 / 4))")
"$tool" make "$dir" "$frames" "${dark[@]}"
echo "$frames frames of $(( $(du -sk "$dir/flicker" | cut -f1) / frames )) KB, dark frames ${dark[*]}"

run_ffmpeg() {
    ffmpeg -v error -framerate 25 -start_number 10001 -i "$1/pic_%d.jpg" -vf deflicker=s=15 \
        -c:v mjpeg -y "$dir/ffmpeg.avi"
}
run_vorn() {
    env -i PATH=/usr/bin:/bin HOME="$dir" "$vorn" --make-video --dir "$1" --end "$frames" \
        --deflicker
}
lumas() {
    ffprobe -v error -f lavfi -i "movie=$1,signalstats" \
        -show_entries frame_tags=lavfi.signalstats.YAVG -of csv=p=0
}

echo "== quality (mean luma, levels of 255)"
for sequence in flicker dark; do
    marks=()
    [[ $sequence == dark ]] && marks=("${dark[@]}")
    run_ffmpeg "$dir/$sequence"
    lumas "$dir/ffmpeg.avi" > "$dir/ffmpeg.txt"
    run_vorn "$dir/$sequence"
    lumas "$dir/$sequence/output.avi" > "$dir/vorn.txt"
    rm -f "$dir/ffmpeg.avi" "$dir/$sequence/output.avi"
    echo "$sequence:"
    echo "  ffmpeg deflicker=s=15  $("$tool" score "$dir/true.txt" "$dir/ffmpeg.txt" "${marks[@]}")"
    echo "  vorn --deflicker       $("$tool" score "$dir/true.txt" "$dir/vorn.txt" "${marks[@]}")"
done

echo "== speed, whole processes"
cat "$dir"/flicker/pic_*.jpg > /dev/null
seconds() { local start end; start=$(date +%s.%N); "$@"; end=$(date +%s.%N); echo "$end - $start" | bc; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
ffmpeg_times=(); vorn_times=()
for _ in $(seq "$runs"); do
    rm -f "$dir/ffmpeg.avi" "$dir/flicker/output.avi"; sync
    ffmpeg_times+=("$(seconds run_ffmpeg "$dir/flicker")")
    rm -f "$dir/ffmpeg.avi" "$dir/flicker/output.avi"; sync
    vorn_times+=("$(seconds run_vorn "$dir/flicker")")
done
echo "ffmpeg -vf deflicker=s=15 -c:v mjpeg: ${ffmpeg_times[*]}"
echo "vorn --make-video --deflicker: ${vorn_times[*]}"
f=$(median "${ffmpeg_times[@]}"); v=$(median "${vorn_times[@]}")
echo "median ffmpeg $f s, vorn $v s, ratio $(echo "scale=2; $f / $v" | bc)"
