#!/bin/sh
# Deciding what is safe from a journal of 100,000 lines (bench_journal): the
# first look reads it whole; beside it, jq reading the same journal.
#   bench/journal.sh [lines]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
lines=${1:-100000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/bench_journal" "$work" "$lines"
if command -v jq > /dev/null; then
    start=$(date +%s.%N)
    jq -c 'select(.event == "saved") | [.card, .size, .created, .path]' \
        "$work/download journal.jsonl" > /dev/null
    echo "jq reading the same journal: $(echo "$start $(date +%s.%N)" \
        | awk '{printf "%.3f", $2 - $1}') s"
fi
