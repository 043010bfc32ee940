#!/usr/bin/env bash
# Decode rate and speed of vistrel against other Data Matrix readers, run as black boxes on the
# same corpus manifest: ZXing-C++ 3 (ZXingReader3), ZXing-C++ 1.4 (ZXingReader) and libdmtx
# (dmtxread).
#
# usage: bench/compare.sh MANIFEST [--category C]... [--peers P,...] [--runs N] [--timeout S] [--vistrel PATH]
#   --category C    only the rows of category C (may be repeated; default every row)
#   --peers P,...   the peers to run, from zxing3, zxing (1.4) and dmtx, or "none" (default all)
#   --runs N        runs of each one-process timing, of which the median is shown (default 3)
#   --timeout S     per-file timeout in seconds (default 20)
#   --vistrel PATH  the vistrel to measure (default build/bin/vistrel, built when missing)
#
# Each program runs once per picture, as a whole process, under a per-file timeout. A row passes
# when standard output equals the expected bytes, or equals them followed by one "\n"; a row that
# expects nothing passes when standard output is empty, whatever the exit status. These are the
# rules of the corpus evaluation tool.
#
# Programs that take several files in one process (vistrel -j 1 and ZXingReader3 by their
# usage, the others probed) are also timed over the whole set in one process, and vistrel and
# ZXingReader3 over each category's part of it when there are several categories. That set
# leaves out the files some program refused alone (exit status above 1, or a timeout), since
# ZXingReader 1.4 stops at the first file it cannot read.
#
# ZXingReader3 is ../shared/tools/peers/ZXingReader3 beside the repository, skipped with a note
# when it is not there. The Debian peers are installed with apt-get when missing (packages
# zxing-cpp-tools and dmtx-utils); all of them are benchmark peers only and never dependencies
# of the library.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZXING3="$(cd "$ROOT/.." && pwd)/shared/tools/peers/ZXingReader3"
TIMEOUT=20
RUNS=3
PEERS="zxing3,zxing,dmtx"
VISTREL=""
CATEGORIES=()
MANIFEST=""

usage() {
    sed -n '/^# usage:/,/^#$/{/^#$/d;s/^# //;p}' "${BASH_SOURCE[0]}" >&2
    exit 2
}

is_count() { [[ "$1" =~ ^[1-9][0-9]*$ ]]; }

while [ $# -gt 0 ]; do
    case "$1" in
        --category) [ $# -ge 2 ] || usage; CATEGORIES+=("$2"); shift 2 ;;
        --peers) [ $# -ge 2 ] || usage; PEERS="$2"; shift 2 ;;
        --runs) { [ $# -ge 2 ] && is_count "$2"; } || usage; RUNS="$2"; shift 2 ;;
        --timeout) { [ $# -ge 2 ] && is_count "$2"; } || usage; TIMEOUT="$2"; shift 2 ;;
        --vistrel) [ $# -ge 2 ] || usage; VISTREL="$2"; shift 2 ;;
        -*) usage ;;
        *) [ -z "$MANIFEST" ] || usage; MANIFEST="$1"; shift ;;
    esac
done
if [ -z "$MANIFEST" ] || [ ! -r "$MANIFEST" ]; then usage; fi
MANIFEST="$(cd "$(dirname "$MANIFEST")" && pwd)/$(basename "$MANIFEST")"
BASE="$(dirname "$MANIFEST")"

# The peers asked for, in the order of the tables.
declare -A WANT=()
IFS=',' read -r -a asked <<<"$PEERS"
for peer in "${asked[@]}"; do
    case "$peer" in
        zxing3 | zxing | dmtx) WANT[$peer]=1 ;;
        none | "") ;;
        *) printf 'unknown peer "%s" (zxing3, zxing, dmtx or none)\n' "$peer" >&2; usage ;;
    esac
done

log() { printf '%s\n' "$*" >&2; }

# A command line is kept as one string, its words joined by the unit separator 0x1f, so that a
# path with spaces stays one word.
join_words() { local IFS=$'\037'; printf '%s' "$*"; }
split_words() { IFS=$'\037' read -r -a "$1" <<<"$2"; }
show_words() { printf '%s' "${1//$'\037'/ }"; }

# --- the readers -----------------------------------------------------------------------------

install_peers() {
    local missing=()
    [ -z "${WANT[zxing]:-}" ] || command -v ZXingReader >/dev/null || missing+=(zxing-cpp-tools)
    [ -z "${WANT[dmtx]:-}" ] || command -v dmtxread >/dev/null || missing+=(dmtx-utils)
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    log "installing ${missing[*]} (benchmark peers only)"
    if ! { $sudo apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null; }; then
        log "could not install ${missing[*]}; the missing peers are skipped"
    fi
}

build_ours() {
    if [ -n "$VISTREL" ]; then
        if [ ! -f "$VISTREL" ] || [ ! -x "$VISTREL" ]; then log "not an executable: $VISTREL"; exit 2; fi
        VISTREL="$(cd "$(dirname "$VISTREL")" && pwd)/$(basename "$VISTREL")"
        return 0
    fi
    VISTREL="$ROOT/build/bin/vistrel"
    [ -x "$VISTREL" ] && return 0
    log "building vistrel (Release)"
    cmake -S "$ROOT" -B "$ROOT/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$ROOT/build" -j2 --target vistrel >/dev/null
}

install_peers
build_ours

# Reader names, their command lines for one picture (CMD) and for several in one process
# (BATCH); the image path or paths follow. SEVERAL names the readers whose usage says that
# they take several files; the others are probed. NOTES says what was skipped and why.
NAMES=(norvale)
NOTES=()
declare -A CMD=([norvale]="$(join_words "$VISTREL")")
declare -A BATCH=([norvale]="$(join_words "$VISTREL" -j 1)")
declare -A SEVERAL=([norvale]=1)
declare -A VERSION=()
if [ -n "${WANT[zxing3]:-}" ]; then
    if [ -f "$ZXING3" ] && [ -x "$ZXING3" ]; then
        NAMES+=(zxing3)
        CMD[zxing3]="$(join_words "$ZXING3" -bytes -single -formats DataMatrix)"
        SEVERAL[zxing3]=1
        VERSION[zxing3]="$("$ZXING3" -version 2>/dev/null | awk '{ print $NF; exit }' || true)"
    else
        NOTES+=("zxing3: skipped, $ZXING3 is missing or not executable")
    fi
fi
if [ -n "${WANT[zxing]:-}" ]; then
    if command -v ZXingReader >/dev/null; then
        NAMES+=(zxing)
        CMD[zxing]="$(join_words ZXingReader -bytes -format DataMatrix)"
        VERSION[zxing]="$(dpkg-query -W -f '${Version}' zxing-cpp-tools 2>/dev/null || true)"
    else
        NOTES+=("zxing:  skipped, ZXingReader (Debian zxing-cpp-tools) is not installed")
    fi
fi
if [ -n "${WANT[dmtx]:-}" ]; then
    if command -v dmtxread >/dev/null; then
        NAMES+=(dmtx)
        CMD[dmtx]="$(join_words dmtxread -N1 -m 2000)"
        VERSION[dmtx]="$(dpkg-query -W -f '${Version}' dmtx-utils 2>/dev/null || true)"
    else
        NOTES+=("dmtx:   skipped, dmtxread (Debian dmtx-utils) is not installed")
    fi
fi
for name in "${NAMES[@]}"; do
    [ -n "${BATCH[$name]:-}" ] || BATCH[$name]="${CMD[$name]}"
done

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

# Everything measured goes to $WORK/data, one record a line, its kind first:
#   file     NAME CATEGORY OK START END        one process for one picture
#   refused  NAME FILE STATUS                  a picture a program refused alone
#   common   FILE CATEGORY                     a picture of the one-process set
#   batch    NAME SCOPE RUN SECONDS FAILED     one process over the set (SCOPE "*") or over
#                                              one category's part of it
: >"$WORK/data"

# run_per_file NAME: one process per picture.
run_per_file() {
    local name="$1" file expected category start end got ok rc
    local -a cmd
    split_words cmd "${CMD[$name]}"
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
        printf 'file\t%s\t%s\t%s\t%s\t%s\n' "$name" "$category" "$ok" "$start" "$end" >>"$WORK/data"
        printf '%s\t%s\t%s\t%s\n' "$file" "$ok" "$rc" "${expected:+1}" >>"$WORK/pass.$name"
    done <"$WORK/rows"
}

# takes_several NAME: true when the program reads two files given in one process. Probed on the
# first picture with a symbol that it decodes alone: the output for "F F" must hold that text
# twice (a program may put the file name before each result).
takes_several() {
    local name="$1" file single double
    local -a cmd
    [ -z "${SEVERAL[$name]:-}" ] || return 0
    split_words cmd "${BATCH[$name]}"
    file=$(awk -F '\t' '$2 == 1 && $4 == 1 { print $1; exit }' "$WORK/pass.$name")
    [ -n "$file" ] || return 1
    single=$(timeout -s KILL "$TIMEOUT" "${cmd[@]}" "$file" 2>/dev/null </dev/null | od -An -v -tx1 | tr -d ' \n') || true
    double=$(timeout -s KILL "$TIMEOUT" "${cmd[@]}" "$file" "$file" 2>/dev/null </dev/null | od -An -v -tx1 | tr -d ' \n') || true
    single="${single%0a}"
    local rest="${double#*"$single"}"
    [ -n "$single" ] && [ "$rest" != "$double" ] && [ "${rest#*"$single"}" != "$rest" ]
}

# The one-process set: the pictures no program refused alone (exit status 0 or 1 in its
# per-file run), in manifest order, with their categories.
common_files() {
    local name
    for name in "${NAMES[@]}"; do
        awk -F '\t' -v name="$name" '$3 > 1 { print "refused\t" name "\t" $1 "\t" $3 }' \
            "$WORK/pass.$name" >>"$WORK/data"
    done
    awk -F '\037' -v data="$WORK/data" '
        BEGIN { while ((getline line < data) > 0) { split(line, r, "\t"); if (r[1] == "refused") bad[r[3]] = 1 } }
        !($1 in bad) { print $1 "\t" $3 }' "$WORK/rows" >"$WORK/common"
    awk '{ print "common\t" $0 }' "$WORK/common" >>"$WORK/data"
}

# time_one_process NAME SCOPE RUN LIST: one process over the files listed in LIST.
time_one_process() {
    local name="$1" scope="$2" run="$3" start end rc=0
    local -a cmd files
    split_words cmd "${BATCH[$name]}"
    mapfile -t files <"$4"
    start=$(now)
    timeout -s KILL $((TIMEOUT * ${#files[@]})) "${cmd[@]}" "${files[@]}" >/dev/null 2>&1 </dev/null || rc=$?
    end=$(now)
    awk -v s="$start" -v e="$end" -v failed=$((rc > 1)) -v name="$name" -v scope="$scope" -v run="$run" \
        'BEGIN { printf "batch\t%s\t%s\t%d\t%.4f\t%d\n", name, scope, run, e - s, failed }' >>"$WORK/data"
}

for name in "${NAMES[@]}"; do
    run_per_file "$name"
done
common_files
MULTI=()
for name in "${NAMES[@]}"; do
    if takes_several "$name"; then MULTI+=("$name"); fi
done
# Per category: ours against ZXing 3, the one that sets the pace.
PER_CAT=()
for name in norvale zxing3; do
    if [[ " ${MULTI[*]} " == *" $name "* ]]; then PER_CAT+=("$name"); fi
done
COMMON=$(wc -l <"$WORK/common")
mapfile -t CATS < <(cut -f2 "$WORK/common" | awk '!seen[$0]++')
# With one category that table would only repeat the whole set.
[ ${#CATS[@]} -gt 1 ] || PER_CAT=()

# The runs go round the readers (and the categories) so that a slow spell of the machine falls
# on all of them alike.
if [ "$COMMON" -gt 0 ] && [ ${#MULTI[@]} -gt 0 ]; then
    cut -f1 "$WORK/common" >"$WORK/list"
    log "running ${MULTI[*]} on the $COMMON files in one process, runs: $RUNS"
    for ((run = 1; run <= RUNS; run++)); do
        for name in "${MULTI[@]}"; do
            time_one_process "$name" "*" "$run" "$WORK/list"
        done
    done
    if [ ${#PER_CAT[@]} -gt 0 ]; then
        log "running ${PER_CAT[*]} on each of ${#CATS[@]} categories in one process, runs: $RUNS"
        for ((run = 1; run <= RUNS; run++)); do
            for cat in "${CATS[@]}"; do
                awk -F '\t' -v c="$cat" '$2 == c { print $1 }' "$WORK/common" >"$WORK/list"
                for name in "${PER_CAT[@]}"; do
                    time_one_process "$name" "$cat" "$run" "$WORK/list"
                done
            done
        done
    fi
fi

# --- the tables ------------------------------------------------------------------------------

echo "manifest: $MANIFEST ($ROWS pictures), per-file timeout ${TIMEOUT} s"
for name in "${NAMES[@]}"; do
    printf '%-8s %s FILE' "$name:" "$(show_words "${CMD[$name]}")"
    [ "${BATCH[$name]}" = "${CMD[$name]}" ] || printf '; one process: %s FILE...' "$(show_words "${BATCH[$name]}")"
    [ -z "${VERSION[$name]:-}" ] || printf '   (%s)' "${VERSION[$name]}"
    echo
done
for note in "${NOTES[@]}"; do
    echo "$note"
done
echo
awk -F '\t' -v names="${NAMES[*]}" -v multi="${MULTI[*]}" -v percat="${PER_CAT[*]}" \
    -v runs="$RUNS" -v rows="$ROWS" -v base="$BASE/" '
    function median(list,   a, n, i, j, t) {
        n = split(list, a, " ")
        if (n == 0) return 0
        for (i = 2; i <= n; i++) { t = a[i] + 0; for (j = i - 1; j >= 1 && a[j] + 0 > t; j--) a[j + 1] = a[j]; a[j + 1] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
    function short(f) { return index(f, base) == 1 ? substr(f, length(base) + 1) : f }
    $1 == "file" {
        name = $2; cat = $3; secs = $6 - $5
        if (!(cat in seen)) { seen[cat] = 1; order[++ncat] = cat }
        if (name == "norvale") total[cat]++
        pass[name, cat] += $4; passAll[name] += $4
        times[name, cat] = times[name, cat] " " secs; timesAll[name] = timesAll[name] " " secs
        sum[name] += secs
    }
    $1 == "refused" {
        if ($3 in refusedBy) refusedBy[$3] = refusedBy[$3] ", "
        else refusedOrder[++nrefused] = $3
        refusedBy[$3] = refusedBy[$3] $2 ": status " $4
    }
    $1 == "common" { common[$3]++; ncommon++ }
    $1 == "batch" {
        bt[$2, $3] = bt[$2, $3] " " $5
        if ($6) failed[$2, $3] = 1
    }
    END {
        nn = split(names, nm, " "); nmulti = split(multi, mu, " "); npc = split(percat, pc, " ")
        for (i = 1; i <= nmulti; i++) isMulti[mu[i]] = 1
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
        printf "%-*s %5d", w, "all", rows
        for (i = 1; i <= nn; i++) printf " %4d %7s  ", passAll[nm[i]], sprintf("%.1f%%", 100 * passAll[nm[i]] / rows)
        printf "  |"
        for (i = 1; i <= nn; i++) printf " %8.0f", 1000 * median(timesAll[nm[i]])
        printf "\n\n"

        printf "time for the whole set (wall seconds); one process: the %d of %d files that no program\n", ncommon, rows
        printf "refused alone, median of %d run%s\n", runs, runs == 1 ? "" : "s"
        printf "%-10s %13s %16s %13s %13s  %s\n", "decoder", "process/file", "one process", "norvale/peer", "norvale/peer", "runs"
        printf "%-10s %13s %16s %13s %13s\n", "", "", "", "per file", "1 process"
        for (i = 1; i <= nn; i++) {
            one[i] = isMulti[nm[i]] && ((nm[i], "*") in bt) ? median(bt[nm[i], "*"]) : -1
            shown = one[i] < 0 ? (isMulti[nm[i]] ? "-" : "one file/process") : sprintf("%.3f%s", one[i], failed[nm[i], "*"] ? "!" : "")
            r1 = (i == 1) ? "" : ratio(sum[nm[1]], sum[nm[i]])
            r2 = (i == 1) ? "" : (one[1] < 0 || one[i] < 0) ? "-" : ratio(one[1], one[i])
            spread = ""
            if (one[i] >= 0) { k = split(bt[nm[i], "*"], a, " "); for (j = 1; j <= k; j++) spread = spread sprintf(" %.3f", a[j]) }
            printf "%-10s %13.2f %16s %13s %13s %s\n", nm[i], sum[nm[i]], shown, r1, r2, spread
        }
        printf "(ratio below 1: norvale is faster; one process: all those files on one command line;\n"
        printf " \"one file/process\": the program takes one file only; \"!\": the process failed or timed out)\n"
        if (nrefused > 0) {
            printf "left out of the one-process set:"
            for (k = 1; k <= nrefused && k <= 10; k++) printf "\n  %s (%s)", short(refusedOrder[k]), refusedBy[refusedOrder[k]]
            if (nrefused > 10) printf "\n  and %d more", nrefused - 10
            printf "\n"
        }

        if (npc == 0 || ncommon == 0) exit
        printf "\none process per category (wall milliseconds over the files of the set in each category,\n"
        printf "median of %d run%s; share: of the sum of the norvale column)\n", runs, runs == 1 ? "" : "s"
        printf "%-*s %5s %10s %6s", w, "category", "files", pc[1], "share"
        for (i = 2; i <= npc; i++) printf " %10s %13s", pc[i], "norvale/" pc[i]
        printf "\n"
        for (i = 1; i <= npc; i++) catSum[i] = 0
        for (c = 1; c <= ncat; c++) {
            cat = order[c]
            if (!(cat in common)) continue
            for (i = 1; i <= npc; i++) { ms[i, cat] = 1000 * median(bt[pc[i], cat]); catSum[i] += ms[i, cat] }
        }
        for (c = 1; c <= ncat; c++) {
            cat = order[c]
            if (!(cat in common)) continue
            # (a bare ">" among printf arguments would redirect the output to a file)
            share = catSum[1] > 0 ? 100 * ms[1, cat] / catSum[1] : 0
            printf "%-*s %5d %9.0f%1s %5.1f%%", w, cat, common[cat], ms[1, cat], failed[pc[1], cat] ? "!" : "", share
            for (i = 2; i <= npc; i++)
                printf " %9.0f%1s %13s", ms[i, cat], failed[pc[i], cat] ? "!" : "", ratio(ms[1, cat], ms[i, cat])
            printf "\n"
        }
        printf "%-*s %5d %9.0f  %5.1f%%", w, "sum", ncommon, catSum[1], 100
        for (i = 2; i <= npc; i++) printf " %9.0f  %13s", catSum[i], ratio(catSum[1], catSum[i])
        printf "\n"
    }' "$WORK/data"
