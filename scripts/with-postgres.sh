#!/usr/bin/env bash
# Runs a command with a PostgreSQL server of its own: a new cluster in a temporary folder, owned by an
# unprivileged user (the server refuses to run as root), listening on 127.0.0.1 only, on a free port.
# The command finds it through HEXIU_TEST_PG (a libpq connection string) and PGPASSFILE (its password).
# The server is stopped and its folder removed when the command ends, whatever happens.
#
# A developer who has a server of their own sets HEXIU_TEST_PG (and PGPASSFILE where it needs a
# password): the command then runs against that one and nothing is started.
#
#     bash scripts/with-postgres.sh ctest --output-on-failure
set -euo pipefail

if [ -n "${HEXIU_TEST_PG:-}" ]; then
    exec "$@"
fi

# The server is the tests' alone: the program itself needs only the client library, so the server package
# comes in here, when a test run needs it, and not with the program's packages.
server_bin() { ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true; }
bin="$(server_bin)"
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq postgresql-15 >/dev/null
    bin="$(server_bin)"
fi
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "with-postgres: no PostgreSQL server is installed (Debian package postgresql-15)" >&2
    exit 1
fi

as_owner=()
owner="$(id -un)"
if [ "$(id -u)" -eq 0 ]; then
    owner=nobody
    as_owner=(runuser -u "$owner" --)
fi

folder="$(mktemp -d "${TMPDIR:-/tmp}/hexiu-pg.XXXXXX")"
chmod 755 "$folder"
data="$folder/data"
log="$folder/server.log"
password="hexiu-$RANDOM$RANDOM"
stop() {
    if [ -f "$data/postmaster.pid" ]; then
        "${as_owner[@]}" "$bin/pg_ctl" -D "$data" -m immediate stop >/dev/null 2>&1 || true
    fi
    rm -rf "$folder"
}
trap stop EXIT
trap 'exit 130' INT TERM

printf '%s\n' "$password" >"$folder/pwfile"
chown -R "$owner" "$folder"
"${as_owner[@]}" "$bin/initdb" -D "$data" -U hexiu --pwfile="$folder/pwfile" --auth=scram-sha-256 \
    --encoding=UTF8 --locale=C.UTF-8 >"$folder/initdb.log" 2>&1 || {
    cat "$folder/initdb.log" >&2
    exit 1
}
rm -f "$folder/pwfile"

# A port nobody listens on; the server itself refuses one taken meanwhile, and the next is tried.
started=""
for port in $(shuf -i 20000-60000 -n 20); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then continue; fi
    if "${as_owner[@]}" "$bin/pg_ctl" -D "$data" -l "$log" -w -t 30 \
        -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$folder" \
        start >/dev/null 2>&1; then
        started="$port"
        break
    fi
done
if [ -z "$started" ]; then
    echo "with-postgres: the server did not start" >&2
    cat "$log" >&2 || true
    exit 1
fi

umask 077
printf '127.0.0.1:%s:*:hexiu:%s\n' "$started" "$password" >"$folder/pgpass"
export PGPASSFILE="$folder/pgpass"
export HEXIU_TEST_PG="host=127.0.0.1 port=$started user=hexiu dbname=postgres"
echo "with-postgres: a server of its own on 127.0.0.1:$started"
"$@"
