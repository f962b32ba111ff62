#!/usr/bin/env bash
# The memory a large contact sheet takes: `vorn --contact-sheet` over FRAMES camera-like 1080p
# JPEGs, each sheet as a whole process measured by /usr/bin/time (its maximum resident set size
# and its time):
#   - 1,000 tiles in one column as a PNG, 212,008 pixels tall (a 1080p tile is 180 high), whose
#     pixels alone would be 214 MB;
#   - 1,000 tiles 100 across as a JPEG, 32,808 by 2,128 pixels (209 MB of pixels);
#   - 24 tiles 6 across as a JPEG, a day's sheet, for comparison.
# Each line gives the peak against the bound of 150 MB, the time and the file's size.
#   bench/contact_sheet_memory.sh BUILD_DIR [FRAMES]
set -euo pipefail
build="${1:?usage: bench/contact_sheet_memory.sh BUILD_DIR [FRAMES]}"
frames="${2:-1000}"
bound_kb=$(( 150 * 1024 ))
source "$(dirname "$0")/day_of_frames.sh"
bench_day_of_frames "$build" "$frames"
# sheet NAME VORN_OPTION...: one sheet made, and its peak memory, time and size.
sheet() {
    local name=$1; shift
    rm -f "$dir/$name"
    /usr/bin/time -f '%M %e' -o "$dir/measure" "${vorn_run[@]}" --contact-sheet "$dir/$name" "$@" \
        > "$dir/said" 2>&1 || { echo "vorn made no $name" >&2; cat "$dir/said" >&2; exit 1; }
    local kb seconds verdict=within
    read -r kb seconds < "$dir/measure"
    (( kb <= bound_kb )) || verdict=OVER
    echo "$name ($*): peak $(( kb / 1024 )) MB, $verdict the bound of 150 MB; ${seconds} s;" \
        "$(( $(stat -c %s "$dir/$name") / 1024 )) KB"
}
sheet tall.png --tiles 1000 --columns 1
sheet wide.jpg --tiles 1000 --columns 100
sheet day.jpg --tiles 24 --columns 6
