# Sourced by the benchmarks that talk to the simulated camera, after they set
# $root: runs the benchmark again inside the private network namespace, then
# gives it $build, $host, $cgi, $tool, a work folder $work removed on exit and
# $sim, the simulator's pid if one runs, stopped on exit.
if [ "${MERRO_NETNS:-}" != 1 ]; then
    exec "$root/scripts/netns-run" "$0" "$@"
fi
build=${BUILD_DIR:-$root/build}
host=${MERRO_CAMERA_HOST:-192.168.72.20}
cgi="http://$host/cgi-bin/hi3510"
tool=$build/app/merro-download

work=$(mktemp -d)
sim=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
