#!/bin/bash
# Times the scan against the disk-usage tools that Debian packages, on a
# synthetic tree or on any folder, after checking that the totals agree.
#
#   bench/compare.sh [options]
#     --dir DIR        benchmark DIR (e.g. /usr) instead of the synthetic tree
#     --size 1m|200k   which synthetic tree (default 1m)
#     --data DIR       where the synthetic trees live (default /work/benchdata)
#     --cold           drop the page cache before each run (needs root)
#     --runs N         timed runs per command (default 10 warm, 5 cold)
#     --warmup N       untimed runs first, warm only (default 2)
#     --threads N      threads for the "tfbench" row (default 0: the scan's default)
#     --commit REV     measure the code of commit REV, built from a snapshot in
#                      $DATA/snap-REV, instead of the working tree (which other
#                      work may be changing meanwhile)
#     --baseline REV   add a "baseline" row, single-threaded: the tfbench of commit
#                      REV (built the same way), or a tfbench binary given by path
#     --limit S        end a timed run after S seconds (default 600)
#     --no-peers       time only tfbench
#     --no-check       skip the agreement check
#     --no-time        skip the timing
#     --memory         peak memory at 200k and 1m files (/usr/bin/time -v)
#     --syscalls       system calls per file (strace -c -f), tfbench and peers
#
# Environment: TFBENCH_BUILD (default build/bench under the repository).
# Results (hyperfine CSV and JSON, strace tables) go to $DATA/results.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
WORKBUILD=${TFBENCH_BUILD:-$ROOT/build/bench}
BUILD=$WORKBUILD
DATA=/work/benchdata
SIZE=1m
DIR=""
COLD=0
RUNS=""
WARMUP=2
THREADS=0
BASELINE=""
COMMIT=""
LIMIT=600
PEERS=1
CHECK=1
TIME=1
MEMORY=0
SYSCALLS=0

usage() { sed -n '2,26p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
while [ $# -gt 0 ]; do
    case "$1" in
        --dir) DIR=$2; shift ;;
        --size) SIZE=$2; shift ;;
        --data) DATA=$2; shift ;;
        --cold) COLD=1 ;;
        --runs) RUNS=$2; shift ;;
        --warmup) WARMUP=$2; shift ;;
        --threads) THREADS=$2; shift ;;
        --baseline) BASELINE=$2; shift ;;
        --commit) COMMIT=$2; shift ;;
        --limit) LIMIT=$2; shift ;;
        --no-peers) PEERS=0 ;;
        --no-check) CHECK=0 ;;
        --no-time) TIME=0 ;;
        --memory) MEMORY=1 ;;
        --syscalls) SYSCALLS=1 ;;
        -h|--help) usage ;;
        *) echo "unknown option: $1" >&2; usage ;;
    esac
    shift
done
case "$SIZE" in 1m|200k) ;; *) echo "--size is 1m or 200k" >&2; exit 2 ;; esac
[ -n "$RUNS" ] || { [ "$COLD" = 1 ] && RUNS=5 || RUNS=10; }

RESULTS=$DATA/results
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
mkdir -p "$RESULTS"

# Release build without sanitizers, only the two benchmark programs.
build() {
    if [ ! -f "$WORKBUILD/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$WORKBUILD" -DCMAKE_BUILD_TYPE=Release -DTALLYFIELD_SANITIZE= \
              -DTALLYFIELD_TESTS=OFF -DTALLYFIELD_BENCH=ON >/dev/null
    fi
    cmake --build "$WORKBUILD" -j2 --target tfbench gentree >/dev/null
}

# Builds the benchmark programs of one commit from a snapshot of its files
# and prints the build folder.
snapshot() {
    local rev
    rev=$(git -C "$ROOT" rev-parse --short "$1^{commit}") || { echo "no commit $1" >&2; exit 2; }
    local src=$DATA/snap-$rev
    if [ ! -f "$src/build/CMakeCache.txt" ]; then
        rm -rf "$src"
        mkdir -p "$src"
        git -C "$ROOT" archive "$rev" | tar -x -C "$src"
        cmake -S "$src" -B "$src/build" -DCMAKE_BUILD_TYPE=Release -DTALLYFIELD_SANITIZE= \
              -DTALLYFIELD_TESTS=OFF -DTALLYFIELD_BENCH=ON >/dev/null
    fi
    cmake --build "$src/build" -j2 --target tfbench >/dev/null
    cmake --build "$src/build" -j2 --target gentree >/dev/null 2>&1 || true
    echo "$src/build"
}

tools() {
    local missing=""
    for t in hyperfine ncdu gdu duc strace; do command -v $t >/dev/null || missing="$missing $t"; done
    [ -x /usr/bin/time ] || missing="$missing time"
    [ -z "$missing" ] || "$ROOT/scripts/install-deps.sh" $missing
}

# Generates the synthetic tree of one size unless it is complete already;
# the generator's totals line beside it marks it complete.
tree_of() {
    local size=$1
    local tree=$DATA/tree-$size
    if [ ! -s "$tree.gentree" ]; then
        rm -rf "$tree"
        echo "== generating $tree" >&2
        "$GENTREE" --preset "$size" --seed 1 "$tree" >"$tree.gentree.part"
        mv "$tree.gentree.part" "$tree.gentree"
    fi
    echo "$tree"
}

# key=value field of a line
field() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$2" | head -n1; }

# The scan counts every entry that is not a folder as a file with its own
# (lstat) size, counts folders without their own sizes, counts hard links
# once per link and leaves out entries named RECYCLER or "System Volume
# Information". find counts the same things directly; du -b counts folders'
# own sizes too and -l counts each hard link, so du -sbl minus the sum of the
# folders' own sizes must give the same bytes.
check() {
    local dir=$1 bad=0
    echo "== totals on $dir"
    local self; self=$("$TFBENCH" --threads 1 --self "$dir")
    local tb tf td
    tb=$(field bytes "$self"); tf=$(field files "$self"); td=$(field dirs "$self")
    local fb ff fd fdsz
    read -r fb ff < <(find "$dir" -mindepth 1 ! -type d -printf '%s\n' | awk '{s+=$1; n++} END {printf "%.0f %d\n", s, n}')
    read -r fd fdsz < <(find "$dir" -type d -printf '%s\n' | awk '{s+=$1; n++} END {printf "%d %.0f\n", n-1, s}')
    local du; du=$(du -sbl "$dir" | cut -f1)
    local dufiles=$((du - fdsz))
    printf '  %-28s %20s %10s %8s\n' source bytes files folders
    printf '  %-28s %20s %10s %8s\n' "tfbench --self --threads 1" "$tb" "$tf" "$td"
    local selfn; selfn=$("$TFBENCH" --threads "$THREADS" --self "$dir")
    printf '  %-28s %20s %10s %8s\n' "tfbench --self --threads $THREADS" "$(field bytes "$selfn")" \
           "$(field files "$selfn")" "$(field dirs "$selfn")"
    [ "$(field bytes "$selfn") $(field files "$selfn") $(field dirs "$selfn")" = "$tb $tf $td" ] || bad=1
    printf '  %-28s %20s %10s %8s\n' "find (not -type d; -type d)" "$fb" "$ff" "$fd"
    printf '  %-28s %20s %10s %8s\n' "du -sbl - folder sizes" "$dufiles" "" ""
    [ "$tb" = "$fb" ] && [ "$tf" = "$ff" ] && [ "$td" = "$fd" ] && [ "$tb" = "$dufiles" ] || bad=1
    if [ -s "$dir.gentree" ]; then
        local g; g=$(cat "$dir.gentree")
        printf '  %-28s %20s %10s %8s\n' "gentree" "$(field bytes "$g")" "$(field files "$g")" "$(field dirs "$g")"
        [ "$tb" = "$(field bytes "$g")" ] && [ "$tf" = "$(field files "$g")" ] && [ "$td" = "$(field dirs "$g")" ] || bad=1
    fi
    local skipped; skipped=$(find "$dir" \( -name RECYCLER -o -name 'System Volume Information' \) -print -quit)
    [ -z "$skipped" ] || echo "  note: $dir holds names the scan skips, e.g. $skipped"

    # The breakdown, record by record, against find's sums per subfolder.
    local t
    for t in 1 "$THREADS"; do
        "$TFBENCH" --threads "$t" --records "$dir" >"$TMP/records"
        sed -n 's/^record bytes=\([0-9]*\) files=\([0-9]*\) dirs=\([0-9]*\) largest=[0-9]* name=.*\/\([^/]*\)$/\4\t\1\t\2\t\3/p' \
            "$TMP/records" | LC_ALL=C sort >"$TMP/ours-$t"
    done
    cmp -s "$TMP/ours-1" "$TMP/ours-$THREADS" || { echo "  breakdown: --threads 1 and --threads $THREADS differ"; bad=1; }
    mv "$TMP/ours-1" "$TMP/ours"
    { find "$dir" -mindepth 2 ! -type d -printf '%P\t%s\tf\n'; find "$dir" -mindepth 2 -type d -printf '%P\t0\td\n'; \
      find "$dir" -mindepth 1 -maxdepth 1 -type d -printf '%P\t0\tt\n'; } |
        awk -F'\t' '{ i = index($1, "/"); top = i ? substr($1, 1, i - 1) : $1;
                      if ($3 == "t") seen[top] = 1; else if ($3 == "f") { b[top] += $2; n[top]++ } else d[top]++ }
                    END { for (t in seen) printf "%s\t%.0f\t%d\t%d\n", t, b[t], n[t], d[t] }' |
        grep -v -E '^(RECYCLER|System Volume Information)	' | LC_ALL=C sort >"$TMP/theirs"
    local nrec; nrec=$(wc -l <"$TMP/ours")
    if cmp -s "$TMP/ours" "$TMP/theirs"; then
        echo "  breakdown: all $nrec records agree with find's per-subfolder sums"
    else
        echo "  breakdown: records differ from find's per-subfolder sums (name, bytes, files, folders):"
        diff "$TMP/ours" "$TMP/theirs" | head -n 20 | sed 's/^/    /'
        bad=1
    fi
    if [ "$bad" = 0 ]; then echo "  totals agree"; else echo "  TOTALS DISAGREE"; fi
    return $bad
}

drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }

timing() {
    local dir=$1 label=$2
    local drop="sync; echo 3 > /proc/sys/vm/drop_caches"
    local db=$TMP/duc.db
    local names=() cmds=() preps=()
    # Every command runs under the same timeout, so a hung scan fails the run.
    add() { names+=("$1"); cmds+=("timeout -k 10 $LIMIT $2"); preps+=("$3"); }
    local base=":"
    [ "$COLD" = 1 ] && base=$drop
    [ -z "$BASELINE" ] || add "baseline" "'$BASELINE' --threads 1 '$dir'" "$base"
    add "tfbench-t1" "$TFBENCH --threads 1 '$dir'" "$base"
    add "tfbench" "$TFBENCH --threads $THREADS '$dir'" "$base"
    if [ "$PEERS" = 1 ]; then
        add "du" "du -b --max-depth=1 '$dir'" "$base"
        add "ncdu" "ncdu -0 -x -o /dev/null '$dir'" "$base"
        add "gdu" "gdu -n -p -a -c '$dir'" "$base"
        add "duc" "duc index -d '$db' '$dir'" "rm -f '$db'; $base"
    fi
    local args=(--runs "$RUNS" --export-csv "$TMP/t.csv" --export-json "$TMP/t.json" --style basic)
    [ "$COLD" = 1 ] || args+=(--warmup "$WARMUP")
    [ "$COLD" = 1 ] && drop_caches
    local i
    for i in "${!names[@]}"; do args+=(--prepare "${preps[$i]}" --command-name "${names[$i]}"); done
    echo "== timing on $dir ($label, $RUNS runs each$([ "$COLD" = 1 ] || echo ", $WARMUP warm-up"))"
    hyperfine "${args[@]}" "${cmds[@]}" >"$TMP/hyperfine.log" 2>&1 || { cat "$TMP/hyperfine.log"; return 1; }
    local stamp; stamp=$(date +%Y%m%d-%H%M%S)
    cp "$TMP/t.csv" "$RESULTS/$stamp-$(basename "$dir")-$label.csv"
    cp "$TMP/t.json" "$RESULTS/$stamp-$(basename "$dir")-$label.json"
    # CSV: command,mean,stddev,median,user,system,min,max (seconds)
    awk -F, 'NR > 1 { name[NR] = $1; med[NR] = $4 * 1000; mn[NR] = $7 * 1000; mx[NR] = $8 * 1000;
                      if ($1 == "tfbench") ref = $4 * 1000; if ($1 == "tfbench-t1") ref1 = $4 * 1000; last = NR }
             END { printf "  %-12s %12s %12s %12s %13s %16s\n", "command", "median ms", "min ms", "max ms",
                          "/ tfbench", "/ tfbench-t1";
                   for (i = 2; i <= last; i++)
                       printf "  %-12s %12.1f %12.1f %12.1f %12.2fx %15.2fx\n", name[i], med[i], mn[i], mx[i],
                              med[i] / ref, med[i] / ref1 }' "$TMP/t.csv"
}

memory() {
    echo "== peak memory (/usr/bin/time -v: maximum resident set size)"
    local size tree
    for size in 200k 1m; do
        tree=$(tree_of $size)
        local rows=("tfbench-t1|$TFBENCH|1" "tfbench|$TFBENCH|$THREADS") row name bin t line rss
        [ -z "$BASELINE" ] || rows+=("baseline|$BASELINE|1")
        for row in "${rows[@]}"; do
            IFS='|' read -r name bin t <<<"$row"
            line=$(/usr/bin/time -v -o "$TMP/time.txt" "$bin" --threads "$t" "$tree")
            rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$TMP/time.txt")
            printf '  %-5s %-11s files=%-8s maxrss_kb=%s\n' "$size" "$name" "$(field files "$line")" "$rss"
        done
    done
}

# One strace -c table per program; calls per entry counts files and folders.
syscalls() {
    local dir=$1 line files dirs
    line=$("$TFBENCH" --threads 1 --self "$dir")
    files=$(field files "$line"); dirs=$(field dirs "$line")
    echo "== system calls on $dir ($files files, $dirs folders; strace -c -f, warm cache)"
    local names=("tfbench-t1" "tfbench") cmds=("$TFBENCH --threads 1 '$dir'" "$TFBENCH --threads $THREADS '$dir'")
    if [ -n "$BASELINE" ]; then
        names+=(baseline)
        cmds+=("'$BASELINE' --threads 1 '$dir'")
    fi
    if [ "$PEERS" = 1 ]; then
        names+=(du ncdu gdu duc)
        cmds+=("du -b --max-depth=1 '$dir'" "ncdu -0 -x -o /dev/null '$dir'" "gdu -n -p -a -c '$dir'"
               "duc index -d '$TMP/s.db' '$dir'")
    fi
    local stamp; stamp=$(date +%Y%m%d-%H%M%S)
    printf '  %-12s %10s %8s %8s  %s\n' command calls "/ file" "/ entry" "largest counts"
    local i total top
    for i in "${!names[@]}"; do
        rm -f "$TMP/s.db"
        eval "strace -c -f -o '$TMP/strace.txt' ${cmds[$i]}" >/dev/null 2>&1 || true
        cp "$TMP/strace.txt" "$RESULTS/$stamp-$(basename "$dir")-strace-${names[$i]}.txt"
        # Rows: % time, seconds, usecs/call, calls, [errors,] syscall.
        total=$(awk '$NF == "total" { print $4 }' "$TMP/strace.txt")
        top=$(awk '$1 ~ /^[0-9.]+$/ && $NF != "total" && NF >= 5 { print $4, $NF }' "$TMP/strace.txt" |
              sort -rn | head -n 4 | awk '{ printf "%s%s %s", (NR > 1 ? ", " : ""), $2, $1 }')
        awk -v name="${names[$i]}" -v total="$total" -v files="$files" -v entries=$((files + dirs)) -v top="$top" \
            'BEGIN { printf "  %-12s %10d %8.2f %8.2f  %s\n", name, total, total / files, total / entries, top }'
    done
}

if [ -n "$COMMIT" ]; then
    BUILD=$(snapshot "$COMMIT")
else
    build
fi
TFBENCH=$BUILD/bench/tfbench
GENTREE=$BUILD/bench/gentree
[ -x "$GENTREE" ] || { build; GENTREE=$WORKBUILD/bench/gentree; }
if [ -n "$BASELINE" ] && [ ! -x "$BASELINE" ]; then
    BASELINE=$(snapshot "$BASELINE")/bench/tfbench
fi
echo "== tfbench: $TFBENCH${BASELINE:+; baseline: $BASELINE}"
tools
if [ -z "$DIR" ]; then DIR=$(tree_of "$SIZE"); fi
DIR=${DIR%/}
[ -n "$DIR" ] || DIR=/
status=0
[ "$CHECK" = 1 ] && { check "$DIR" || status=1; }
[ "$TIME" = 1 ] && timing "$DIR" "$([ "$COLD" = 1 ] && echo cold || echo warm)"
[ "$MEMORY" = 1 ] && memory
[ "$SYSCALLS" = 1 ] && syscalls "$DIR"
exit $status
