#!/bin/sh
# Installs Korvo for you alone, without root: the programs and samples of
# this folder into ~/.local (bin/, lib/korvo/, share/korvo/), then your
# Korvo folder ~/.config/korvo/ with korvo-setup, which keeps your own
# Korvo.ini, host.ini and korvo.conkyrc there. Run it again to update.
# It ends by printing the command that starts Conky.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
prefix="$HOME/.local"
cd "$here"
# install(1) puts a new file in place of the old one instead of writing
# into it, so a Conky that runs the old library keeps running.
find bin lib share -type f | sort | while IFS= read -r f; do
  if [ -x "$f" ]; then mode=0755; else mode=0644; fi
  install -D -m "$mode" "$f" "$prefix/$f"
done
echo "Installed Korvo @PROJECT_VERSION@ into $prefix (bin/korvo-host, bin/korvo-setup, lib/korvo/, share/korvo/)."
case ":${PATH:-}:" in
  *":$prefix/bin:"*) ;;
  *) echo "$prefix/bin is not on your PATH yet: log in again, or run $prefix/bin/korvo-host by its path." ;;
esac
exec "$prefix/bin/korvo-setup"
