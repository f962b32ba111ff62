#!/usr/bin/env bash
# Makes a video over 4 GB with `vorn --make-video` from generated 1920x1080 frames and checks it
# with ffprobe: frame count, size, rate, and a frame read from its end through the OpenDML index.
# Not part of `make test`: it needs about 5 GB of free disk and a few minutes.
# Usage: bench/make_big_video.sh BUILD_DIR [WORK_DIR]   (WORK_DIR is removed afterwards)
set -euo pipefail
build="${1:?usage: bench/make_big_video.sh BUILD_DIR [WORK_DIR]}"
vorn="$(cd "$build" && pwd)/vorn"
work="${2:-$(mktemp -d)}"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

# 100 distinct noisy frames at the best JPEG quality, about 1.5 MB each, then as many numbered
# frames (hard links to them) as it takes to pass 4.5 GB.
distinct=100
ffmpeg -v error -f lavfi -i "color=c=gray:s=1920x1080:r=25,noise=alls=100:allf=t+u" \
    -frames:v "$distinct" -q:v 1 "$work/distinct_%d.jpg"
total=$(du -cb "$work"/distinct_*.jpg | tail -1 | cut -f1)
count=$(( 4500000000 * distinct / total + 1 ))
for (( i = 0; i < count; i++ )); do
    ln "$work/distinct_$(( i % distinct + 1 )).jpg" "$work/pic_$(( 10001 + i )).jpg"
done
echo "frames: $count of 1920x1080, $(( total / distinct )) bytes on average"

start=$(date +%s.%N)
"$vorn" --make-video --dir "$work" --end "$count" --fps 25
end=$(date +%s.%N)
bytes=$(stat -c %s "$work/output.avi")
awk -v b="$bytes" -v s="$start" -v e="$end" -v n="$count" \
    'BEGIN { printf "output.avi: %s bytes in %.1f s (%.1f frames/s)\n", b, e - s, n / (e - s) }'

probe=$(ffprobe -v error -select_streams v:0 -count_packets \
    -show_entries stream=nb_read_packets,width,height,r_frame_rate -of default=nw=1 \
    "$work/output.avi")
echo "$probe"
last=$(ffmpeg -v error -sseof -1 -i "$work/output.avi" -frames:v 1 -f framemd5 - | grep -c '^0,')
status=0
(( bytes > 4294967296 )) || { echo "FAIL: not over 4 GB"; status=1; }
grep -qx "nb_read_packets=$count" <<<"$probe" || { echo "FAIL: frame count"; status=1; }
if ! grep -qx "width=1920" <<<"$probe" || ! grep -qx "height=1080" <<<"$probe"; then
    echo "FAIL: size"
    status=1
fi
grep -qx "r_frame_rate=25/1" <<<"$probe" || { echo "FAIL: rate"; status=1; }
(( last == 1 )) || { echo "FAIL: no frame decoded at the end"; status=1; }
(( status == 0 )) && echo "OK: a valid AVI over 4 GB"
exit $status
