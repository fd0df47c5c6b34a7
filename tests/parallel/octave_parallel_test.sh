#!/bin/sh
# The modules under Octave's parallel package, on the package as pkg install puts it
# into a throwaway prefix: parallel_cases.m through parcellfun (two processes), or
# through netcellfun on a cluster of octave-pserver servers on this machine.
#   octave_parallel_test.sh parcellfun|cluster PACKAGE OCTAVE_CLI SUITE_DIR
#
# The cluster: octave-pserver refuses to run as root, so the servers run as the user
# mexpserver (created when missing). It knows only the ports 12501 and 12502, so each
# server gets a network namespace of its own (and a hostname and /etc/hosts, since it
# looks its peers up by name), joined by a bridge in the client's namespace: addresses
# that exist only inside these namespaces. Where namespaces are refused (a container
# without CAP_SYS_ADMIN) one server runs on loopback. Every server runs in a process
# group of its own, stopped by that id at exit; the last is killed in mid-run by the
# last case.
set -u
mode=$1
package=$(realpath "$2")
octave=$3
suite=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
user=mexpserver
fail() { echo "FAIL octave.$mode: $*"; exit 1; }
[ -e "$2" ] || { echo "not built: $2"; exit 77; }
[ -e /usr/libexec/octave-pserver ] ||
    { echo "skipped: no /usr/libexec/octave-pserver (Debian: octave-parallel)"; exit 77; }

tmp=$(mktemp -d /tmp/mexmodules-parallel.XXXXXX) || fail "no temporary folder"
tag=mxp$$
groups=""
watcher=""
client=""
namespaces=""
hostnames=""
cleanup() {
    for p in $client $watcher; do kill "$p" 2>/dev/null; done
    for g in $groups; do kill -TERM "-$g" 2>/dev/null; done
    for g in $groups; do
        i=0
        while kill -0 "-$g" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
        kill -KILL "-$g" 2>/dev/null
    done
    for h in $hostnames; do rm -f "/tmp/.octave-$h.pid" "/tmp/octave_error-$h.log" \
                                  "/tmp/octave_error-${h}_"*.log; done
    for n in $namespaces; do ip netns delete "$n" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

# The servers read the installed modules and the suite as $user.
chmod 755 "$tmp"
mkdir "$tmp/home" "$tmp/suite"
cp "$suite"/run_module_tests.m "$here"/*.m "$tmp/suite/"
cd "$tmp" && HOME=$tmp/home timeout 600 "$octave" --no-gui --norc --quiet --no-history --eval "
    pkg ('prefix', '$tmp/share', '$tmp/arch');
    pkg ('local_list', '$tmp/local_list');
    pkg ('global_list', '$tmp/global_list');
    pkg ('install', '$package');
    pkg ('load', 'mexmodules');
    f = fopen ('$tmp/modules', 'w'); fputs (f, fileparts (which ('permanent'))); fclose (f);" ||
    fail "pkg install failed"
modules=$(cat "$tmp/modules")
chmod -R a+rX "$tmp"

# The client runs in the background, so that a signal to this script stops it at once
# (sh runs a trap only once the command in the foreground has ended).
run_cases() {   # HOSTS KILL_FLAG PREFIX: Octave literals, and the command that runs it
    hosts_literal=$1
    flag_literal=$2
    shift 2
    HOME=$tmp/home "$@" timeout 600 "$octave" --no-gui --norc --quiet --no-history \
        --path "$tmp/suite" --path "$modules" \
        --eval "exit (parallel_cases ($hosts_literal, $flag_literal) > 0)" &
    client=$!
    wait "$client"
}

if [ "$mode" = parcellfun ]; then
    run_cases "{}" "''" env || fail "cases failed"
    echo "ok octave.parcellfun"
    exit 0
fi
[ "$mode" = cluster ] || fail "no mode $mode"

# A test running at the same time may create the user first.
id -u $user >/dev/null 2>&1 ||
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin $user ||
    id -u $user >/dev/null 2>&1 || fail "cannot create the user $user"
chown $user "$tmp/home"

# start_server HOSTNAME [NAMESPACE]: octave-pserver as $user in a new process group,
# in the namespace with its own hostname and hosts file when given; without the lock's
# descriptor, which it would otherwise hold for as long as it runs.
start_server() {
    if [ $# -gt 1 ]; then
        setsid nsenter --net="/run/netns/$2" unshare --uts --mount --propagation private \
            sh -c 'mount --bind "$1" /etc/hosts && hostname "$2" && shift 2 && exec "$@"' sh \
            "$tmp/hosts" "$1" runuser -u $user -- env HOME="$tmp/home" \
            /usr/libexec/octave-pserver --octave-binary="$(command -v "$octave")" --no-auth \
            >"$tmp/server-$1.out" 2>&1 9>&- &
    else
        setsid runuser -u $user -- env HOME="$tmp/home" \
            /usr/libexec/octave-pserver --octave-binary="$(command -v "$octave")" --no-auth \
            >"$tmp/server-$1.out" 2>&1 9>&- &
    fi
    groups="$groups $!"
    hostnames="$hostnames $1"
    last_group=$!
}

# The server writes its pid file once it listens; a port still in TIME_WAIT after an
# earlier run makes it stop at once ("bind: Address already in use"), and it is
# started again for up to 90 s.
wait_server() {   # HOSTNAME [NAMESPACE]
    i=0
    while [ $i -lt 900 ]; do
        if [ -s "/tmp/.octave-$1.pid" ] && kill -0 "$(cat "/tmp/.octave-$1.pid")" 2>/dev/null; then
            return 0
        fi
        if grep -qs 'Address already in use' "/tmp/octave_error-$1.log" && [ $((i % 50)) -eq 49 ]; then
            rm -f "/tmp/octave_error-$1.log"
            start_server "$@"
        fi
        sleep 0.1
        i=$((i + 1))
    done
    fail "server $1 did not start: $(cat "$tmp/server-$1.out" "/tmp/octave_error-$1.log" 2>/dev/null)"
}

# Network namespaces: a client and two servers on a bridge, 10.27.0.0/24 inside them.
if ip netns add "${tag}c" 2>/dev/null; then
    namespaces="${tag}c"
    c="ip -n ${tag}c"
    $c link set lo up && $c link add br0 type bridge && $c addr add 10.27.0.1/24 dev br0 &&
        $c link set br0 up || fail "cannot set up the client's namespace"
    printf '127.0.0.1 localhost\n10.27.0.1 %sc\n' $tag >"$tmp/hosts"
    for s in 1 2; do
        n=${tag}s$s
        ip netns add $n && namespaces="$namespaces $n" &&
            ip -n $n link set lo up && $c link add ${tag}v$s type veth peer name eth0 netns $n &&
            $c link set ${tag}v$s master br0 up && ip -n $n addr add 10.27.0.1$s/24 dev eth0 &&
            ip -n $n link set eth0 up || fail "cannot set up the namespace $n"
        printf '10.27.0.1%s %s\n' $s $n >>"$tmp/hosts"
    done
    chmod 644 "$tmp/hosts"
    for s in 1 2; do start_server ${tag}s$s ${tag}s$s; wait_server ${tag}s$s ${tag}s$s; done
    echo "cluster: 2 servers, each in a network namespace of its own"
    hosts="{'${tag}s1', '${tag}s2'}"
    # The client runs in the client's namespace, with the same hosts file.
    client_prefix=$tmp/in-client
    printf '%s\n' '#!/bin/sh' \
        "exec nsenter --net=/run/netns/${tag}c unshare --mount --propagation private \\" \
        "    sh -c 'mount --bind \"\$0\" /etc/hosts && exec \"\$@\"' $tmp/hosts \"\$@\"" \
        >"$client_prefix"
    chmod +x "$client_prefix"
else
    # Loopback: the ports are the machine's and the server's files are named by its
    # hostname, so one server at a time (flock, bounded), none while another's runs.
    lock=/var/cache/mexmodules/pserver.lock
    mkdir -p /var/cache/mexmodules && exec 9>"$lock" && flock -w 600 9 ||
        fail "cannot lock $lock within 600 s"
    h=$(uname -n)
    if [ -e "/tmp/.octave-$h.pid" ]; then
        [ "$(stat -c %U "/tmp/.octave-$h.pid")" = $user ] &&
            ! kill -0 "$(cat "/tmp/.octave-$h.pid")" 2>/dev/null ||
            fail "/tmp/.octave-$h.pid is another server's"
        rm -f "/tmp/.octave-$h.pid" "/tmp/octave_error-$h.log"
    fi
    start_server "$h"
    wait_server "$h"
    echo "cluster: network namespaces refused here, so 1 server on loopback"
    hosts="{'localhost'}"
    client_prefix="env"
fi

# The last case stops the last server's group once the client says it has started.
flag=$tmp/kill-now
(
    i=0
    while [ ! -e "$flag" ] && [ $i -lt 3000 ]; do sleep 0.1; i=$((i + 1)); done
    [ -e "$flag" ] && sleep 2 && kill -KILL "-$last_group"
) >/dev/null 2>&1 &
watcher=$!
run_cases "$hosts" "'$flag'" "$client_prefix"
status=$?
kill "$watcher" 2>/dev/null
[ $status -eq 0 ] || fail "cases failed"
echo "ok octave.cluster"
