#!/usr/bin/env bash
# Builds the project and runs every benchmark, each in a process of its own, and prints the table:
# operation, size, runs, median, min, max and peak memory. Run without arguments it also writes the table,
# with the machine it ran on, into bench/README.md. Arguments go to hexiu-bench, e.g. --only 'open' or
# --runs 9; a partial run leaves bench/README.md alone.
#
# Generated account sets are kept in ${HEXIU_BENCH_DATA:-~/.cache/hexiu-bench} and reused; they are
# made anew when the generator or the schema changes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

load="$(cut -d' ' -f1 /proc/loadavg)"
table="$(mktemp)"
trap 'rm -f "$table" "$table.block"' EXIT
./build/bench/hexiu-bench --markdown "$table" "$@"

if [ $# -eq 0 ]; then
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
