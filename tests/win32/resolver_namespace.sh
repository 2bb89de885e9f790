#!/bin/sh
# resolver_namespace.sh PROGRAM.exe [ARGS...]
# Runs a Windows test program under Wine in a mount and network namespace
# of its own, in which /etc/resolv.conf is an empty file the program may
# write (KORVO_RESOLV_CONF, as a Wine path): Wine looks names up with the
# system's resolver, in the program's process. Its name server can take
# port 53 of 127.0.0.1 there, which no other program holds. The Wine
# server is reached through its socket file, outside either namespace.
# Exits 77 when the namespaces cannot be made (1 with
# KORVO_REQUIRE_ALL_TESTS=1).
set -eu
root="$(cd "$(dirname "$0")/../.." && pwd)"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
: >"$dir/resolv.conf"
. "$root/tests/support/skip.sh"
unshare -mn true 2>/dev/null || skip_test "resolver_namespace: unshare -mn is not allowed here"
export KORVO_RESOLV_DIR="$dir" KORVO_RESOLV_CONF="Z:$dir/resolv.conf" KORVO_ROOT="$root"
unshare -mn --propagation private sh -c '
  ip link set lo up && mount --bind "$KORVO_RESOLV_DIR/resolv.conf" /etc/resolv.conf &&
  exec "$KORVO_ROOT/scripts/wine-run" "$@"' resolver_namespace "$@"
