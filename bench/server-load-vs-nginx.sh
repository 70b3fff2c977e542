#!/bin/sh
# Requests per second of pupdate-server beside nginx serving the same tree
# published with `pupdate-server --publish` (server/nginx.conf), both on
# 127.0.0.1, measured by build/bench/ServerLoadBench.
# Usage: bench/server-load-vs-nginx.sh [build dir]   (default: build)
set -eu
build=${1:-build}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
server_pid=
nginx_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -n "$nginx_pid" ] && kill -QUIT "$nginx_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cmake --build "$build" --target ServerLoadBench pupdate-server >/dev/null

mkdir -p "$work/tree/NR2/FIRMWARE" "$work/nginx"
head -c 1048576 /dev/urandom >"$work/tree/NR2/FIRMWARE/main.hex"
echo "old" >"$work/tree/NR2/FIRMWARE/old.hex"
printf 'main.hex\nold.hex\n' >"$work/tree/NR2/FIRMWARE/.filelist"
echo "New R2 Bender,NR2" >"$work/tree/machlist.txt"
"$build/server/pupdate-server" --publish "$work/tree" "$work/site" >/dev/null

port_server=18931
port_nginx=18932
"$build/server/pupdate-server" --port "$port_server" --root "$work/tree" >/dev/null &
server_pid=$!

sed -e "s|listen [^;]*;|listen 127.0.0.1:$port_nginx;|" -e "s|root /srv/pupdate;|root $work/site;|" \
  "$source_dir/server/nginx.conf" >"$work/nginx/site.conf"
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
error_log $work/nginx/error.log;
pid $work/nginx/nginx.pid;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  include $work/nginx/site.conf;
}
CONF
/usr/sbin/nginx -p "$work/nginx/" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
sleep 1

echo "pupdate-server (requests per second: items_per_second):"
PUPDATE_BENCH_PORT=$port_server "$build/bench/ServerLoadBench" --benchmark_min_time=2
echo "nginx, one worker, the published tree:"
PUPDATE_BENCH_PORT=$port_nginx "$build/bench/ServerLoadBench" --benchmark_min_time=2
