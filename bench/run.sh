#!/usr/bin/env bash
# Builds the project and runs every benchmark, each in a process of its own, and prints the table:
# operation, size, runs, median, min, max, peak memory, target and whether it was met. Run without
# arguments (or with --check alone) it also writes the table, with the machine it ran on, into
# bench/README.md. Arguments go to hexiu-bench, e.g. --only 'open', --runs 9 or --check (the status is
# then non-zero when a row missed its target); a partial run leaves bench/README.md alone.
#
# Generated account sets are kept in ${HEXIU_BENCH_DATA:-~/.cache/hexiu-bench} and reused; they are
# made anew when the generator or the schema changes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

load="$(cut -d' ' -f1 /proc/loadavg)"
table="$(mktemp)"
trap 'rm -f "$table" "$table.block"' EXIT
status=0
./build/bench/hexiu-bench --markdown "$table" "$@" || status=$?

full=1
for a in "$@"; do [ "$a" = --check ] || full=0; done
# Status 3: every row ran, and --check found a missed target, which the table marks.
if [ $full -eq 1 ] && { [ $status -eq 0 ] || [ $status -eq 3 ]; }; then
    cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
    memory="$(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
    system="$(. /etc/os-release && echo "$PRETTY_NAME")"
    {
        echo "Measured on $(date -u +%Y-%m-%d): $(nproc) cores, ${cpu:-unknown CPU}, $memory memory, $system;"
        echo "load average $load when the run began (other work on the machine widens min to max)."
        echo
        cat "$table"
    } >"$table.block"
    awk -v block="$table.block" '
        /<!-- results:begin -->/ { print; while ((getline line < block) > 0) print line; skip = 1; next }
        /<!-- results:end -->/ { skip = 0 }
        !skip { print }' bench/README.md >bench/README.md.new
    mv bench/README.md.new bench/README.md
    echo "bench/README.md updated."
fi
exit $status
