#!/usr/bin/env bash
# The copy path as a user waits for it: `vorn --make-video` against
# `ffmpeg -c:v copy` on the same camera-like 1080p JPEGs, as whole processes, taken in turn
# (A B A B), each output removed and the disk settled before each run. Prints every time, the
# medians and their ratio (ffmpeg / vorn: 1.0 is as fast as FFmpeg).
#   bench/copy_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]
set -euo pipefail
build="${1:?usage: bench/copy_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS]}"
frames="${2:-1000}"
runs="${3:-7}"
vorn="$(cd "$build" && pwd)/vorn"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# Sensor noise makes camera frames large (a few hundred kilobytes at 1080p).
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25,noise=alls=8:allf=t" \
    -frames:v "$frames" -q:v 4 -start_number 10001 "$dir/pic_%d.jpg"
echo "$frames frames of $(( $(du -sk "$dir" | cut -f1) / frames )) KB"
cat "$dir"/pic_*.jpg > /dev/null
seconds() { local start end; start=$(date +%s.%N); "$@"; end=$(date +%s.%N); echo "$end - $start" | bc; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
ffmpeg_times=(); vorn_times=()
for _ in $(seq "$runs"); do
    rm -f "$dir/out.avi" "$dir/output.avi"; sync
    ffmpeg_times+=("$(seconds ffmpeg -v error -framerate 25 -start_number 10001 -i "$dir/pic_%d.jpg" \
        -c:v copy -y "$dir/out.avi")")
    rm -f "$dir/out.avi" "$dir/output.avi"; sync
    vorn_times+=("$(seconds env -i PATH=/usr/bin:/bin HOME="$dir" "$vorn" --make-video --dir "$dir" \
        --end "$frames")")
done
echo "ffmpeg -c:v copy: ${ffmpeg_times[*]}"
echo "vorn --make-video: ${vorn_times[*]}"
f=$(median "${ffmpeg_times[@]}"); v=$(median "${vorn_times[@]}")
echo "median ffmpeg $f s, vorn $v s, ratio $(echo "scale=2; $f / $v" | bc)"
