#!/usr/bin/env bash
# Side by side on a plain vsftpd on 127.0.0.1 (started here, as root): a recursive delete of 1,000 files in
# 10 folders and an upload of 1,000 files of 4 KB, each by kalvorctl and by lftp, and one large file by
# kalvorctl and by raw curl. Rounds are interleaved so that a busy moment hits both sides alike. Prints times
# and ratios; it never fails on time.
#   bench/bench_transfers.sh KALVORCTL [ROUNDS]      (BENCH_LARGE_MB=1024 sets the large file's size)
set -euo pipefail
kalvorctl=$(realpath "${1:?path to kalvorctl}")
rounds=${2:-3}
large_mb=${BENCH_LARGE_MB:-1024}
here=$(cd "$(dirname "$0")/.." && pwd)

if ! command -v lftp >/dev/null || ! command -v bc >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq && apt-get install -y -qq --no-install-recommends lftp bc >/dev/null
fi

work=$(mktemp -d)
server_out="$work/server.txt"
/usr/bin/python3 "$here/tests/support/vsftpd_server.py" plain >"$server_out" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 200); do grep -q '^PORT ' "$server_out" 2>/dev/null && break; sleep 0.1; done
grep -q '^PORT ' "$server_out" || { cat "$server_out"; exit 1; }
value() { sed -n "s/^$1 //p" "$server_out"; }
port=$(value PORT); root=$(value ROOT); user=$(value USER); password=$(value PASSWORD)
export KALVOR_PASSWORD=$password
url="ftp://$user@127.0.0.1:$port"

mkdir -p "$work/small"
for i in $(seq -w 1000); do head -c 4096 /dev/urandom >"$work/small/f$i.bin"; done
head -c $((large_mb << 20)) /dev/zero >"$work/large.bin"

seed_tree() { # 1,000 files in 10 folders, owned by the server's account
  rm -rf "$root/del"
  for d in $(seq 10); do
    mkdir -p "$root/del/d$d"
    for f in $(seq 100); do echo x >"$root/del/d$d/f$f"; done
  done
  chown -R "$user" "$root/del"
}
fresh_folder() { rm -rf "${root:?}/$1"; mkdir -p "$root/$1"; chown "$user" "$root/$1"; }
seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N); echo "$end - $start" | bc; }
lftp_do() { lftp -u "$user,$password" -e "set cmd:fail-exit yes; $1; quit" "127.0.0.1:$port"; }

declare -A total
add() { total[$1]=$(echo "${total[$1]:-0} + $2" | bc); printf '  %-26s %8.3f s\n' "$1" "$2"; }
for round in $(seq "$rounds"); do
  echo "round $round"
  seed_tree; add "delete kalvorctl" "$(seconds "$kalvorctl" --url "$url" rm -r /del)"
  seed_tree; add "delete lftp" "$(seconds lftp_do 'rm -r /del')"
  # --overwrite: neither peer asks the server first.
  fresh_folder up; add "upload kalvorctl" "$(seconds "$kalvorctl" --url "$url" put --overwrite "$work"/small/* /up)"
  fresh_folder up; add "upload lftp" "$(seconds lftp_do "mput -O /up $work/small/*")"
  fresh_folder big; add "large kalvorctl" "$(seconds "$kalvorctl" --url "$url" put --overwrite "$work/large.bin" /big)"
  fresh_folder big
  add "large curl" "$(seconds curl -s -u "$user:$password" -T "$work/large.bin" "ftp://127.0.0.1:$port/big/")"
done
ratio() { echo "scale=2; ${total[$1]} / ${total[$2]}" | bc; }
echo "totals over $rounds rounds (large file: $large_mb MB)"
echo "  delete 1,000 files in 10 folders: kalvorctl ${total[delete kalvorctl]} s, lftp ${total[delete lftp]} s, ratio $(ratio 'delete kalvorctl' 'delete lftp')x"
echo "  upload 1,000 files of 4 KB:       kalvorctl ${total[upload kalvorctl]} s, lftp ${total[upload lftp]} s, ratio $(ratio 'upload kalvorctl' 'upload lftp')x"
echo "  one large file:                   kalvorctl ${total[large kalvorctl]} s, curl ${total[large curl]} s, ratio $(ratio 'large kalvorctl' 'large curl')x"
