# Telnet servers and the relay proxy on 127.0.0.1 for the end-to-end
# scenarios; source this file.  Each start function waits until its port
# accepts connections and leaves the server's PID in SERVER_PID (set in the
# calling shell, so call them without a command substitution).
#
#   free_port                      a port nobody listens on
#   start_inetutils_telnetd PORT   inetutils telnetd under socat, one per connection
#   start_busybox_telnetd PORT     busybox telnetd
#   start_relay                    the relay proxy on a free port, in RELAY_PORT
#   stop_server PID
#   servers_cleanup                stop every server left and remove the work files
#
# The servers run a shell without login whose prompt is SERVER_PROMPT.

SERVER_PROMPT='srv$ '
SERVER_DIR=$(mktemp -d "${TMPDIR:-/tmp}/zarnek-servers.XXXXXX")
SERVER_SHELL="$SERVER_DIR/shell"
cat >"$SERVER_SHELL" <<EOF
#!/bin/sh
PS1='$SERVER_PROMPT' exec /bin/sh -i
EOF
chmod +x "$SERVER_SHELL"

SERVER_PIDS=()

servers_cleanup() {
    local pid
    for pid in "${SERVER_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    rm -rf "$SERVER_DIR"
}

port_listening() {  # port_listening PORT: true when something accepts there
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

free_port() {
    local port tries
    for tries in $(seq 50); do
        port=$((20000 + RANDOM % 40000))
        port_listening "$port" || { echo "$port"; return 0; }
    done
    return 1
}

wait_listening() {  # wait_listening PORT PID
    local tries
    for tries in $(seq 100); do
        port_listening "$1" && return 0
        kill -0 "$2" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}

# start_server PORT CMD...: CMD in the background, until PORT accepts.
start_server() {
    local port=$1
    shift
    "$@" </dev/null >/dev/null 2>"$SERVER_DIR/server-$port.log" &
    SERVER_PID=$!
    SERVER_PIDS+=("$SERVER_PID")
    if ! wait_listening "$port" "$SERVER_PID"; then
        echo "server on port $port did not start: $*" >&2
        cat "$SERVER_DIR/server-$port.log" >&2
        return 1
    fi
}

start_inetutils_telnetd() {  # start_inetutils_telnetd PORT
    start_server "$1" socat "TCP-LISTEN:$1,bind=127.0.0.1,reuseaddr,fork" \
        "EXEC:/usr/sbin/telnetd -h -E $SERVER_SHELL,nofork"
}

start_busybox_telnetd() {  # start_busybox_telnetd PORT
    start_server "$1" busybox telnetd -F -b 127.0.0.1 -p "$1" -l "$SERVER_SHELL"
}

# start_relay: the relay proxy, socat reading the request line "relay HOST PORT" and then carrying the
# bytes both ways, on a free port in RELAY_PORT.
start_relay() {
    cat >"$SERVER_DIR/relay" <<'EOF2'
#!/bin/sh
read -r _ host port
exec socat - "TCP:$host:$port"
EOF2
    chmod +x "$SERVER_DIR/relay"
    RELAY_PORT=$(free_port)
    start_server "$RELAY_PORT" socat "TCP-LISTEN:$RELAY_PORT,bind=127.0.0.1,reuseaddr,fork" "EXEC:$SERVER_DIR/relay"
}

stop_server() {  # stop_server PID
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}
