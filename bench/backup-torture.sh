#!/usr/bin/env bash
# Backups cut off by kill -9 or by a full disk never harm the account set or an earlier backup.
#
#   bash bench/backup-torture.sh [BUILD_DIR] [KILLED_RUNS] [FULL_DISK_RUNS]     (default: build 50 10)
#
# Killed runs: an account set with a backup of an earlier day and one of the day; each run starts a backup
# of the day (build/bench/hexiu-bench-backup) and kills it with SIGKILL after a random time between 0 and
# 1.2 times a whole run. Full disk: the same on a 12 MB tmpfs (mounted here, so run as root) filled to ten
# different levels, so that the copy, its sync or the compaction runs out of space.
# After every run: the earlier backups are byte for byte as before; the day's backup is either as before
# or a whole new copy; the account set and every backup pass `pragma integrity_check` and hold the
# account set's content; no other *.mdb appeared (the login list shows every *.mdb); a failure's message
# says that the disk is full and that the earlier backup is kept, in Chinese only. Prints the figures; ends with 1
# when a check failed.
set -euo pipefail
build="$(cd "${1:-build}" && pwd)"
killedRuns="${2:-50}"
fullRuns="${3:-10}"
tool="$build/bench/hexiu-bench-backup"
generate="$build/bench/hexiu-generate"
for program in "$tool" "$generate"; do
    [ -x "$program" ] || { echo "missing $program: build the targets hexiu-bench-backup and hexiu-generate" >&2; exit 2; }
done
command -v sqlite3 >/dev/null || { echo "sqlite3 is needed" >&2; exit 2; }

work="$(mktemp -d /tmp/hexiu-torture-XXXXXX)"
full="$work/full"
cleanup() {
    if mountpoint -q "$full" 2>/dev/null; then umount "$full"; fi
    rm -rf "$work"
}
trap cleanup EXIT

earlier=2026-01-01
day=2026-01-02
failures=0
fail() {
    echo "FAIL ($1): $2"
    failures=$((failures + 1))
}
hash() { sha256sum "$1" | cut -d' ' -f1; }
# The content as rows, whatever the pages: a compacted file and its backup hold the same.
content() { sqlite3 -readonly "$1" .dump | sha256sum | cut -d' ' -f1; }
# Opened for writing, as the next login opens it: the journal of a cut-off compaction is rolled back.
sound() { [ "$(sqlite3 "$1" 'pragma integrity_check' 2>&1)" = ok ]; }
soundReadOnly() { [ "$(sqlite3 -readonly "$1" 'pragma integrity_check' 2>&1)" = ok ]; }
listed() { (cd "$1" && ls -1 -- *.mdb 2>/dev/null | LC_ALL=C sort | tr '\n' ' '); }
inode() { stat -c %i "$1"; }

# Checks one folder after a run: $1 folder, $2 run, $3 hash and $4 inode of the day's backup before the
# run (a backup replaced by the rename is another inode). Sets dayBackup to kept or new.
check() {
    local folder="$1" run="$2" before="$3" beforeInode="$4" set="$1/厂.mdb" back="$1/厂$day.mdb"
    local old="$1/厂$earlier.mdb"
    [ "$(listed "$folder")" = "厂.mdb 厂$earlier.mdb 厂$day.mdb " ] ||
        fail "$run" "the folder lists $(listed "$folder")"
    [ "$(hash "$old")" = "$earlierHash" ] || fail "$run" "the earlier day's backup changed"
    if [ "$(inode "$back")" = "$beforeInode" ]; then
        dayBackup=kept
        [ "$(hash "$back")" = "$before" ] || fail "$run" "the day's backup was written in place"
    else
        dayBackup=new
        soundReadOnly "$back" || fail "$run" "the new backup fails the integrity check"
        [ "$(content "$back")" = "$expected" ] || fail "$run" "the new backup holds other rows"
    fi
    [ -e "$set-journal" ] && journals=$((journals + 1))
    sound "$set" || fail "$run" "the account set fails the integrity check"
    [ "$(content "$set")" = "$expected" ] || fail "$run" "the account set holds other rows"
    soundReadOnly "$old" || fail "$run" "the earlier day's backup fails the integrity check"
}

# Makes a folder with the account set and its two backups; $2 the generator's size options.
prepare() {
    local folder="$1"
    shift
    mkdir -p "$folder"
    "$generate" "$@" --seed 7 --start 2025-10 --template "$build/mlcp.dll" --quiet --out "$folder/厂.mdb"
    "$tool" "$folder/厂.mdb" "$earlier" >/dev/null
    "$tool" "$folder/厂.mdb" "$day" >/dev/null
    earlierHash="$(hash "$folder/厂$earlier.mdb")"
    expected="$(content "$folder/厂.mdb")"
}

# --- Killed at random moments -------------------------------------------------------------------------
killed="$work/killed"
prepare "$killed" --workers 200 --processes 200 --months 4
size=$(($(stat -c %s "$killed/厂.mdb") / 1024 / 1024))
start=$(date +%s%N)
"$tool" "$killed/厂.mdb" "$day" >/dev/null
wholeMs=$((($(date +%s%N) - start) / 1000000))
journals=0
kept=0
replaced=0
leftovers=0
for run in $(seq 1 "$killedRuns"); do
    before="$(hash "$killed/厂$day.mdb")"
    beforeInode="$(inode "$killed/厂$day.mdb")"
    delayMs=$((RANDOM * wholeMs * 12 / 10 / 32767))
    "$tool" "$killed/厂.mdb" "$day" >/dev/null &
    pid=$!
    sleep "$(printf '%d.%03d' $((delayMs / 1000)) $((delayMs % 1000)))"
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    [ -n "$(ls "$killed" | grep '\.tmp$')" ] && leftovers=$((leftovers + 1))
    check "$killed" "killed run $run after $delayMs ms" "$before" "$beforeInode"
    if [ "$dayBackup" = kept ]; then kept=$((kept + 1)); else replaced=$((replaced + 1)); fi
done
# The next whole backup removes what the killed ones left.
"$tool" "$killed/厂.mdb" "$day" >/dev/null || fail "after the killed runs" "a whole backup failed"
[ -z "$(ls "$killed" | grep '\.tmp$')" ] || fail "after the killed runs" "temporary files are left"

echo "Killed runs: $killedRuns on a $size MB account set (a whole backup took $wholeMs ms)"
echo "  day's backup kept as it was: $kept, replaced by a whole new copy: $replaced"
echo "  compaction cut off (journal rolled back at the next opening): $journals"
echo "  runs that left a temporary file (never listed, removed by the next backup): $leftovers"

# --- Full disk --------------------------------------------------------------------------------------
mkdir -p "$full"
mount -t tmpfs -o size=12m tmpfs "$full"
prepare "$full/dir" --workers 30 --processes 60 --months 2
setSize=$(stat -c %s "$full/dir/厂.mdb")
journals=0
failedCopy=0
failedCompaction=0
succeeded=0
for run in $(seq 1 "$fullRuns"); do
    read -r blocks blockSize < <(stat -f -c '%a %S' "$full")
    free=$((blocks * blockSize))
    # From no space at all to one and a half account sets' worth.
    leave=$(((run - 1) * setSize * 3 / 2 / (fullRuns - 1)))
    fill=$((free > leave ? free - leave : 0))
    head -c "$fill" /dev/zero >"$full/filler" 2>/dev/null || true
    before="$(hash "$full/dir/厂$day.mdb")"
    beforeInode="$(inode "$full/dir/厂$day.mdb")"
    status=0
    message="$("$tool" "$full/dir/厂.mdb" "$day")" || status=$?
    rm -f "$full/filler"
    [ -z "$(ls "$full/dir" | grep '\.tmp$')" ] || fail "full disk run $run" "a temporary file is left"
    check "$full/dir" "full disk run $run" "$before" "$beforeInode"
    if [ $status -eq 0 ]; then
        succeeded=$((succeeded + 1))
    else
        case "$message" in
        *压缩*) failedCompaction=$((failedCompaction + 1)); compactionMessage="$message" ;;
        *) failedCopy=$((failedCopy + 1)); copyMessage="$message"
           [ "$dayBackup" = kept ] || fail "full disk run $run" "a failed backup changed the earlier one"
           case "$message" in *保持不变*) ;; *) fail "full disk run $run" "no word of the kept backup: $message" ;; esac ;;
        esac
        case "$message" in *磁盘空间不足* | *磁盘已满*) ;; *) fail "full disk run $run" "no word of the full disk: $message" ;; esac
        # Chinese only: the quoted file names aside, no letter of English.
        bare="$(printf '%s' "$message" | sed 's/“[^”]*”//g')"
        if printf '%s' "$bare" | grep -q '[A-Za-z]'; then fail "full disk run $run" "English in: $message"; fi
    fi
done
echo "Full disk: $fullRuns runs on a 12 MB tmpfs, $((setSize / 1024)) KB account set"
echo "  refused while copying (earlier backup kept): $failedCopy, backup written but compaction refused: $failedCompaction, whole: $succeeded"
for message in "${copyMessage:-}" "${compactionMessage:-}"; do
    [ -z "$message" ] || echo "  message: $message" | sed "s|$full/dir/||g"
done
echo "Failed checks: $failures"
[ $failures -eq 0 ]
