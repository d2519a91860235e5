#!/usr/bin/env bash
# The simulated camera seen by a real HTTP client (curl) and by the tool's own
# download request: every CGI reply and downloads in both request-target
# forms, byte for byte against the card folder, then the camera's faults.
# Runs inside scripts/netns-run.
set -uo pipefail
sim=${MERRO_SIM:?set by CTest}
cam=${MERRO_CAMERA_HOST:?set by netns-run}
tmp=$(mktemp -d)
pid=
cleanup()
{
    [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
fail()
{
    echo "FAIL: $*" >&2
    echo "--- simulator output (last lines):" >&2
    tail -n 40 "$tmp/sim.log" >&2
    exit 1
}

card=$tmp/card
"$sim" --make-card "$card" 5 --max-size 300000 >/dev/null || fail "--make-card"
# A name with a space and UTF-8 bytes, without metadata of its own.
spaced=$'Clip 01 \xc3\xa9.MP4'
printf 'spaced and UTF-8' >"$card/$spaced"
echo secret >"$tmp/outside.txt"

"$sim" --card "$card" --control off --ground off --command-port 0 >"$tmp/sim.log" 2>&1 &
pid=$!
for _ in $(seq 50); do
    grep -q '^sim: ready' "$tmp/sim.log" && break
    sleep 0.1
done
port=$(sed -n 's/^sim: ready.* command=127\.0\.0\.1:\([0-9]*\).*/\1/p' "$tmp/sim.log")
[[ -n $port ]] || fail "no ready line"

simcmd()
{
    local reply
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    printf '%s\n' "$*" >&3
    IFS= read -r reply <&3
    exec 3>&-
    [[ $reply == ok* ]] || fail "command '$*': $reply"
}

base=http://$cam
cgi=$base/cgi-bin/hi3510
folder=$base/sd/DCIM/100TQCAM
get() { curl -sS --globoff --path-as-is "$@"; }
expect_body() # expected-bytes file what
{
    cmp -s <(printf '%s' "$1") "$2" || fail "$3: got '$(od -c "$2" | head -5)'"
}

names=()
while IFS= read -r -d '' path; do names+=("${path##*/}"); done \
    < <(find "$card" -maxdepth 1 -type f ! -name '.*' -printf '%f\0' | LC_ALL=C sort -z)
n=${#names[@]}
[[ $n == 6 ]] || fail "expected 6 card files, found $n"
# curl takes no space in a URL: the spaced name goes by raw requests only.
plain=()
for name in "${names[@]}"; do [[ $name == "$spaced" ]] || plain+=("$name"); done

# Count and list, both exactly as the camera writes them.
get -o "$tmp/body" "$cgi/getfilecount.cgi?" || fail "count request"
expect_body "var count=\"$n\";"$'\r\n' "$tmp/body" "count reply"
list=$(printf 'sd/DCIM/100TQCAM/%s;' "${names[@]}")
get -o "$tmp/body" "$cgi/getfilelist.cgi?&-start=1&-end=$n" || fail "list request"
expect_body "$list"$'\r\n' "$tmp/body" "list reply"
get -o "$tmp/body" "$cgi/getfilelist.cgi?&-start=1&-end=2"
expect_body "$(printf 'sd/DCIM/100TQCAM/%s;' "${names[@]:0:2}")"$'\r\n' "$tmp/body" "list range"

# Info of every file: creation time, size, duration from the card.
for name in "${plain[@]}"; do
    file=$card/$name
    create=$(date -u -d "@$(stat -c %Y "$file")" +%Y%m%d%H%M%S)
    duration=$(awk -F'\t' -v n="$name" '$1 == n { print $2 }' "$card/.cardinfo")
    get -o "$tmp/body" "$cgi/getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/$name"
    printf 'var create="%s";\r\nvar size="%s";\r\nvar time="%s";\r\n' \
        "$create" "$(stat -c %s "$file")" "$duration" >"$tmp/expected"
    cmp -s "$tmp/expected" "$tmp/body" || fail "info of $name: $(od -c "$tmp/body" | head -3)"
done

# Downloads: origin form and absolute form, with Content-Length and a close.
for name in "${plain[@]}"; do
    size=$(stat -c %s "$card/$name")
    get -D "$tmp/head" -o "$tmp/got" "$folder/$name" || fail "download $name"
    cmp -s "$tmp/got" "$card/$name" || fail "origin-form download of $name differs"
    grep -qi "^Content-Length: $size"$'\r'"$" "$tmp/head" || fail "no Content-Length for $name"
    grep -qi '^Connection: close' "$tmp/head" || fail "no close announced for $name"
    get -o "$tmp/got" --request-target "$folder/$name" "$base/" || fail "absolute $name"
    cmp -s "$tmp/got" "$card/$name" || fail "absolute-form download of $name differs"
done

# The tool's own request text: absolute target, no space after the colons.
# Reading to the end of the stream proves the camera closes after the body.
raw_get() # target file-to-compare
{
    local size total
    exec 4<>"/dev/tcp/$cam/80"
    {
        printf 'GET %s HTTP/1.1\r\n' "$1"
        printf 'Accept:text/html,*/*;q=0.8\r\nUser-Agent:Mozilla/5.0 (X11; Linux x86_64)\r\n'
        printf 'Host:%s\r\nConnection:close\r\n\r\n' "$cam"
    } >&4
    timeout 5 cat <&4 >"$tmp/raw" || fail "no close after the reply to $1"
    exec 4<&-
    size=$(stat -c %s "$2")
    total=$(stat -c %s "$tmp/raw")
    head -c $((total - size)) "$tmp/raw" >"$tmp/head"
    [[ $(tail -c 4 "$tmp/head" | od -An -tx1) == " 0d 0a 0d 0a" ]] || fail "head of $1"
    grep -q "^Content-Length: $size"$'\r'"$" "$tmp/head" || fail "Content-Length for $1"
    tail -c "$size" "$tmp/raw" | cmp -s - "$2" || fail "body of $1 differs"
}
raw_get "$folder/${plain[0]}" "$card/${plain[0]}"
raw_get "$folder/$spaced" "$card/$spaced"
grep -qF "camera: GET $folder/${plain[0]} HTTP/1.1" "$tmp/sim.log" \
    || fail "request line not logged"
grep -qF 'Host:'"$cam"'\r\nConnection:close\r\n\r\n' "$tmp/sim.log" || fail "head not logged"
printf 'var create="%s";\r\nvar size="16";\r\nvar time="0";\r\n' \
    "$(date -u -d "@$(stat -c %Y "$card/$spaced")" +%Y%m%d%H%M%S)" >"$tmp/expected"
raw_get "$cgi/getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/$spaced" "$tmp/expected"

# Names that climb out of the card are refused; the file outside survives.
code=$(get -o "$tmp/body" -w '%{http_code}' "$folder/../outside.txt")
[[ $code == 403 ]] && ! grep -q secret "$tmp/body" || fail "download outside the card: $code"
delete="$cgi/deletefile.cgi?&-name=sd/DCIM/100TQCAM"
code=$(get -o /dev/null -w '%{http_code}' "$delete/../outside.txt")
[[ $code == 403 && -e $tmp/outside.txt ]] || fail "delete outside the card: $code"
code=$(get -o /dev/null -w '%{http_code}' "$delete/..\\outside.txt")
[[ $code == 403 && -e $tmp/outside.txt ]] || fail "delete with a backslash: $code"

# Delete one file.
get -o "$tmp/body" "$cgi/deletefile.cgi?&-name=sd/DCIM/100TQCAM/${plain[0]}"
expect_body $'Success\r\n' "$tmp/body" "delete reply"
[[ ! -e $card/${plain[0]} ]] || fail "file not deleted"
grep -qF "camera: deleted #" "$tmp/sim.log" || fail "delete not logged"
plain=("${plain[@]:1}")
n=$((n - 1))

# Faults, each for one request.
small=${plain[0]}
for name in "${plain[@]}"; do
    [[ $(stat -c %s "$card/$name") -lt $(stat -c %s "$card/$small") ]] && small=$name
done
big=${plain[0]}
for name in "${plain[@]}"; do
    [[ $(stat -c %s "$card/$name") -gt $(stat -c %s "$card/$big") ]] && big=$name
done
bigsize=$(stat -c %s "$card/$big")

simcmd camera fault chunked count once
get -D "$tmp/head" -o "$tmp/body" "$cgi/getfilecount.cgi?"
grep -qi '^Transfer-Encoding: chunked' "$tmp/head" || fail "count not chunked"
expect_body "var count=\"$n\";"$'\r\n' "$tmp/body" "chunked count"

for fault in chunked no-length drip=2048 big-header=20000; do
    simcmd camera fault "$fault" file once
    target=$big
    [[ $fault == drip* ]] && target=$small
    get -D "$tmp/head" -o "$tmp/got" "$folder/$target" || fail "download with $fault"
    cmp -s "$tmp/got" "$card/$target" || fail "download with $fault differs"
    case $fault in
    chunked | no-length)
        ! grep -qi '^Content-Length' "$tmp/head" || fail "Content-Length with $fault" ;;
    big-header*)
        [[ $(stat -c %s "$tmp/head") -gt 20000 ]] || fail "header not oversized" ;;
    esac
done

simcmd camera fault close-early file once
get -s -o "$tmp/got" "$folder/$big" 2>/dev/null
status=$?
[[ $status == 18 && $(stat -c %s "$tmp/got") == $((bigsize / 2)) ]] \
    || fail "close-early: curl status $status, $(stat -c %s "$tmp/got") bytes"

simcmd camera fault 404 info once
code=$(get -o "$tmp/body" -w '%{http_code}' "$cgi/getfileinfo.cgi?&-name=sd/DCIM/100TQCAM/$big")
[[ $code == 404 ]] && grep -q '404 Not Found' "$tmp/body" || fail "404 fault: $code"

simcmd camera fault hangup once
curl -s -o /dev/null "$cgi/getfilecount.cgi?"
[[ $? == 52 ]] || fail "hangup did not give an empty reply"

simcmd camera fault stall once
curl -s -m 1 -o /dev/null "$cgi/getfilecount.cgi?"
[[ $? == 28 ]] || fail "stall answered"

# Hostile and huge listings.
simcmd camera list hostile
get -o "$tmp/body" "$cgi/getfilecount.cgi?"
hostile=$(sed -n 's/var count="\([0-9]*\)";\r/\1/p' "$tmp/body")
[[ $hostile -gt $((n + 5)) ]] || fail "hostile count $hostile"
get -o "$tmp/body" "$cgi/getfilelist.cgi?&-start=1&-end=$hostile"
grep -qF 'sd/DCIM/100TQCAM/../../../etc/passwd;' "$tmp/body" || fail "no ../ entry"
grep -qF 'sd/DCIM/100TQCAM/..\..\' "$tmp/body" || fail "no ..\\ entry"
[[ $(tr -cd ';' <"$tmp/body" | wc -c) == "$hostile" ]] || fail "hostile entries vs count"
[[ $(tail -c 2 "$tmp/body" | od -An -c) == "  \r  \n" ]] || fail "hostile list end"
simcmd camera list huge=10005
get -o "$tmp/body" "$cgi/getfilelist.cgi?&-start=1&-end=10005"
[[ $(tr -cd ';' <"$tmp/body" | wc -c) == 10005 ]] || fail "huge list"
simcmd camera list normal

# Delete all, then format a fresh card: "Success", and nothing left.
get -o "$tmp/body" "$cgi/deleteallfiles.cgi?"
expect_body $'Success\r\n' "$tmp/body" "delete all reply"
[[ -z $(find "$card" -maxdepth 1 -type f ! -name '.*') ]] || fail "files left after delete all"
get -o "$tmp/body" "$cgi/getfilelist.cgi?&-start=1&-end=0"
expect_body $'\r\n' "$tmp/body" "empty list"
"$sim" --make-card "$card" 2 --max-size 8192 >/dev/null
get -o "$tmp/body" "$cgi/sdcommand.cgi?-format&-partition=1"
expect_body $'Success\r\n' "$tmp/body" "format reply"
[[ -z $(find "$card" -maxdepth 1 -type f) ]] || fail "files left after format"
[[ -e $tmp/outside.txt ]] || fail "a file outside the card went"
echo "camera: all checks passed"
