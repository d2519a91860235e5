#!/bin/sh
# Lists a card of 1,000 files through the window and makes the same requests
# with curl, one connection each, in the private network; prints the time per
# file of both and their ratio. Then lists it once more with the camera
# answering 20 ms late: when the names can be used, when every row has its
# details, and the window's longest event-loop stall.
# Usage: bench/card-listing.sh [files] [rounds]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake --build "$build" --target merro-bench-card merro-devicesim >/dev/null
export QT_QPA_PLATFORM=offscreen
export MERRO_SIM="$build/sim/merro-devicesim"
exec "$root/scripts/netns-run" "$build/bench/merro-bench-card" "$@"
