#!/bin/sh
# Fails when a file of the core library includes a window or widget header: the core computes and stores,
# and must build and run without the widgets library.
# Usage: check-core-layer.sh CORE_DIR WIDGET_HEADER_DIR...
core=$1
shift
status=0
for file in $(find "$core" -name '*.cpp' -o -name '*.h'); do
    for name in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]\([^>"]*\)[>"].*/\1/p' "$file"); do
        bad=
        case "$name" in
            gui/* | QtWidgets/* | QtPrintSupport/* | QtWidgets | QtPrintSupport) bad=yes ;;
        esac
        if [ -z "$bad" ]; then
            for dir in "$@"; do
                [ -f "$dir/$name" ] && bad=yes && break
            done
        fi
        if [ -n "$bad" ]; then
            echo "$file: the core must not include <$name>" >&2
            status=1
        fi
    done
done
exit $status
