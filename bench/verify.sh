#!/bin/sh
# merro-download --verify beside sha256sum over the same files: N recordings
# (default 1000) of 1 GiB in all, journaled with their checksums, read from
# the page cache (each command's best of three).
#   bench/verify.sh [files]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
files=${1:-1000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/DCIM"
size=$((1073741824 / files))
i=0
while [ "$i" -lt "$files" ]; do
    name=$(printf 'H%06d.MP4' "$i")
    head -c "$size" /dev/urandom > "$work/DCIM/$name"
    i=$((i + 1))
done
(cd "$work/DCIM" && sha256sum -- *.MP4) | while read -r sum name; do
    printf '{"event":"saved","at":"2026-01-01T00:00:00Z","card":"%s","size":%s,"created":"20260101000000","path":"%s","sha256":"%s"}\n' \
        "$name" "$size" "$name" "$sum"
done > "$work/DCIM/download journal.jsonl"
best() { # command...: the best of three wall times, in s
    b=
    for round in 1 2 3; do
        start=$(date +%s.%N)
        "$@" > /dev/null 2>&1 || true
        t=$(echo "$start $(date +%s.%N)" | awk '{printf "%.3f", $2 - $1}')
        b=$(echo "${b:-$t} $t" | awk '{print ($2 < $1) ? $2 : $1}')
    done
    echo "$b"
}
tool=$(best "$build/app/merro-download" --verify --dcim "$work/DCIM")
"$build/app/merro-download" --verify --dcim "$work/DCIM" 2>&1 | tail -n 1
peer=$(cd "$work/DCIM" && best sha256sum -- *.MP4)
echo "verify: $files files, 1 GiB: merro-download --verify $tool s, sha256sum $peer s;" \
     "speed $(echo "$tool $peer" | awk '{printf "%.2f", $2 / $1}')x sha256sum's"
