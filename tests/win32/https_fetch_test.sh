#!/usr/bin/env bash
# https_fetch_test.sh KORVO_HOST_EXE
# The secure path of a Windows build (WinHTTP under Wine) against a real
# nginx with TLS and a throw-away CA, through `korvo-host.exe --fetch`,
# which runs the same download code as the DLL. Runs itself in the
# namespace of tests/support/tls-namespace, with a Wine prefix and a
# wineserver of its own started inside it (Wine caches trust until its
# wineserver ends). Prints "N passed, N failed"; exit 1 on any failure
# (a server that does not start is one), 77 (skipped) when the namespace
# cannot be made or a program it needs is missing (1 with
# KORVO_REQUIRE_ALL_TESTS=1).
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
. "$root/scripts/wine-env"
host_exe="$1"
. "$root/tests/support/skip.sh"

for program in nginx python3 wine wineboot wineserver; do
  command -v "$program" >/dev/null || skip_test "https_fetch_test: $program is missing"
done

if [ -z "${KORVO_TLS_DIR:-}" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  status=0
  "$root/tests/support/tls-namespace" "$work/" bash "$here/$(basename "$0")" "$host_exe" ||
    status=$?
  [ "$status" = 77 ] && skip_test "https_fetch_test: tests/support/tls-namespace could not make its namespace"
  exit "$status"
fi

dir="$KORVO_TLS_DIR"
www="$dir/www"
mkdir -p "$www/sub" "$dir/tmp"
rss='<?xml version="1.0"?><rss version="2.0"><channel><title>Secure</title><item><title>One</title></item></channel></rss>'
printf '%s\n' "$rss" >"$www/feed.xml"
server() {  # listen, certificate
  cat <<CONF
  server {
    listen $1 ssl;
    root $www;
    ssl_certificate $dir/$2.pem;
    ssl_certificate_key $dir/$2.key;
    gzip on; gzip_types text/xml; gzip_min_length 0;
    location = /down.xml { return 302 http://good.korvo.test/feed.xml; }
    location = /c0 { return 302 /c1; }
    location = /c1 { return 302 /c2; }
    location = /c2 { return 302 /c3; }
    location = /c3 { return 302 /c4; }
    location = /c4 { return 302 /c5; }
    location = /c5 { return 302 /feed.xml; }
    location = /rel.xml { absolute_redirect off; return 302 sub/feed.xml; }
  }
CONF
}
cp "$www/feed.xml" "$www/sub/feed.xml"
# Wine's WinHTTP has no decompression: the bound is shown on a plain body.
head -c $((17 << 20)) /dev/zero >"$www/big.xml"
cat >"$dir/nginx.conf" <<CONF
daemon off; master_process off; user root root; worker_processes 1;
pid $dir/nginx.pid; error_log $dir/error.log;
events { worker_connections 64; }
http {
  access_log off; types { text/xml xml; }
  client_body_temp_path $dir/tmp; proxy_temp_path $dir/tmp; fastcgi_temp_path $dir/tmp;
  uwsgi_temp_path $dir/tmp; scgi_temp_path $dir/tmp;
$(server 127.0.0.20:443 good)
$(server 127.0.0.20:8443 good)
$(server '[::1]:443' good)
$(server 127.0.0.21:443 wrong)
$(server 127.0.0.22:443 untrusted)
$(server 127.0.0.23:443 expired)
  server {
    listen 127.0.0.20:80; root $www;
    location = /moved.xml { return 301 https://good.korvo.test/feed.xml; }
  }
}
CONF
# Only a hang guard for the servers' start: each takes well under a second.
start_guard=60
nginx_pid=""
stall_pid=""
cleanup() {
  WINEPREFIX="$dir/prefix" wineserver -k 2>/dev/null
  [ -n "$nginx_pid$stall_pid" ] && kill $nginx_pid $stall_pid 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT

nginx -e "$dir/error.log" -p "$dir" -c "$dir/nginx.conf" &
nginx_pid=$!
# A server that accepts and never says a word: the handshake never ends.
# It says "listening" through a FIFO once it does (or closes it, failing).
mkfifo "$dir/stall.fifo"
python3 -u -c '
import socket
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.24", 80)); s.listen(8)
print("listening")
held = []
while True:
    c, _ = s.accept(); held.append(c)
' >"$dir/stall.fifo" &
stall_pid=$!
said=""
read -r -t "$start_guard" said <"$dir/stall.fifo"
if [ "$said" != listening ]; then
  echo "FAILED: the stalling server did not start on 127.0.0.24:80"
  exit 1
fi
# nginx opens all its listening sockets before it serves any.
deadline=$((SECONDS + start_guard))
until (exec 3<>/dev/tcp/127.0.0.20/443) 2>/dev/null; do
  if ! kill -0 "$nginx_pid" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
    echo "FAILED: nginx did not start; its error log:"
    sed 's/^/    /' "$dir/error.log" 2>/dev/null
    exit 1
  fi
  sleep 0.05
done

export WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One persistent server for all the programs below: a program that starts
# while the last one's server is on its way out dies (scripts/wine-server).
"$root/scripts/wine-server" start

passed=0
failed=0
# case URL TEXT...: korvo-host --fetch URL prints every TEXT.
case_() {
  local url="$1"
  shift
  local out
  out="$(wine "$host_exe" --fetch "$url" 2>&1 | tr -d '\r'; echo "(exit status ${PIPESTATUS[0]})")"
  for text in "$@"; do
    if ! grep -qF -- "$text" <<<"$out"; then
      echo "FAILED: $url: expected \"$text\" in:"
      sed 's/^/    /' <<<"$out"
      # Once more with Wine's own warnings, to tell a fault of ours from
      # one of the stack underneath.
      echo "  again, with Wine's warnings:"
      WINEDEBUG=warn+winhttp,warn+crypt,warn+secur32 wine "$host_exe" --fetch "$url" 2>&1 |
        tr -d '\r' | tail -n 40 | sed 's/^/    /'
      failed=$((failed + 1))
      return
    fi
  done
  echo "ok: $url"
  passed=$((passed + 1))
}

case_ https://good.korvo.test/feed.xml "HTTP/1.1 200 OK" "title: Secure" "items: 1" "  1. One"
case_ https://good.korvo.test:8443/feed.xml "title: Secure"
case_ https://untrusted.korvo.test/feed.xml "error: Certificate not trusted."
case_ https://wrong.korvo.test/feed.xml "error: Certificate name mismatch."
case_ https://expired.korvo.test/feed.xml "error: Certificate expired."
case_ https://nowhere.korvo.test/feed.xml "error: Host name not found."
case_ http://good.korvo.test/moved.xml "HTTP/1.1 301 Moved Permanently" \
  "hop 2: https://good.korvo.test/feed.xml" "title: Secure"
case_ https://good.korvo.test/rel.xml "hop 2: https://good.korvo.test/sub/feed.xml" "title: Secure"
case_ https://good.korvo.test/c1 "hop 6: https://good.korvo.test/feed.xml" "title: Secure"
case_ https://good.korvo.test/c0 "error: Too many redirects."
case_ https://good.korvo.test/down.xml "error: Redirect to an insecure address refused."
case_ https://good.korvo.test/big.xml "error: Response too large."
case_ https://good.korvo.test:80/feed.xml "error: TLS handshake failed."
case_ https://stall.korvo.test:80/feed.xml "error: TLS handshake timed out."

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
