# shellcheck shell=bash
# Sourced by the daily-video benchmarks. make_day_of_frames DIR FRAMES VORN puts a closed day of
# camera-like frames in DIR/frames: FRAMES noisy 1080p JPEGs (about 350 KB each, as a camera's
# are), their file times, the capture times Vorn reads from frames without EXIF, spread evenly over
# the day three days ago; and a settings file in DIR/config naming that folder, its frame count
# past those frames. Sets `day` (YYYY-MM-DD) and `vorn_run`, the command that starts VORN as a
# timer does: a bare environment, those settings.
make_day_of_frames() {
    local dir=$1 frames=$2 vorn=$3
    mkdir -p "$dir/frames" "$dir/config/Brimlow"
    ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25,noise=alls=10:allf=t" \
        -frames:v "$frames" -q:v 4 -start_number 10001 "$dir/frames/pic_%d.jpg"
    day=$(date -d '3 days ago' +%F)
    perl -e '
        my ($folder, $count, $start, $end) = @ARGV;
        for my $i (0 .. $count - 1) {
            my $t = $start + int(($end - $start) * ($i + 0.5) / $count);
            utime($t, $t, sprintf("%s/pic_%d.jpg", $folder, 10001 + $i)) or die;
        }' "$dir/frames" "$frames" "$(date -d "$day 00:00" +%s)" \
        "$(date -d "$(date -d "$day 12:00 1 day" +%F) 00:00" +%s)"
    printf '%s\n' '[General]' "AUTO_START_DIR=$dir/frames/" AUTO_START_ON_OFF=0 \
        "AUTO_START_FRAME_COUNT=$frames" CAM_REF=0 RESOLUTION_REF=1 \
        > "$dir/config/Brimlow/Vorn.conf"
    # shellcheck disable=SC2034  # read by the benchmark that sourced this file
    vorn_run=(env -i PATH=/usr/bin:/bin HOME="$dir" XDG_CONFIG_HOME="$dir/config" "$vorn")
}

# bench_day_of_frames BUILD_DIR FRAMES: a temporary DIR (removed on exit) with such a day made by
# BUILD_DIR's vorn, its frames read once so that every run finds them cached; sets `dir` too and
# prints the frames' count, size and day.
bench_day_of_frames() {
    local vorn
    vorn="$(cd "$1" && pwd)/vorn"
    dir=$(mktemp -d)
    trap 'rm -rf "$dir"' EXIT
    make_day_of_frames "$dir" "$2" "$vorn"
    echo "$2 frames of $(( $(du -sk "$dir/frames" | cut -f1) / $2 )) KB over $day"
    cat "$dir"/frames/pic_*.jpg > /dev/null
}

# The middle of the numbers given (the lower of the two middles of an even count).
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
