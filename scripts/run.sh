#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program from its program directory (build/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec ./build/hexiu-payroll
