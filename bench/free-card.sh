#!/bin/sh
# Freeing the card, beside curl making the same requests in a shell loop,
# inside the private network namespace: a card of N files (default 1000),
# every one in DCIM/ already, from a camera that answers every request 20 ms
# late. `merro-download --sync --free-card` looks at each card file (its last
# 64 KiB) before its delete and lists the card once more afterwards: how many
# requests the freeing made against the 2 a file plus 2 it may make, and how
# long it took beside curl making the same ones.
#   bench/free-card.sh [files]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/camera.sh"
files=${1:-1000}

now() { python3 -c 'import time; print("%.3f" % (time.monotonic() * 1000))'; }
ms() { echo "$1 $2" | awk '{printf "%.0f", $2 - $1}'; }
start_sim() { # card
    "$build/sim/merro-devicesim" --card "$1" --do "camera latency 20" > "$work/sim.log" 2>&1 &
    sim=$!
    until grep -q '^sim: ready' "$work/sim.log" 2>/dev/null; do sleep 0.1; done
}
stop_sim() {
    kill "$sim" 2>/dev/null
    wait "$sim" 2>/dev/null || true
    sim=
}
make_card() { # folder
    "$build/sim/merro-devicesim" --make-card "$1" "$files" --max-size 200000 > /dev/null
}

fresh() { # a new card, every file in DCIM/ already, and the device on it
    rm -rf "$work/card" "$work/run"
    make_card "$work/card"
    mkdir -p "$work/run/DCIM"
    cp -p "$work/card"/*.* "$work/run/DCIM/"
    start_sim "$work/card"
}
timed() { # the tool's run with these options, in ms
    begin=$(now)
    (cd "$work/run" && "$tool" --sync --quiet "$@") || echo "  exit code $?" >&2
    end=$(now)
    stop_sim
    ms "$begin" "$end"
}

echo "free-card: $files files, all in DCIM/ already, camera 20 ms late a request"
# The sync alone (list, and each file's details: nothing new), then the same
# with the freeing: the difference is what freeing costs.
fresh
syncing=$(timed)
fresh
whole=$(timed --free-card)
awk '/^camera: GET / { print }' "$work/sim.log" > "$work/gets"
first=$(grep -n 'GET /sd/DCIM/100TQCAM/' "$work/gets" | head -n 1 | cut -d: -f1)
freeing=$(tail -n "+$first" "$work/gets" | wc -l)
looks=$(tail -n "+$first" "$work/gets" | grep -c 'GET /sd/DCIM/100TQCAM/')
deletes=$(tail -n "+$first" "$work/gets" | grep -c 'deletefile.cgi')
left=$(find "$work/card" -name '*.*' ! -name .cardinfo | wc -l)
echo "  requests of the freeing: $freeing ($looks looks, $deletes deletes, then the listing);" \
     "at most $((2 * files + 2)); files left on the card: $left"
echo "  sync alone $syncing ms, with the freeing $whole ms: the freeing took" \
     "$((whole - syncing)) ms, $(echo "$whole $syncing $freeing" \
                                 | awk '{printf "%.1f", ($1 - $2) / $3}') ms a request"

# curl, the same requests of the freeing one after another in a shell loop.
fresh
begin=$(now)
for name in $(ls "$work/card" | sort); do
    size=$(stat -c %s "$work/card/$name")
    from=$((size > 65536 ? size - 65536 : 0))
    curl -s -r "$from-" -o /dev/null "http://$host/sd/DCIM/100TQCAM/$name"
    curl -s -o /dev/null "$cgi/deletefile.cgi?&-name=sd/DCIM/100TQCAM/$name"
done
count=$(curl -s "$cgi/getfilecount.cgi?" | sed 's/.*"\(.*\)".*/\1/')
curl -s -o /dev/null "$cgi/getfilelist.cgi?&-start=1&-end=$count"
end=$(now)
stop_sim
curled=$(ms "$begin" "$end")
echo "  curl in a shell loop, the same $((2 * files + 2)) requests: $curled ms," \
     "$(echo "$curled $files" | awk '{printf "%.1f", $1 / (2 * $2 + 2)}') ms a request;" \
     "ratio $(echo "$whole $syncing $curled" | awk '{printf "%.3f", ($1 - $2) / $3}')"
