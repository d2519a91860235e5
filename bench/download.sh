#!/bin/sh
# The download thread against curl on one large card file from the simulated
# camera, in the private network. Prints both times, their ratio, the tool's
# peak memory and its longest event-loop stall.
#   bench/download.sh [SIZE_MB [RATE_BYTES_PER_S]]   (default 1024, no cap)
# BUILD_DIR selects the build tree (default: build).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${MERRO_NETNS:-}" != 1 ]; then
    exec "$root/scripts/netns-run" "$0" "$@"
fi
build=${BUILD_DIR:-$root/build}
size_mb=${1:-1024}
rate=${2:-0}
host=${MERRO_CAMERA_HOST:-192.168.72.20}

work=$(mktemp -d)
sim=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/card" "$work/tool" "$work/curl"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/card/BENCH.MP4"

"$build/sim/merro-devicesim" --card "$work/card" --do "camera rate $rate" \
    < /dev/null > "$work/sim.log" 2>&1 &
sim=$!
tries=0
until grep -q '^sim: ready' "$work/sim.log"; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || { cat "$work/sim.log"; exit 1; }
    sleep 0.1
done

echo "file: $size_mb MiB, camera rate: $([ "$rate" = 0 ] && echo unlimited || echo "$rate B/s")"
best_tool=
best_curl=
for round in 1 2; do
    rm -f "$work/tool/DCIM/BENCH.MP4" "$work/curl/BENCH.MP4"
    line=$("$build/bench/bench_download" BENCH.MP4 "$work/tool")
    echo "round $round $line"
    cmp -s "$work/card/BENCH.MP4" "$work/tool/DCIM/BENCH.MP4" \
        || echo "round $round: the tool's file differs"
    t=$(echo "$line" | sed 's/^tool: \([0-9.]*\) s.*/\1/')
    c=$(curl -s -o "$work/curl/BENCH.MP4" -w '%{time_total}' \
        "http://$host/sd/DCIM/100TQCAM/BENCH.MP4")
    # curl does not sync its file; the tool does before it names the file.
    start=$(date +%s.%N)
    curl -s -o "$work/curl/BENCH.MP4" "http://$host/sd/DCIM/100TQCAM/BENCH.MP4"
    sync -d "$work/curl/BENCH.MP4"
    cs=$(echo "$start $(date +%s.%N)" | awk '{printf "%.3f", $2 - $1}')
    echo "round $round curl: $c s, curl and a data sync: $cs s"
    best_tool=$(echo "${best_tool:-$t} $t" | awk '{print ($2 < $1) ? $2 : $1}')
    best_curl=$(echo "${best_curl:-$c} $c" | awk '{print ($2 < $1) ? $2 : $1}')
    best_synced=$(echo "${best_synced:-$cs} $cs" | awk '{print ($2 < $1) ? $2 : $1}')
done
# The window kept busy for 3 s mid-download: memory must stay where it was.
rm -f "$work/tool/DCIM/BENCH.MP4"
echo "busy window: $("$build/bench/bench_download" BENCH.MP4 "$work/tool" 3000)"
echo "best: tool $best_tool s, curl $best_curl s, ratio $(echo "$best_tool $best_curl" \
    | awk '{printf "%.3f", $1 / $2}'); curl and sync $best_synced s, ratio $(echo \
    "$best_tool $best_synced" | awk '{printf "%.3f", $1 / $2}')"
