#!/usr/bin/env bash
# How soon the watcher tells, and what it weighs: a stalled capture told by ON_TROUBLE after its
# threshold, a new frame reaching MQTT, and the watcher's resident memory over a run with the
# broker restarted now and then. Camera-like 1080p frames, a real mosquitto on a free port.
# Usage: bench/watcher_tells.sh BUILD_DIR [MEMORY_SECONDS (3600)] [RESTART_EVERY (600)]
set -euo pipefail
vorn="$(cd "${1:?usage: bench/watcher_tells.sh BUILD_DIR [MEMORY_SECONDS] [RESTART_EVERY]}" && pwd)/vorn"
memory_seconds=${2:-3600}
restart_every=${3:-600}
dir=$(mktemp -d)
broker=""
watcher=""
subscriber=""
cleanup() {
    for pid in $watcher $subscriber $broker; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$dir"
}
trap cleanup EXIT

mkdir -p "$dir/frames" "$dir/config/Brimlow"
ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25,noise=alls=10:allf=t" \
    -frames:v 1 -q:v 4 "$dir/frame.jpg"
echo "a frame of $(( $(stat -c %s "$dir/frame.jpg") / 1024 )) KB, 1920x1080"
next=10001
# Puts the next frame in the folder as a capture does: complete under its final name at once.
add_frame() {
    cp "$dir/frame.jpg" "$dir/frames/.incoming"
    mv "$dir/frames/.incoming" "$dir/frames/pic_$next.jpg"
    next=$((next + 1))
}
free_port() { perl -MIO::Socket::INET -e 'print IO::Socket::INET->new(Listen => 1, LocalAddr => "127.0.0.1:0")->sockport'; }
now() { date +%s.%N; }
settings() {
    printf '%s\n' '[General]' "AUTO_START_DIR=$dir/frames/" AUTO_START_ON_OFF=0 \
        AUTO_START_FRAME_COUNT=0 CAM_REF=0 RESOLUTION_REF=1 MIN_FREE_MB=0 ALERT_DAYS_LEFT=0 \
        "ON_TROUBLE=$dir/hook.sh" "$@" > "$dir/config/Brimlow/Vorn.conf"
}
start_watcher() {
    env -i PATH=/usr/bin:/bin HOME="$dir" XDG_CONFIG_HOME="$dir/config" \
        "$vorn" --serve --listen none 2>>"$dir/watcher.log" &
    watcher=$!
}
stop_watcher() { kill "$watcher"; wait "$watcher" || true; watcher=""; }
start_broker() {
    printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" > "$dir/mosquitto.conf"
    mosquitto -c "$dir/mosquitto.conf" 2>/dev/null &
    broker=$!
    for _ in $(seq 50); do
        if mosquitto_pub -h 127.0.0.1 -p "$port" -t probe -n 2>/dev/null; then return; fi
        sleep 0.1
    done
    echo "mosquitto did not start" >&2
    exit 1
}
stop_broker() { kill "$broker"; wait "$broker" 2>/dev/null || true; broker=""; }
# shellcheck disable=SC2016  # the hook expands them, not this script
printf '#!/bin/sh\necho "$(date +%%s.%%N) $VORN_EVENT $VORN_TROUBLE" >> %s/hook.log\n' "$dir" \
    > "$dir/hook.sh"
chmod +x "$dir/hook.sh"

echo "== a stall told after its threshold (frames 2 s apart, then none: the 2-minute floor)"
settings
for _ in $(seq 10); do add_frame; sleep 2; done
last=$(stat -c %Y "$dir/frames/pic_$((next - 1)).jpg")
start_watcher
threshold=$((last + 120))
while ! grep -q "trouble stalled" "$dir/hook.log" 2>/dev/null; do
    if (( $(date +%s) > threshold + 120 )); then echo "no stall told" >&2; exit 1; fi
    sleep 0.5
done
told=$(grep "trouble stalled" "$dir/hook.log" | head -1 | cut -d' ' -f1)
echo "stall told $(echo "$told - $threshold" | bc) s after its threshold (limit 60 s)"
stop_watcher

echo "== a new frame on MQTT (<prefix>/latest), five frames 11 s apart"
port=$(free_port)
start_broker
settings MQTT_HOST=127.0.0.1 "MQTT_PORT=$port"
start_watcher
mosquitto_sub -h 127.0.0.1 -p "$port" -t vorn/default/latest -F '%U' > "$dir/latest.log" &
subscriber=$!
sleep 12  # the retained frame and the first publish's 10 s
for i in $(seq 5); do
    lines=$(wc -l < "$dir/latest.log")
    sent=$(now)
    add_frame
    while (( $(wc -l < "$dir/latest.log") == lines )); do sleep 0.02; done
    got=$(tail -1 "$dir/latest.log")
    echo "frame $i on MQTT after $(echo "$got - $sent" | bc) s (limit 2 s)"
    sleep 11
done

echo "== resident memory over ${memory_seconds} s, a frame every 10 s, broker restarted every ${restart_every} s"
start=$(date +%s)
last_restart=$start
samples=()
while (( $(date +%s) - start < memory_seconds )); do
    add_frame
    if (( $(date +%s) - last_restart >= restart_every )); then
        stop_broker
        sleep 5
        start_broker
        last_restart=$(date +%s)
    fi
    samples+=("$(awk '/VmRSS/ {print $2}' "/proc/$watcher/status")")
    sleep 10
done
count=${#samples[@]}
tenth=$(( count / 10 > 0 ? count / 10 : 1 ))
max() { printf '%s\n' "$@" | sort -n | tail -1; }
echo "resident: first ${samples[0]} KB, largest of the first tenth $(max "${samples[@]:0:tenth}") KB," \
    "largest of the last tenth $(max "${samples[@]: -tenth}") KB, largest $(max "${samples[@]}") KB" \
    "(limit 80 MB)"
echo "watcher's lines: $(wc -l < "$dir/watcher.log") (broker outages told once each)"
