#!/bin/sh
# korvo-host as installed: the program in ../lib/korvo/, run with the
# plug-in of your Korvo folder (~/.config/korvo/, made by korvo-setup), so
# that it reads the same Korvo.ini as Conky. Given --lib, or without that
# folder, the program uses the plug-in beside itself.
here=$(dirname "$(readlink -f "$0")")
program="$here/../lib/korvo/korvo-host"
plugin="$HOME/.config/korvo/libkorvo.so"
for arg in "$@"; do
  case "$arg" in
    --lib | --version | --help | -h) exec "$program" "$@" ;;
  esac
done
if [ -e "$plugin" ]; then exec "$program" --lib "$plugin" "$@"; fi
exec "$program" "$@"
