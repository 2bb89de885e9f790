#!/bin/sh
# resolver_namespace.sh PROGRAM.exe [ARGS...]
# Runs a Windows test program under Wine in a mount and network namespace
# of its own, in which /etc/resolv.conf is an empty file the program may
# write (KORVO_RESOLV_CONF, as a Wine path): Wine looks names up with the
# system's resolver, in the program's process. Its name server can take
# port 53 of 127.0.0.1 there, which no other program holds. Wine's server
# makes the program's sockets, so the program gets a server of its own in
# the namespaces, on an overlay of the prefix that ends with them: the
# run's server and prefix stay as they are. Exits 77 when the namespaces
# cannot be made (1 with KORVO_REQUIRE_ALL_TESTS=1).
set -eu
root="$(cd "$(dirname "$0")/../.." && pwd)"
. "$root/tests/support/skip.sh"
export WINEPREFIX="${WINEPREFIX:-$root/build-win-wine/prefix}"
unshare -mn true 2>/dev/null || skip_test "resolver_namespace: unshare -mn is not allowed here"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
: >"$dir/resolv.conf"
mkdir "$dir/upper" "$dir/work"
"$root/scripts/wine-run" --prefix-only
export KORVO_RESOLV_DIR="$dir" KORVO_RESOLV_CONF="Z:$dir/resolv.conf" KORVO_ROOT="$root"
unshare -mn --propagation private sh -c '
  ip link set lo up &&
  mount --bind "$KORVO_RESOLV_DIR/resolv.conf" /etc/resolv.conf &&
  mount -t overlay overlay -o "lowerdir=$WINEPREFIX,upperdir=$KORVO_RESOLV_DIR/upper,workdir=$KORVO_RESOLV_DIR/work" "$WINEPREFIX" &&
  "$KORVO_ROOT/scripts/wine-server" start || exit 1
  status=0
  "$KORVO_ROOT/scripts/wine-run" "$@" || status=$?
  "$KORVO_ROOT/scripts/wine-server" stop
  exit $status' resolver_namespace "$@"
