#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program from its program directory (build/).
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what the program and the demo account set need: the tests are built by the test command.
bash scripts/setup.sh hexiu-payroll programdir reportproject hexiu-generate
# A first start finds something to look at: when the program directory holds no account set yet, a small
# demo one is made, with the last three months of piece counts and salary items. The program itself
# still lists only "新建工资库..." when there is no account set.
if ! compgen -G "build/*.mdb" >/dev/null; then
    start="$(date -d "$(date +%Y-%m-01) -3 months" +%Y-%m)"
    ./build/bench/hexiu-generate --preset small --seed 1 --start "$start" --template build/mlcp.dll \
        --out "build/演示工资库.mdb"
fi
exec ./build/hexiu-payroll
