#!/bin/sh
# Requests per second of pupdate-server (signing with a key of its own)
# beside nginx serving the same tree published with
# `pupdate-server --publish --sign-key` (server/nginx.conf), both on
# 127.0.0.1, measured by build/bench/ServerLoadBench. The two servers take
# turns, resource by resource and round by round, so a change in the
# machine's load strikes both alike; each resource's best rate of the rounds
# is printed beside nginx's with the ratio.
# Usage: bench/server-load-vs-nginx.sh [build dir] [rounds] [seconds per measurement]
#        (default: build, 3, 0.5: about a minute)
set -eu
build=${1:-build}
rounds=${2:-3}
seconds=${3:-0.5}
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
"$build/server/pupdate-server" --make-key "$work/publisher" >/dev/null
"$build/server/pupdate-server" --publish "$work/tree" "$work/site" \
  --sign-key "$work/publisher.key" >/dev/null

port_server=18931
port_nginx=18932
"$build/server/pupdate-server" --port "$port_server" --root "$work/tree" \
  --sign-key "$work/publisher.key" >/dev/null &
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
# The server keeps a file's digest once the file is two seconds old.
sleep 2

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min) on $(nproc) cores"
for resource in FileList Digest Signature DataFile1MB; do
  for side in $(seq "$rounds" | sed 's/.*/server nginx/'); do
    if [ "$side" = server ]; then port=$port_server; else port=$port_nginx; fi
    PUPDATE_BENCH_PORT=$port "$build/bench/ServerLoadBench" --benchmark_filter="^BM_$resource/" \
      --benchmark_min_time="$seconds" --benchmark_format=csv 2>/dev/null |
      sed -n "s/^\"BM_$resource\/real_time\/threads:\([0-9]*\)\",.*/$side $resource \1 &/p" \
        >>"$work/rates"
  done
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"

# CSV columns: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,
# items_per_second,label,error_occurred,error_message
python3 - "$work/rates" <<'PY'
import csv, sys
rates = {}
for line in open(sys.argv[1]):
    side, resource, clients, row = line.split(" ", 3)
    fields = next(csv.reader([row]))
    rate = None if fields[8] == "true" else float(fields[6])
    best = rates.get((side, resource, clients))
    rates[(side, resource, clients)] = rate if best is None or (rate or 0) > best else best
names = {"FileList": "filelist.php", "Digest": "filemd5.php", "Signature": "filesig.php",
         "DataFile1MB": "1 MB data file"}
print("requests per second, the best of each side's rounds:")
print(f"{'resource':16} {'clients':>7} {'pupdate-server/s':>17} {'nginx/s':>10} {'ratio':>6}")
slow = []
for resource, name in names.items():
    for clients in ("1", "32"):
        server = rates.get(("server", resource, clients))
        nginx = rates.get(("nginx", resource, clients))
        if not server or not nginx:
            print(f"{name:16} {clients:>7} {'failed' if not server else f'{server:.0f}':>17} "
                  f"{'failed' if not nginx else f'{nginx:.0f}':>10}")
            slow.append(name)
            continue
        ratio = server / nginx
        print(f"{name:16} {clients:>7} {server:17.0f} {nginx:10.0f} {ratio:6.2f}")
        if clients == "32" and ratio < 0.9:
            slow.append(name)
if slow:
    print("below 0.9 x nginx with 32 clients: " + ", ".join(slow))
else:
    print("every resource at 0.9 x nginx or more with 32 clients")
PY
