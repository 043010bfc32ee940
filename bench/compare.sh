#!/usr/bin/env bash
# Decode rate and speed of vistrel against two other Data Matrix readers, run as black boxes on
# the same corpus manifest: ZXing-C++ (ZXingReader) and libdmtx (dmtxread).
#
# usage: bench/compare.sh MANIFEST [--category C]... [--timeout S]
#
# Each program runs once per picture, as a whole process, under a per-file timeout. A row passes
# when standard output equals the expected bytes, or equals them followed by one "\n"; a row that
# expects nothing passes when standard output is empty, whatever the exit status. These are the
# rules of the corpus evaluation tool. Programs that take several files in one process (probed)
# are also timed over the whole set in one process; that set leaves out the files some program
# refused alone (exit status above 1, or a timeout), since ZXingReader stops at the first file it
# cannot read.
#
# The two peers are installed with apt-get when missing (Debian packages zxing-cpp-tools and
# dmtx-utils); they are benchmark peers only and never dependencies of the library.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TIMEOUT=20
CATEGORIES=()
MANIFEST=""

usage() {
    sed -n '5p' "${BASH_SOURCE[0]}" | sed 's/^# //' >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case "$1" in
        --category) [ $# -ge 2 ] || usage; CATEGORIES+=("$2"); shift 2 ;;
        --timeout) [ $# -ge 2 ] || usage; TIMEOUT="$2"; shift 2 ;;
        -*) usage ;;
        *) [ -z "$MANIFEST" ] || usage; MANIFEST="$1"; shift ;;
    esac
done
if [ -z "$MANIFEST" ] || [ ! -r "$MANIFEST" ]; then usage; fi
MANIFEST="$(cd "$(dirname "$MANIFEST")" && pwd)/$(basename "$MANIFEST")"
BASE="$(dirname "$MANIFEST")"

log() { printf '%s\n' "$*" >&2; }

# --- the peers -------------------------------------------------------------------------------

install_peers() {
    local missing=()
    command -v ZXingReader >/dev/null || missing+=(zxing-cpp-tools)
    command -v dmtxread >/dev/null || missing+=(dmtx-utils)
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    log "installing ${missing[*]} (benchmark peers only)"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

build_ours() {
    [ -x "$ROOT/build/bin/vistrel" ] && return 0
    log "building vistrel (Release)"
    cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$ROOT/build" -j2 --target vistrel >/dev/null
}

install_peers
build_ours

# Decoder names and their command lines; the image path (or paths) follow.
NAMES=(norvale zxing dmtx)
declare -A CMD=(
    [norvale]="$ROOT/build/bin/vistrel"
    [zxing]="ZXingReader -bytes -format DataMatrix"
    [dmtx]="dmtxread -N1 -m 2000"
)

# --- the rows --------------------------------------------------------------------------------

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

# rows: absolute file, expected hex, category, separated by the unit separator 0x1f (a tab is
# whitespace to "read", which would merge an empty expected field into its neighbours).
awk -F '\t' -v cats="$(IFS=,; echo "${CATEGORIES[*]:-}")" -v base="$BASE" '
    BEGIN { n = split(cats, c, ","); for (i = 1; i <= n; i++) if (c[i] != "") want[c[i]] = 1 }
    NR == 1 { next }
    $0 ~ /^[ \t]*$/ { next }
    length(want) == 0 || ($3 in want) {
        f = ($1 ~ /^\//) ? $1 : base "/" $1
        print f "\037" $2 "\037" $3
    }' "$MANIFEST" >"$WORK/rows"
ROWS=$(wc -l <"$WORK/rows")
[ "$ROWS" -gt 0 ] || { log "no rows selected"; exit 2; }

hex_of() { od -An -v -tx1 "$1" | tr -d ' \n'; }

# Seconds since the epoch with microseconds, from bash itself (no process started).
now() { printf '%s' "${EPOCHREALTIME/,/.}"; }

# run_per_file NAME: one process per picture; appends "name category ok seconds" lines.
run_per_file() {
    local name="$1" file expected category start end got ok rc
    local -a cmd
    read -r -a cmd <<<"${CMD[$name]}"
    log "running $name on $ROWS pictures, one process each"
    while IFS=$'\037' read -r file expected category; do
        start=$(now)
        rc=0
        timeout -s KILL "$TIMEOUT" "${cmd[@]}" "$file" >"$WORK/out" 2>/dev/null </dev/null || rc=$?
        end=$(now)
        got=$(hex_of "$WORK/out")
        ok=0
        if [ -z "$expected" ]; then
            [ -z "$got" ] && ok=1
        elif [ "$got" = "$expected" ] || [ "$got" = "${expected}0a" ]; then
            ok=1
        fi
        printf '%s\t%s\t%s\t%s\t%s\n' "$name" "$category" "$ok" "$start" "$end" >>"$WORK/results.tsv"
        printf '%s\t%s\t%s\n' "$file" "$ok" "$rc" >>"$WORK/pass.$name"
    done <"$WORK/rows"
}

# takes_several NAME: true when the program reads two files given in one process. Probed on the
# first picture it decodes alone: the output for "F F" must hold that text twice (a program may
# put the file name before each result).
takes_several() {
    local name="$1" file single double
    local -a cmd
    read -r -a cmd <<<"${CMD[$name]}"
    file=$(awk -F '\t' '$2 == 1 { print $1; exit }' "$WORK/pass.$name")
    [ -n "$file" ] || return 1
    single=$(timeout -s KILL "$TIMEOUT" "${cmd[@]}" "$file" 2>/dev/null </dev/null | od -An -v -tx1 | tr -d ' \n') || true
    double=$(timeout -s KILL "$TIMEOUT" "${cmd[@]}" "$file" "$file" 2>/dev/null </dev/null | od -An -v -tx1 | tr -d ' \n') || true
    single="${single%0a}"
    local rest="${double#*"$single"}"
    [ -n "$single" ] && [ "$rest" != "$double" ] && [ "${rest#*"$single"}" != "$rest" ]
}

# common: the files no program refused alone (exit status 0 or 1 in its per-file run).
common_files() {
    awk -F '\t' '{ seen[$1]++; if ($3 > 1) bad[$1] = 1 }
        END { for (f in seen) if (!(f in bad)) print f }' "$WORK"/pass.* | sort >"$WORK/common"
}

# run_one_process NAME: the common files in one process; prints the seconds ("!" appended when
# the process did not finish normally), or "-" when the program takes one file per process.
run_one_process() {
    local name="$1" start end rc=0
    local -a cmd files
    read -r -a cmd <<<"${CMD[$name]}"
    if ! takes_several "$name"; then
        echo "-"
        return
    fi
    mapfile -t files <"$WORK/common"
    log "running $name on ${#files[@]} files in one process"
    start=$(now)
    timeout -s KILL $((TIMEOUT * ROWS)) "${cmd[@]}" "${files[@]}" >/dev/null 2>&1 </dev/null || rc=$?
    end=$(now)
    awk -v s="$start" -v e="$end" -v bad=$((rc > 1)) 'BEGIN { printf "%.2f%s", e - s, bad ? "!" : "" }'
}

: >"$WORK/results.tsv"
declare -A BATCH
for name in "${NAMES[@]}"; do
    run_per_file "$name"
done
common_files
for name in "${NAMES[@]}"; do
    BATCH[$name]=$(run_one_process "$name")
done

# --- the tables ------------------------------------------------------------------------------

echo "manifest: $MANIFEST ($ROWS pictures), per-file timeout ${TIMEOUT} s"
echo "norvale: build/bin/vistrel FILE"
echo "zxing:   ${CMD[zxing]} FILE   ($(dpkg-query -W -f '${Version}' zxing-cpp-tools 2>/dev/null || echo '?'))"
echo "dmtx:    ${CMD[dmtx]} FILE   ($(dpkg-query -W -f '${Version}' dmtx-utils 2>/dev/null || echo '?'))"
echo
awk -F '\t' -v names="${NAMES[*]}" \
    -v batch="${BATCH[norvale]} ${BATCH[zxing]} ${BATCH[dmtx]}" -v ncommon="$(wc -l <"$WORK/common")" '
    function median(list,   a, n, i, j, t) {
        n = split(list, a, " ")
        if (n == 0) return 0
        for (i = 2; i <= n; i++) { t = a[i] + 0; for (j = i - 1; j >= 1 && a[j] + 0 > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    {
        name = $1; cat = $2; secs = $5 - $4
        if (!(cat in seen)) { seen[cat] = 1; order[++ncat] = cat }
        if (name == "norvale") total[cat]++
        pass[name, cat] += $3; passAll[name] += $3
        times[name, cat] = times[name, cat] " " secs; timesAll[name] = timesAll[name] " " secs
        sum[name] += secs
    }
    END {
        nn = split(names, nm, " "); split(batch, bt, " ")
        w = 12; for (c = 1; c <= ncat; c++) if (length(order[c]) > w) w = length(order[c])
        printf "decode rate per category (passed, rate; \"<\" marks a category where a peer reads more)\n"
        printf "and median wall milliseconds per file (whole process)\n\n"
        printf "%-*s %5s", w, "category", "total"
        for (i = 1; i <= nn; i++) printf " %15s", nm[i]
        printf "  |"
        for (i = 1; i <= nn; i++) printf " %8s", nm[i]
        printf "\n"
        for (c = 1; c <= ncat; c++) {
            cat = order[c]; n = total[cat]; best = 0
            for (i = 2; i <= nn; i++) if (pass[nm[i], cat] > best) best = pass[nm[i], cat]
            printf "%-*s %5d", w, cat, n
            for (i = 1; i <= nn; i++)
                printf " %4d %7s %1s", pass[nm[i], cat], sprintf("%.1f%%", 100 * pass[nm[i], cat] / n),
                       (i == 1 && pass[nm[1], cat] < best) ? "<" : ""
            printf "  |"
            for (i = 1; i <= nn; i++) printf " %8.0f", 1000 * median(times[nm[i], cat])
            printf "\n"
        }
        printf "%-*s %5d", w, "all", NR / nn
        for (i = 1; i <= nn; i++) printf " %4d %7s  ", passAll[nm[i]], sprintf("%.1f%%", 100 * passAll[nm[i]] / (NR / nn))
        printf "  |"
        for (i = 1; i <= nn; i++) printf " %8.0f", 1000 * median(timesAll[nm[i]])
        printf "\n\n"

        printf "time for the whole set (wall seconds); one process: the %d files no program refused\n", ncommon
        printf "%-10s %14s %16s %22s %22s\n", "decoder", "process/file", "one process", "norvale/peer per file", "norvale/peer 1 proc"
        for (i = 1; i <= nn; i++) {
            r1 = (i == 1) ? "" : sprintf("%.2f", sum[nm[1]] / (sum[nm[i]] > 0 ? sum[nm[i]] : 1))
            r2 = (i == 1 || bt[1] == "-" || bt[i] == "-") ? "" : sprintf("%.2f", bt[1] / (bt[i] > 0 ? bt[i] : 1))
            printf "%-10s %14.2f %16s %22s %22s\n", nm[i], sum[nm[i]], bt[i] == "-" ? "one file/process" : bt[i], r1, r2
        }
        printf "(ratio below 1: norvale is faster; one process: all those files on one command line;\n"
        printf " \"one file/process\": the program takes one file only; \"!\": the process failed or timed out)\n"
    }' "$WORK/results.tsv"
