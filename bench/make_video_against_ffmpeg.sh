#!/usr/bin/env bash
# A video as a user waits for it: `vorn --make-video` against FFmpeg making the same video from
# the same camera-like 1080p JPEGs, as whole processes, taken in turn (A B A B), each output
# removed and the disk settled before each run. KIND is `copy` (Motion JPEG AVI, the frames copied:
# `ffmpeg -c:v copy`) or `h264` (an H.264 MP4 with the encoder's defaults, as Vorn makes it:
# `ffmpeg -c:v libx264 -pix_fmt yuv420p -movflags +faststart`). Prints every time, the medians and
# their ratio (ffmpeg / vorn: 1.0 is as fast as FFmpeg).
#   bench/make_video_against_ffmpeg.sh BUILD_DIR [KIND] [FRAMES] [RUNS]
set -euo pipefail
build="${1:?usage: bench/make_video_against_ffmpeg.sh BUILD_DIR [KIND] [FRAMES] [RUNS]}"
kind="${2:-copy}"
frames="${3:-1000}"
runs="${4:-7}"
case "$kind" in
    copy) ffmpeg_codec=(-c:v copy); output=out.avi; vorn_output=output.avi ;;
    h264) ffmpeg_codec=(-c:v libx264 -pix_fmt yuv420p -movflags +faststart); output=out.mp4
          vorn_output=output.mp4 ;;
    *) echo "KIND is copy or h264" >&2; exit 2 ;;
esac
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
    rm -f "$dir/$output" "$dir/$vorn_output"; sync
    ffmpeg_times+=("$(seconds ffmpeg -v error -framerate 25 -start_number 10001 -i "$dir/pic_%d.jpg" \
        "${ffmpeg_codec[@]}" -y "$dir/$output")")
    rm -f "$dir/$output" "$dir/$vorn_output"; sync
    vorn_times+=("$(seconds env -i PATH=/usr/bin:/bin HOME="$dir" "$vorn" --make-video --dir "$dir" \
        --end "$frames" --output "$vorn_output")")
done
echo "ffmpeg ${ffmpeg_codec[*]}: ${ffmpeg_times[*]}"
echo "vorn --make-video: ${vorn_times[*]}"
f=$(median "${ffmpeg_times[@]}"); v=$(median "${vorn_times[@]}")
echo "median ffmpeg $f s, vorn $v s, ratio $(echo "scale=2; $f / $v" | bc)"
