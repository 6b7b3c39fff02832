#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless, with a PostgreSQL server of its own
# for the tests of account sets on a server (or the one HEXIU_TEST_PG names).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
bash ../scripts/with-postgres.sh ctest --output-on-failure -j"$(nproc)"
