#!/usr/bin/env bash
# Where the device addresses could reach a real network, scripts/netns-run
# and the simulator refuse before touching anything; a namespace of our own
# with a spare interface (a veth pair or a bridge) stands in for such a place.
set -uo pipefail
run=${MERRO_NETNS_RUN:?set by CTest}
sim=${MERRO_SIM:?set by CTest}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
unset MERRO_NETNS

"$run" sh -c 'exit 7'
[[ $? == 7 ]] || fail "netns-run did not pass the exit status on"

out=$(unshare -rn bash -c '
    ip link add x0 type veth peer name x1 2>/dev/null \
        || ip link add x0 type bridge 2>/dev/null || exit 77
    MERRO_NETNS=1 "$0" touch "$1"; echo "netns-run: $? lo: $(ip -o -4 addr show dev lo | wc -l)"
    "$2" --card "$3" --exit-on-eof </dev/null; echo "sim: $?"' "$run" "$tmp/ran" "$sim" "$tmp" 2>&1)
[[ $? == 77 ]] && { echo "no spare interface can be made here: not checked"; exit 77; }
[[ $out == *"not isolated"*"x0"*"netns-run: 125 lo: 0"* ]] || fail "netns-run did not refuse first: $out"
[[ ! -e $tmp/ran ]] || fail "netns-run ran the command with another interface in sight"
[[ $out == *"sim: 3"* ]] || fail "the simulator did not refuse: $out"
echo "netns-run and the simulator refuse where they are not isolated"
