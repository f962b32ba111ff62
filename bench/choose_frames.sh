#!/usr/bin/env bash
# Choosing one frame a day out of a season: `vorn --make-video --daily-at 12:00 --list` over
# FRAMES small frames a minute apart (about 70 days at 100,000), each with its capture time in its
# EXIF and as its file time, as Vorn saves them, against a stat of every frame of the folder
# (`find -printf '%T@'`), in turn (A B A B) with the files in the page cache. Prints every time,
# the medians, and the peak memory of the choice against that of the same command over one frame
# (resident, from GNU time; the heap's, from valgrind's massif where it is installed).
#   bench/choose_frames.sh BUILD_DIR [FRAMES] [RUNS]
set -euo pipefail
build="${1:?usage: bench/choose_frames.sh BUILD_DIR [FRAMES] [RUNS]}"
frames="${2:-100000}"
runs="${3:-5}"
vorn="$(cd "$build" && pwd)/vorn"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/season" "$dir/one"
ffmpeg -v error -f lavfi -i "testsrc2=size=64x48" -frames:v 1 -q:v 8 -y "$dir/template.jpg"
exiftool -q -overwrite_original -DateTimeOriginal="2026:01:01 00:00:00" \
    -OffsetTimeOriginal="+00:00" -SubSecTimeOriginal=000 "$dir/template.jpg"
# Each frame a copy of the template with its own time in place of the template's.
TZ=UTC perl -e '
    my ($template, $folder, $count) = @ARGV;
    open(my $in, "<:raw", $template) or die; local $/; my $bytes = <$in>;
    my $at = index($bytes, "2026:01:01 00:00:00"); die "no time in the template" if $at < 0;
    my $start = 1767225600;  # 2026-01-01 00:00 UTC
    for my $i (0 .. $count - 1) {
        my $t = $start + 60 * $i + 7;
        my @c = gmtime($t);
        substr($bytes, $at, 19) = sprintf("%04d:%02d:%02d %02d:%02d:%02d",
            $c[5] + 1900, $c[4] + 1, $c[3], $c[2], $c[1], $c[0]);
        my $path = sprintf("%s/pic_%d.jpg", $folder, 10001 + $i);
        open(my $out, ">:raw", $path) or die; print $out $bytes; close $out;
        utime($t, $t, $path);
    }' "$dir/template.jpg" "$dir/season" "$frames"
cp -p "$dir/season/pic_10001.jpg" "$dir/one/"
echo "$frames frames of $(stat -c %s "$dir/template.jpg") bytes"
find "$dir/season" -name 'pic_*.jpg' -exec cat {} + > /dev/null
choose() { env -i PATH=/usr/bin:/bin HOME="$dir" TZ=UTC "$vorn" --make-video --dir "$1" \
    --daily-at 12:00 --list; }
seconds() { local start end; start=$(date +%s.%N); "$@" > /dev/null; end=$(date +%s.%N)
    echo "$end - $start" | bc; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
choose "$dir/season" | tail -n 1
vorn_times=(); stat_times=()
for _ in $(seq "$runs"); do
    vorn_times+=("$(seconds choose "$dir/season")")
    stat_times+=("$(seconds find "$dir/season" -name 'pic_*.jpg' -printf '%T@\n')")
done
echo "vorn --daily-at 12:00 --list: ${vorn_times[*]}"
echo "find -printf %T@: ${stat_times[*]}"
echo "median vorn $(median "${vorn_times[@]}") s, stat of every frame $(median "${stat_times[@]}") s"
peak() { /usr/bin/time -f %M env -i PATH=/usr/bin:/bin HOME="$dir" TZ=UTC "$vorn" --make-video \
    --dir "$1" --daily-at 12:00 --list 2>&1 >/dev/null | tail -n 1; }
season=$(peak "$dir/season"); one=$(peak "$dir/one")
echo "peak resident memory: $season KB over $frames frames, $one KB over one frame:" \
    "$(( (season - one) * 1024 / frames )) bytes a frame"
# The resident peak of the start (libraries, settings) hides part of the frames' memory; the
# heap's own peak, where valgrind is installed, counts all of it.
if command -v valgrind > /dev/null; then
    heap() { HOME="$dir" TZ=UTC valgrind -q --tool=massif --massif-out-file="$dir/massif" "$vorn" \
        --make-video --dir "$1" --daily-at 12:00 --list > /dev/null
        sed -n 's/^mem_heap_B=//p' "$dir/massif" | sort -n | tail -n 1; }
    season=$(heap "$dir/season"); one=$(heap "$dir/one")
    echo "peak heap: $season bytes over $frames frames, $one over one frame:" \
        "$(( (season - one) / frames )) bytes a frame"
fi
