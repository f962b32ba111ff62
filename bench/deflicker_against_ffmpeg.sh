#!/usr/bin/env bash
# The deflicker against FFmpeg's deflicker filter (window 15), in one run:
#  - quality: on 1080p brightness ramps with random flicker of 3 % a frame and sensor noise, both
#    tools' output is measured (mean luma of each frame, by ffprobe's signalstats) against the
#    true brightness: jitter (RMS of the frame-to-frame changes the true ramp does not have) and
#    RMS distance. The ramps: a sunset-fast one over QUALITY_FRAMES frames, the same with three
#    frames at a third of their brightness (then also the distance within half a window of the
#    dark frames against elsewhere), and the slow one over the FRAMES that are timed;
#  - speed: decoding, deflickering and encoding the FRAMES frames as whole processes, taken in
#    turn (A B A B), each output removed and the disk settled before each run; the medians and
#    their ratio (ffmpeg / vorn: above 1.0 is faster than FFmpeg).
#   bench/deflicker_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS] [QUALITY_FRAMES]
set -euo pipefail
build="${1:?usage: bench/deflicker_against_ffmpeg.sh BUILD_DIR [FRAMES] [RUNS] [QUALITY_FRAMES]}"
frames="${2:-1000}"
runs="${3:-3}"
quality_frames="${4:-300}"
build="$(cd "$build" && pwd)"
vorn="$build/vorn"
tool="$build/bench/flicker_frames"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
dark=("$((quality_frames / 4))" "$((quality_frames / 2))" "$((quality_frames * 3 / 4))")
"$tool" make "$dir/sunset" "$quality_frames" "${dark[@]}"
"$tool" make "$dir/slow" "$frames"
echo "$frames frames of $(( $(du -sk "$dir/slow/flicker" | cut -f1) / frames )) KB"

run_ffmpeg() {
    ffmpeg -v error -framerate 25 -start_number 10001 -i "$1/pic_%d.jpg" -vf deflicker=s=15 \
        -c:v mjpeg -y "$dir/ffmpeg.avi"
}
run_vorn() {
    env -i PATH=/usr/bin:/bin HOME="$dir" "$vorn" --make-video --dir "$1" --end "$2" --deflicker
}
lumas() {
    ffprobe -v error -f lavfi -i "movie=$1,signalstats" \
        -show_entries frame_tags=lavfi.signalstats.YAVG -of csv=p=0
}
# Both tools on the frames in $1, scored against $2 with the dark frames that follow.
compare() {
    local frames_dir="$1" truth="$2"
    shift 2
    run_ffmpeg "$frames_dir"
    lumas "$dir/ffmpeg.avi" > "$dir/ffmpeg.txt"
    run_vorn "$frames_dir" "$(find "$frames_dir" -name 'pic_*.jpg' | wc -l)"
    lumas "$frames_dir/output.avi" > "$dir/vorn.txt"
    rm -f "$dir/ffmpeg.avi" "$frames_dir/output.avi"
    echo "  ffmpeg deflicker=s=15  $("$tool" score "$truth" "$dir/ffmpeg.txt" "$@")"
    echo "  vorn --deflicker       $("$tool" score "$truth" "$dir/vorn.txt" "$@")"
}

echo "== quality (mean luma, levels of 255)"
echo "sunset, $quality_frames frames:"
compare "$dir/sunset/flicker" "$dir/sunset/true.txt"
echo "sunset with frames ${dark[*]} at a third:"
compare "$dir/sunset/dark" "$dir/sunset/true.txt" "${dark[@]}"
echo "slow ramp, $frames frames:"
compare "$dir/slow/flicker" "$dir/slow/true.txt"

echo "== speed, whole processes"
cat "$dir"/slow/flicker/pic_*.jpg > /dev/null
# Wall-clock, user and system seconds of a command.
timed() { local TIMEFORMAT='%R %U %S'; { time "$@" 2>/dev/null; } 2>&1; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
ffmpeg_wall=(); ffmpeg_cpu=(); vorn_wall=(); vorn_cpu=()
for _ in $(seq "$runs"); do
    rm -f "$dir/ffmpeg.avi" "$dir/slow/flicker/output.avi"; sync
    read -r wall user system < <(timed run_ffmpeg "$dir/slow/flicker")
    ffmpeg_wall+=("$wall"); ffmpeg_cpu+=("$(echo "$user + $system" | bc)")
    rm -f "$dir/ffmpeg.avi" "$dir/slow/flicker/output.avi"; sync
    read -r wall user system < <(timed run_vorn "$dir/slow/flicker" "$frames")
    vorn_wall+=("$wall"); vorn_cpu+=("$(echo "$user + $system" | bc)")
done
echo "ffmpeg -vf deflicker=s=15 -c:v mjpeg: ${ffmpeg_wall[*]} s (processor ${ffmpeg_cpu[*]} s)"
echo "vorn --make-video --deflicker: ${vorn_wall[*]} s (processor ${vorn_cpu[*]} s)"
f=$(median "${ffmpeg_wall[@]}"); v=$(median "${vorn_wall[@]}")
fc=$(median "${ffmpeg_cpu[@]}"); vc=$(median "${vorn_cpu[@]}")
echo "median ffmpeg $f s, vorn $v s, ratio $(echo "scale=2; $f / $v" | bc)" \
    "(processor time: ffmpeg $fc s, vorn $vc s)"
