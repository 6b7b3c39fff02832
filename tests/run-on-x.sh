#!/usr/bin/env bash
# Runs one window test on an X server of its own: window tests that run side by side never take each
# other's focus, and none depends on the display of the machine it runs on.
set -u
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
server=$!
for _ in $(seq 1 100); do
    [ -s "$display_file" ] && break
    sleep 0.05
done
display=$(head -n 1 "$display_file")
rm -f "$display_file"
if [ -z "$display" ]; then
    echo "no X server could be started (Xvfb)" >&2
    kill "$server" 2>/dev/null
    exit 1
fi
DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
