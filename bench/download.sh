#!/bin/sh
# The download thread against curl on one large card file from the simulated
# camera, in the private network: plain, with the window kept busy, and
# resumed after the camera cut the body at half; then a queue of 1,000 small
# files. Prints the times beside curl's, their ratios, the tool's memory and
# its longest event-loop stall.
#   bench/download.sh [SIZE_MB [RATE_BYTES_PER_S]]   (default 1024, no cap)
# BUILD_DIR selects the build tree (default: build).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/camera.sh"
size_mb=${1:-1024}
rate=${2:-0}
url="http://$host/sd/DCIM/100TQCAM"
mkdir -p "$work/card" "$work/tool" "$work/curl"
head -c "$((size_mb * 1024 * 1024))" /dev/urandom > "$work/card/BENCH.MP4"

# A simulator on card $1, taking commands on descriptor 3.
start_sim() {
    if [ -n "$sim" ]; then
        echo quit >&3
        exec 3>&-
        wait "$sim" || true
    fi
    rm -f "$work/sim.in"
    mkfifo "$work/sim.in"
    "$build/sim/merro-devicesim" --card "$1" --do "camera rate $rate" \
        < "$work/sim.in" > "$work/sim.log" 2>&1 &
    sim=$!
    exec 3> "$work/sim.in"
    tries=0
    until grep -q '^sim: ready' "$work/sim.log"; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { cat "$work/sim.log"; exit 1; }
        sleep 0.1
    done
}

# The smallest of each time across rounds: the tool's, curl's, curl's with a sync.
keep_best() {
    best_tool=$(echo "${best_tool:-$1} $1" | awk '{print ($2 < $1) ? $2 : $1}')
    best_curl=$(echo "${best_curl:-$2} $2" | awk '{print ($2 < $1) ? $2 : $1}')
    best_synced=$(echo "${best_synced:-$3} $3" | awk '{print ($2 < $1) ? $2 : $1}')
}

# Runs a simulator command and prints its answer.
sim_do() {
    seen=$(wc -l < "$work/sim.log")
    echo "$1" >&3
    tries=0
    until tail -n "+$((seen + 1))" "$work/sim.log" | grep -qF "sim: ok $1"; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { echo "no answer to '$1'" >&2; exit 1; }
        sleep 0.05
    done
    tail -n "+$((seen + 1))" "$work/sim.log" | grep -F "sim: ok $1" | head -n 1
}

filebytes() {
    sim_do stats | sed 's/.* filebytes=\([0-9]*\).*/\1/'
}

# The first field of $1 divided by the second, to 3 places.
ratio() {
    echo "$1" | awk '{printf "%.3f", $1 / $2}'
}

start_sim "$work/card"
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
    c=$(curl -s -o "$work/curl/BENCH.MP4" -w '%{time_total}' "$url/BENCH.MP4")
    # curl does not sync its file; the tool does before it names the file.
    start=$(date +%s.%N)
    curl -s -o "$work/curl/BENCH.MP4" "$url/BENCH.MP4"
    sync -d "$work/curl/BENCH.MP4"
    cs=$(echo "$start $(date +%s.%N)" | awk '{printf "%.3f", $2 - $1}')
    echo "round $round curl: $c s, curl and a data sync: $cs s"
    keep_best "$t" "$c" "$cs"
    plain_peak=$(echo "$line" | sed 's/.*peak memory \([0-9.]*\) MB.*/\1/')
done
# The window kept busy for 3 s mid-download: memory must stay where it was.
rm -f "$work/tool/DCIM/BENCH.MP4"
echo "busy window: $("$build/bench/bench_download" BENCH.MP4 "$work/tool" 3000)"
echo "best: tool $best_tool s, curl $best_curl s, ratio $(ratio "$best_tool $best_curl");" \
    "curl and sync $best_synced s, ratio $(ratio "$best_tool $best_synced")"

# Resumed: the camera cuts the body at half once; the tool keeps that half and
# asks for the rest on its own. The cut sends exactly $half bytes, so what the
# camera sent beyond them went to the second try.
size=$((size_mb * 1024 * 1024))
half=$((size / 2))
rest=$((size - half))
best_tool=
best_curl=
best_synced=
for round in 1 2; do
    rm -f "$work/tool/DCIM/BENCH.MP4"*
    sim_do "camera fault cut=$half file once" > /dev/null
    before=$(filebytes)
    line=$("$build/bench/bench_download" BENCH.MP4 "$work/tool")
    second=$(($(filebytes) - before - half))
    echo "resumed $round $line"
    cmp -s "$work/card/BENCH.MP4" "$work/tool/DCIM/BENCH.MP4" \
        && echo "resumed $round: the tool's file is identical to the card's" \
        || echo "resumed $round: the tool's file DIFFERS from the card's"
    echo "resumed $round: the camera sent $second bytes on the second try for the $rest left" \
        "($(echo "$second $rest" | awk '{printf "%+.3f%%", ($1 - $2) * 100 / $2}')), served" \
        "$(grep -o 'BENCH.MP4 bytes [0-9/-]*' "$work/sim.log" | tail -n 1)"
    t=$(echo "$line" | sed 's/.*last try \([0-9.]*\) s.*/\1/')
    # curl resumes the same cut from a byte-identical first half, synced so
    # that the data sync after it has only the rest to write.
    head -c "$half" "$work/card/BENCH.MP4" > "$work/curl/BENCH.MP4"
    sync -d "$work/curl/BENCH.MP4"
    c=$(curl -s -C - -o "$work/curl/BENCH.MP4" -w '%{time_total}' "$url/BENCH.MP4")
    cmp -s "$work/card/BENCH.MP4" "$work/curl/BENCH.MP4" \
        || echo "resumed $round: curl's file differs"
    head -c "$half" "$work/card/BENCH.MP4" > "$work/curl/BENCH.MP4"
    sync -d "$work/curl/BENCH.MP4"
    start=$(date +%s.%N)
    curl -s -C - -o "$work/curl/BENCH.MP4" "$url/BENCH.MP4"
    sync -d "$work/curl/BENCH.MP4"
    cs=$(echo "$start $(date +%s.%N)" | awk '{printf "%.3f", $2 - $1}')
    echo "resumed $round: second try: tool $t s, curl -C - $c s, curl -C - and a data sync $cs s"
    keep_best "$t" "$c" "$cs"
done
echo "resumed best: second try: tool $best_tool s, curl -C - $best_curl s, ratio" \
    "$(ratio "$best_tool $best_curl"); curl -C - and sync $best_synced s, ratio" \
    "$(ratio "$best_tool $best_synced"); peak memory: plain download $plain_peak MB"

# A queue of 1,000 small files from a card of their own, beside curl fetching
# the same files one connection each.
"$build/sim/merro-devicesim" --make-card "$work/small" 1000 --max-size 16384 > /dev/null
start_sim "$work/small"
mkdir -p "$work/queue" "$work/curlqueue"
echo "queue: 1000 files of $(du -sk --exclude=.cardinfo "$work/small" | cut -f1) KiB in all"
echo "queue $("$build/bench/bench_download" --queue "$work/queue")"
diff -rq -x .cardinfo -x 'partial downloads' -x 'download journal.jsonl' "$work/small" "$work/queue/DCIM" > /dev/null \
    || echo "queue: the tool's files differ from the card's"
for file in "$work/small"/*; do
    printf 'url = "%s/%s"\noutput = "%s/%s"\n' "$url" "${file##*/}" "$work/curlqueue" \
        "${file##*/}"
done > "$work/queue.curl"
# The tool syncs each file before it names it; curl does not.
start=$(date +%s.%N)
curl -s -K "$work/queue.curl"
c=$(date +%s.%N)
sync -d "$work/curlqueue"/*
echo "queue curl: $(echo "$start $c" | awk '{printf "%.3f", $2 - $1}') s," \
    "curl and a data sync: $(echo "$start $(date +%s.%N)" | awk '{printf "%.3f", $2 - $1}') s"
diff -rq -x .cardinfo "$work/small" "$work/curlqueue" > /dev/null \
    || echo "queue: curl's files differ from the card's"
