#!/usr/bin/env bash
# The status page as a browser shows it: `vorn --serve` on a small frame folder, the page loaded in
# headless Chromium, and the figures it shows compared with the folder's. Usage:
#   serve_browser.sh VORN
set -euo pipefail
vorn=$(realpath "${1:?usage: serve_browser.sh VORN}")
dir=$(mktemp -d)
server=

stop_server() {
    if [[ -n $server ]]; then
        kill "$server" 2> /dev/null || true
        for _ in $(seq 50); do
            kill -0 "$server" 2> /dev/null || break
            sleep 0.1
        done
        kill -KILL "$server" 2> /dev/null || true
        wait "$server" 2> /dev/null || true
        server=
    fi
}
trap 'stop_server; rm -rf "$dir"' EXIT

fail() {
    echo "serve_browser: $*" >&2
    [[ -s $dir/server.err ]] && sed 's/^/server: /' "$dir/server.err" >&2
    exit 1
}

# Four 640x360 frames taken now, the third black (a video leaves it out), a video beside them
# whose name needs escaping in a URL, yesterday's video and keogram in days/, and files the page
# never lists.
frames=$dir/frames
mkdir -p "$frames/days" "$dir/config/Brimlow"
started=$(date +%F)
yesterday=$(date -d yesterday +%F)
ffmpeg -v error -f lavfi -i "testsrc2=size=640x360:rate=1" -frames:v 4 -q:v 4 \
    -start_number 10001 "$frames/pic_%d.jpg"
ffmpeg -v error -y -f lavfi -i "color=black:size=640x360" -frames:v 1 -q:v 4 \
    "$frames/pic_10003.jpg"
ffmpeg -v error -f lavfi -i "testsrc2=size=320x180:rate=10" -t 1 -c:v mpeg4 \
    "$frames/my clip.mp4"
cp "$frames/my clip.mp4" "$frames/days/$yesterday.mp4"
cp "$frames/pic_10001.jpg" "$frames/days/$yesterday-keogram.jpg"
cp "$frames/my clip.mp4" "$frames/.hidden.mp4"
ln -s /etc/hostname "$frames/linked.mp4"
touch -d "@$(date +%s)" "$frames"/pic_*.jpg
printf '%s\n' '[General]' "AUTO_START_DIR=$frames/" > "$dir/config/Brimlow/Vorn.conf"

env -i PATH=/usr/bin:/bin HOME="$dir" XDG_CONFIG_HOME="$dir/config" \
    "$vorn" --serve --listen 127.0.0.1:0 --dir "$frames" > "$dir/server.out" 2> "$dir/server.err" &
server=$!
url=
for _ in $(seq 300); do
    url=$(sed -n 's|^vorn: serving \(http://127\.0\.0\.1:[0-9]*/\)$|\1|p' "$dir/server.out")
    [[ -n $url ]] && break
    kill -0 "$server" 2> /dev/null || fail "vorn --serve ended before it served"
    sleep 0.1
done
[[ -n $url ]] || fail "vorn --serve told no address in 30 s"

# Virtual time runs the page's polls without waiting for them in real time. A container's small
# /dev/shm would crash the renderer: it writes to /tmp instead.
timeout 90 chromium --headless --no-sandbox --disable-gpu --disable-dev-shm-usage \
    --user-data-dir="$dir/chromium" --virtual-time-budget=15000 --dump-dom "$url" \
    > "$dir/page.html" 2> "$dir/chromium.err" ||
    fail "chromium failed: $(tail -3 "$dir/chromium.err")"

expect() {
    grep -qF -- "$1" "$dir/page.html" || fail "the page lacks $1"
}
refuse() {
    if grep -qF -- "$1" "$dir/page.html"; then
        fail "the page shows $1"
    fi
}
expect '<title>Vorn</title>'
expect '<dd id="frames">4 frames</dd>'
# No trouble: the section stays hidden.
expect '<section id="troubles" class="troubles" role="alert" hidden="">'
latest=$(grep -o '<img[^>]*id="latest"[^>]*>' "$dir/page.html") || fail "the page has no img#latest"
[[ $latest == *'data-loaded="640x360"'* ]] || fail "the latest frame did not load: $latest"
expect 'href="/videos/my%20clip.mp4"'
expect "href=\"/videos/days/$yesterday.mp4\""
expect "src=\"/days/$yesterday-keogram.jpg\""
refuse 'hidden.mp4'
refuse 'linked.mp4'
connection=$(grep -o '<p id="connection"[^>]*>' "$dir/page.html") || fail "the page has no #connection"
[[ $connection == *hidden* ]] || fail "the page says it has no connection"
# The day may have turned while the test ran; then the black frame is yesterday's.
if [[ $(date +%F) == "$started" ]]; then
    expect '<dd id="left-out">1 frame</dd>'
fi

# The links the page gives lead to the files.
size=$(curl -sf -o /dev/null -w '%{size_download}' "${url}videos/my%20clip.mp4") ||
    fail "the video's link fails"
[[ $size == $(stat -c %s "$frames/my clip.mp4") ]] || fail "the video's link gave $size bytes"
echo "serve_browser: the page shows the folder"
