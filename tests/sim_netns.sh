#!/usr/bin/env bash
# scripts/netns-run: what the command sees inside, exit status, nesting, and
# refusal when it cannot isolate. Nothing here sends a packet: the refusal
# cases run inside throwaway namespaces or never get past the checks.
set -uo pipefail
run=${MERRO_NETNS_RUN:?set by CTest}
control=${MERRO_CONTROL_HOST:-192.168.72.10}
ground=${MERRO_GROUND_HOST:-192.168.72.11}
camera=${MERRO_CAMERA_HOST:-192.168.72.20}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
unset MERRO_NETNS

# Inside: lo alone, up, carrying the three device addresses.
out=$("$run" sh -c 'ip -o link show; ip -o -4 addr show dev lo') || fail "netns-run failed"
links=$(grep -cE '^[0-9]+: ' <<<"$(grep -v ' inet ' <<<"$out")")
[[ $links == 1 ]] || fail "expected lo alone, got: $out"
grep -qE '^1: lo: <[^>]*\bUP\b' <<<"$out" || fail "lo is not up: $out"
for address in "$control" "$ground" "$camera"; do
    grep -qF "inet $address/32 " <<<"$out" || fail "$address missing on lo: $out"
done

# The command's exit status comes through; nesting reuses the namespace.
"$run" sh -c 'exit 7'
[[ $? == 7 ]] || fail "exit status not passed through"
nested=$("$run" "$run" sh -c 'echo "$MERRO_NETNS $(ip -o -4 addr show dev lo | wc -l)"')
[[ $nested == "1 4" ]] || fail "nested run saw: $nested"

# No namespace to be had: refuse, and do not run the command.
mkdir "$tmp/bin"
printf '#!/bin/sh\necho "unshare: unshare failed: Operation not permitted" >&2\nexit 1\n' \
    >"$tmp/bin/unshare"
chmod +x "$tmp/bin/unshare"
message=$(PATH="$tmp/bin:$PATH" "$run" touch "$tmp/ran" 2>&1)
status=$?
[[ $status == 125 && $message == *"cannot create a private network namespace"* ]] \
    || fail "no refusal without a namespace (status $status): $message"
[[ ! -e "$tmp/ran" ]] || fail "the command ran without a namespace"

# Another interface in sight: refuse before touching anything. A namespace of
# our own with a veth pair (or a bridge) in it stands in for a leaky one.
message=$(unshare -rn bash -c '
    ip link add x0 type veth peer name x1 2>/dev/null \
        || ip link add x0 type bridge 2>/dev/null || exit 77
    MERRO_NETNS=1 "$0" touch "$1"' "$run" "$tmp/ran" 2>&1)
status=$?
if [[ $status == 77 ]]; then
    echo "note: cannot create a spare interface here; leak refusal not checked"
else
    [[ $status == 125 && $message == *"not isolated"*"x0"* ]] \
        || fail "no refusal with another interface (status $status): $message"
    [[ ! -e "$tmp/ran" ]] || fail "the command ran with another interface visible"
fi
echo "netns-run: all checks passed"
