#!/bin/sh
# The sync without a window, beside curl making the same requests in a shell
# loop, inside the private network namespace:
#  1. a card of N files (default 1000) from a camera that answers every
#     request 20 ms late, all but 10 of them in DCIM/ already: how soon the
#     first new recording's first byte comes after the listing, the whole
#     sync against the requests it must make (count, list, one info request
#     per file, one GET per new file) at 20 ms each;
#  2. the same again, with nothing new: whether any file in DCIM/ changed
#     (size, time, inode);
#  3. every one of the N new, on a camera without delay: the peak resident
#     memory beside that of a sync of one file.
#   bench/sync.sh [files]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/camera.sh"
files=${1:-1000}

# The simulator's lines, each stamped with the time it was printed (ms).
stamper=
start_sim() { # card latency
    if [ -n "$sim" ]; then
        exec 3>&-
        wait "$sim" "$stamper" 2>/dev/null || true
    fi
    rm -f "$work/in" "$work/out"
    mkfifo "$work/in" "$work/out"
    python3 -u -c '
import sys, time
for line in sys.stdin:
    sys.stdout.write("%.3f %s" % (time.monotonic() * 1000, line))' < "$work/out" > "$work/sim.log" &
    stamper=$!
    "$build/sim/merro-devicesim" --card "$1" --do "camera latency $2" --exit-on-eof \
        < "$work/in" > "$work/out" 2>&1 &
    sim=$!
    exec 3> "$work/in"
    until grep -q ' sim: ready' "$work/sim.log" 2>/dev/null; do sleep 0.1; done
}
stamp() { # the time of the first line matching, after line $2
    tail -n "+$(($2 + 1))" "$work/sim.log" | grep -m1 -- "$1" | cut -d' ' -f1
}
now() { python3 -c 'import time; print("%.3f" % (time.monotonic() * 1000))'; }
ms() { echo "$1 $2" | awk '{printf "%.0f", $2 - $1}'; }

"$build/sim/merro-devicesim" --make-card "$work/card" "$files" --max-size 16384 > /dev/null
mkdir -p "$work/run/DCIM"
# All but the 10 newest are in DCIM/ already, with their times.
ls "$work/card" | sort | head -n "$((files - 10))" | while read -r name; do
    cp -p "$work/card/$name" "$work/run/DCIM/$name"
done
start_sim "$work/card" 20
echo "sync: $files files, $((files - 10)) in DCIM/ already, camera 20 ms late a request"
mark=$(wc -l < "$work/sim.log")
begin=$(now)
(cd "$work/run" && "$tool" --sync --quiet)
end=$(now)
listed=$(stamp 'camera: served list' "$mark")
first=$(stamp 'camera: GET http' "$mark")
requests=$(tail -n "+$((mark + 1))" "$work/sim.log" | grep -c 'camera: GET ')
must=$((2 + files + 10))
echo "  requests: $requests made, $must needed (count, list, $files info, 10 files)"
echo "  first new recording asked for $(ms "$listed" "$first") ms after the listing," \
     "its first byte 20 ms later"
echo "  whole sync: $(ms "$begin" "$end") ms; the requests at 20 ms: $((must * 20)) ms;" \
     "ratio $(echo "$begin $end $must" | awk '{printf "%.3f", ($2 - $1) / ($3 * 20)}')"
diff -rq -x .cardinfo -x 'partial downloads' -x 'download journal.jsonl' "$work/card" "$work/run/DCIM" > /dev/null \
    && echo "  DCIM/ holds the card, byte for byte" || echo "  DCIM/ DIFFERS from the card"

# curl, the same requests one after another in a shell loop.
mkdir -p "$work/curl"
begin=$(now)
count=$(curl -s "$cgi/getfilecount.cgi?" | sed 's/.*"\(.*\)".*/\1/')
curl -s "$cgi/getfilelist.cgi?&-start=1&-end=$count" > /dev/null
for name in $(ls "$work/card" | sort); do
    curl -s "$cgi/getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/$name" > /dev/null
done
for name in $(ls "$work/card" | sort | tail -n 10); do
    curl -s -o "$work/curl/$name" "http://$host/sd/DCIM/100TQCAM/$name"
done
sync -d "$work/curl"/*
end=$(now)
echo "  curl in a shell loop, the same requests: $(ms "$begin" "$end") ms"

# Nothing new: nothing in DCIM/ is touched.
before=$(cd "$work/run/DCIM" && stat -c '%n %s %Y %i' -- * | sort | md5sum)
(cd "$work/run" && "$tool" --sync --quiet)
after=$(cd "$work/run/DCIM" && stat -c '%n %s %Y %i' -- * | sort | md5sum)
[ "$before" = "$after" ] && echo "  nothing new: no file in DCIM/ changed (size, time, inode)" \
    || echo "  nothing new: files in DCIM/ CHANGED"

# Memory: every file new, beside a sync of an empty card.
peak() { # the sync's peak resident memory in KiB, into a new folder
    rm -rf "$work/mem"
    mkdir -p "$work/mem"
    (cd "$work/mem" && python3 -c '
import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$tool" --sync --quiet)
}
start_sim "$work/card" 0
all=$(peak)
mkdir -p "$work/empty"
start_sim "$work/empty" 0
none=$(peak)
echo "memory: a sync of $files new files peaks at $((all / 1024)) MB, one of an empty card" \
     "at $((none / 1024)) MB: growth $(((all - none) / 1024)).$(((all - none) % 1024 * 10 / 1024)) MB"
