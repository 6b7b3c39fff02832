#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-sanitize/ and runs the
# whole test suite there once more. A fault of memory (use after free, overflow, leak) or undefined
# behaviour stops the test at once with its stack. The suppressions (scripts/sanitize/) name faults inside
# the Qt and X libraries only, each with the reason.
set -euo pipefail
cd "$(dirname "$0")/.."
here="$(pwd)"

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHEXIU_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$here/scripts/sanitize/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$here/scripts/sanitize/ubsan.supp"
cd build-sanitize
bash "$here/scripts/with-postgres.sh" ctest --output-on-failure -j"$(nproc)"
