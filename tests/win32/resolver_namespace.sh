#!/bin/sh
# resolver_namespace.sh PROGRAM.exe [ARGS...]
# Runs a Windows test program under Wine in a mount namespace of its own in
# which /etc/resolv.conf is an empty file the program may write
# (KORVO_RESOLV_CONF, as a Wine path): Wine looks names up with the
# system's resolver, in the program's process. Exits 77 when the namespace
# cannot be made.
set -eu
root="$(cd "$(dirname "$0")/../.." && pwd)"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
: >"$dir/resolv.conf"
if ! unshare -m true 2>/dev/null; then
  echo "resolver_namespace: unshare -m is not allowed here" >&2
  # Where every test must run (CI), a missing prerequisite fails.
  case "${KORVO_REQUIRE_ALL_TESTS:-0}" in 0 | "") exit 77 ;; *) exit 1 ;; esac
fi
export KORVO_RESOLV_DIR="$dir" KORVO_RESOLV_CONF="Z:$dir/resolv.conf" KORVO_ROOT="$root"
unshare -m --propagation private sh -c '
  mount --bind "$KORVO_RESOLV_DIR/resolv.conf" /etc/resolv.conf &&
  exec "$KORVO_ROOT/scripts/wine-run" "$@"' resolver_namespace "$@"
