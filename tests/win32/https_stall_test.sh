#!/usr/bin/env bash
# https_stall_test.sh TEST_EXE
# Runs TEST_EXE (https_stall_test.cpp, a Windows program) under Wine
# against nginx with TLS and a throw-away CA, which hands two addresses on
# to plain servers that stop sending: one after a head and a little of the
# body, one before any answer. Runs itself in the namespace of
# tests/support/tls-namespace, with a Wine prefix and a wineserver of its
# own started inside it. Exit 77 (skipped) when the namespace cannot be
# made.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
. "$root/scripts/wine-env"
test_exe="$1"

if [ -z "${KORVO_TLS_DIR:-}" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  "$root/tests/support/tls-namespace" "$work/" bash "$here/$(basename "$0")" "$test_exe"
  exit $?
fi

dir="$KORVO_TLS_DIR"
mkdir -p "$dir/www" "$dir/tmp"
cat >"$dir/nginx.conf" <<CONF
daemon off; master_process off; user root root; worker_processes 1;
pid $dir/nginx.pid; error_log $dir/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $dir/tmp; proxy_temp_path $dir/tmp; fastcgi_temp_path $dir/tmp;
  uwsgi_temp_path $dir/tmp; scgi_temp_path $dir/tmp;
  server {
    listen 127.0.0.20:443 ssl; root $dir/www;
    ssl_certificate $dir/good.pem; ssl_certificate_key $dir/good.key;
    proxy_buffering off; postpone_output 0; proxy_read_timeout 120s;
    location = /head.xml { proxy_pass http://127.0.0.25:80; }
    location = /silent.xml { proxy_pass http://127.0.0.26:80; }
  }
}
CONF
nginx -e "$dir/error.log" -p "$dir" -c "$dir/nginx.conf" &
nginx_pid=$!
# Servers that read the request and then hold the connection: one after a
# head that promises 100000 bytes and a little of them, one at once.
python3 -c '
import socket, sys, threading
def serve(address, answer):
    s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((address, 80)); s.listen(8)
    held = []
    while True:
        c, _ = s.accept(); held.append(c)
        request = b""
        while b"\r\n\r\n" not in request:
            got = c.recv(4096)
            if not got: break
            request += got
        c.sendall(answer)
head = (b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 100000\r\n\r\n"
        b"<?xml version=\"1.0\"?><rss version=\"2.0\"><channel>")
threading.Thread(target=serve, args=("127.0.0.25", head), daemon=True).start()
serve("127.0.0.26", b"")
' &
upstream_pid=$!
cleanup() {
  WINEPREFIX="$dir/prefix" wineserver -k 2>/dev/null
  kill "$nginx_pid" "$upstream_pid" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 100); do
  (exec 3<>/dev/tcp/127.0.0.20/443) 2>/dev/null && (exec 3<>/dev/tcp/127.0.0.26/80) 2>/dev/null &&
    break
  sleep 0.05
done

export WINEPREFIX="$dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot --init >/dev/null 2>&1
wineserver --wait
wine "$test_exe" 2>&1 | tr -d '\r'
exit "${PIPESTATUS[0]}"
