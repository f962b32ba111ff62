#!/usr/bin/env bash
# The status page under load: `vorn --serve` on a folder of 100,000 frames, 100 idle connections
# held open beside 20 clients that each ask for /status.json every 0.5 s for SECONDS (default 60).
# Prints how long the server took to be ready, the latency of /status.json (p50, p95, max), the
# requests answered and failed, and the server's resident memory sampled every 10 s (first, last,
# peak).
#   bench/serve_load.sh BUILD_DIR [SECONDS]
set -euo pipefail
vorn="$(cd "${1:?usage: bench/serve_load.sh BUILD_DIR [SECONDS]}" && pwd)/vorn"
seconds=${2:-60}
frame_count=100000
per_day=2880 # a frame every 30 s
clients=20
idle=100
dir=$(mktemp -d)
server=
idle_fds=()

cleanup() {
    local fd
    for fd in "${idle_fds[@]}"; do
        exec {fd}>&-
    done
    if [[ -n $server ]]; then
        kill "$server" 2> /dev/null || true
        for _ in $(seq 50); do
            kill -0 "$server" 2> /dev/null || break
            sleep 0.1
        done
        kill -KILL "$server" 2> /dev/null || true
        wait "$server" 2> /dev/null || true
    fi
    rm -rf "$dir"
}
trap cleanup EXIT

# One camera-like 1080p JPEG (as day_of_frames.sh makes them), a copy of it for each day the
# frames span, and the frames hard links of their day's copy, so that 100,000 frames take the
# disk of a few dozen. A day's frames share its copy's time: the day's noon, today's an hour ago.
mkdir -p "$dir/frames/days" "$dir/copies" "$dir/config/Brimlow"
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25,noise=alls=10:allf=t" \
    -frames:v 1 -q:v 4 "$dir/copies/one.jpg"
perl -MFile::Copy=copy -e '
    my ($dir, $count, $perDay, $now) = @ARGV;
    my $days = int(($count + $perDay - 1) / $perDay);
    for my $i (0 .. $count - 1) {
        my $day = int($i / $perDay);
        my $copy = "$dir/copies/day$day.jpg";
        if ($i % $perDay == 0) {
            my $age = $days - 1 - $day;
            my $time = $age == 0 ? $now - 3600 : $now - $age * 86400 - ($now % 86400) + 43200;
            copy("$dir/copies/one.jpg", $copy) or die;
            utime($time, $time, $copy) or die;
        }
        link($copy, sprintf("%s/frames/pic_%d.jpg", $dir, 10001 + $i)) or die;
    }' "$dir" "$frame_count" "$per_day" "$(date +%s)"
ffmpeg -v error -f lavfi -i "testsrc2=size=640x360:rate=25" -t 4 -c:v mpeg4 \
    "$dir/frames/season.mp4"
for days_ago in 1 2 3; do
    day=$(date -d "$days_ago days ago" +%F)
    cp "$dir/frames/season.mp4" "$dir/frames/days/$day.mp4"
    cp "$dir/copies/one.jpg" "$dir/frames/days/$day-keogram.jpg"
    cp "$dir/copies/one.jpg" "$dir/frames/days/$day-sheet.jpg"
done
printf '%s\n' '[General]' "AUTO_START_DIR=$dir/frames/" > "$dir/config/Brimlow/Vorn.conf"
echo "$frame_count frames of $(( $(stat -c %s "$dir/copies/one.jpg") / 1024 )) KB over" \
    "$(( (frame_count + per_day - 1) / per_day )) days, hard links of one picture a day"

started=$(date +%s.%N)
env -i PATH=/usr/bin:/bin HOME="$dir" XDG_CONFIG_HOME="$dir/config" \
    "$vorn" --serve --listen 127.0.0.1:0 --dir "$dir/frames" > "$dir/server.out" \
    2> "$dir/server.err" &
server=$!
port=
for _ in $(seq 3000); do
    port=$(sed -n 's|^vorn: serving http://127\.0\.0\.1:\([0-9]*\)/$|\1|p' "$dir/server.out")
    [[ -n $port ]] && break
    if ! kill -0 "$server" 2> /dev/null; then
        cat "$dir/server.err" >&2
        exit 1
    fi
    sleep 0.1
done
[[ -n $port ]] || { echo "vorn --serve told no address in 300 s" >&2; exit 1; }
echo "ready to serve after $(echo "$(date +%s.%N) - $started" | bc | xargs printf '%.1f') s"

# The server closes a connection idle for 10 s: the idle ones are opened afresh every 5 s, so that
# there are always about 100.
open_idle() {
    local fd
    for fd in "${idle_fds[@]}"; do
        exec {fd}>&-
    done
    idle_fds=()
    for _ in $(seq "$idle"); do
        exec {fd}<> "/dev/tcp/127.0.0.1/$port"
        idle_fds+=("$fd")
    done
}
open_idle

# Each client is one curl that asks twice a second over one connection, as a page's polls do.
requests=$(( seconds * 2 ))
for _ in $(seq "$requests"); do
    printf 'url = "http://127.0.0.1:%s/status.json"\noutput = "/dev/null"\n' "$port"
done > "$dir/client.conf"
client_pids=()
for client in $(seq "$clients"); do
    curl -s --rate 2/s --max-time 10 -K "$dir/client.conf" -w '%{http_code} %{time_total}\n' \
        > "$dir/client$client.log" &
    client_pids+=("$!")
done
memory=()
for (( at = 0; at <= seconds; at += 5 )); do
    (( at % 10 == 0 )) && memory+=("$(ps -o rss= -p "$server" | tr -d ' ')")
    if (( at + 5 <= seconds )); then
        sleep 5
        open_idle
    fi
done
wait "${client_pids[@]}" || true

answered=$(cat "$dir"/client*.log | awk '$1 == 200' | wc -l)
cat "$dir"/client*.log | awk '$1 == 200 { printf "%.3f\n", $2 * 1000 }' | sort -n \
    > "$dir/latency"
nth() { sed -n "$(( ($1 * answered + 99) / 100 ))p" "$dir/latency"; }
echo "status.json: $answered answered, $(( clients * requests - answered )) failed of" \
    "$(( clients * requests )) ($clients clients beside $idle idle connections, ${seconds} s)"
if (( answered > 0 )); then
    echo "latency: p50 $(nth 50) ms, p95 $(nth 95) ms, max $(tail -1 "$dir/latency") ms"
fi
peak=$(printf '%s\n' "${memory[@]}" | sort -n | tail -1)
mb() { echo "scale=1; $1 / 1024" | bc; }
echo "resident memory: first $(mb "${memory[0]}") MB, last $(mb "${memory[-1]}") MB," \
    "peak $(mb "$peak") MB"
