#!/bin/bash
# Live packet-list benchmark (root): the main window showing the "Packets" tab under Xvfb
# inside one network namespace, UDP from another at a steady rate with new conversations every
# second. Prints the frames the kernel received on the monitored veth against the frames the
# program counted, how often the list repainted and the longest stand-still of the window, and
# keeps a screenshot.
#
#   bench/live-packets.sh [BUILD_DIR] [RATE] [SECONDS] [KEYS_PER_SECOND]
set -u
. "$(dirname "$0")/netns-pair.sh"
build=$(realpath "${1:-build}")
rate=${2:-200000}
seconds=${3:-60}
keys=${4:-1000}
driver=$build/tests/shell/connectionlist_driver
gen=$build/bench/quelmint-livegen
for f in "$driver" "$gen"; do
  [ -x "$f" ] || { echo "live-packets: $f not built" >&2; exit 2; }
done
na=qm-cb-a nb=qm-cb-b ia=qmcba ib=qmcbb a=10.231.92.1 b=10.231.92.2
root=$(mktemp -d)
xpid=
cleanup() {
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  drop_pair $na $nb
  rm -rf "$root"
}
trap cleanup EXIT
make_pair $na $nb $ia $ib $a $b || exit 1
mkdir -p "$root/cfg/Quelmint" "$root/run" && chmod 700 "$root/run"
cat > "$root/cfg/Quelmint/Quelmint.conf" <<CONF
[settings]
Interface=$ia
InterfaceDesc=veth $ia
CloseToTray=False
StartMinimized=False
CONF
cat > "$root/run.sh" <<RUN
cd '$root'
'$driver' > driver.log 2>&1 & pid=\$!
echo \$pid > pid
while [ ! -e shoot ]; do sleep 0.2; kill -0 \$pid 2>/dev/null || break; done
import -window root '$root/shot.png' >> driver.log 2>&1
touch shot-taken
wait \$pid
RUN
ip netns exec $na env -u QT_QPA_PLATFORM -u DISPLAY XDG_CONFIG_HOME="$root/cfg" \
  XDG_RUNTIME_DIR="$root/run" xvfb-run -a -s "-screen 0 640x480x24" sh "$root/run.sh" &
xpid=$!

dump() { # writes rows.txt and prints one of its values
  rm -f "$root/rows.txt"; touch "$root/dump"
  for _ in $(seq 100); do [ -e "$root/rows.txt" ] && break; sleep 0.1; done
}
value() { awk -v k="$1" '$1 == k {print $2}' "$root/rows.txt"; }
counter() { ip netns exec $na cat /sys/class/net/$ia/statistics/$1; }

for _ in $(seq 150); do
  pid=$(cat "$root/pid" 2>/dev/null)
  [ -n "$pid" ] && [ "$(wc -l < /proc/$pid/net/packet 2>/dev/null || echo 0)" -ge 2 ] && break
  sleep 0.2
done
sleep 1
ip netns exec $nb ping -c 1 -W 2 $a > /dev/null # neighbours known before the clock starts
sleep 1
dump
frames0=$(value frames) rx0=$(counter rx_packets) tx0=$(counter tx_packets) paints0=$(value paints)
start=$(date +%s.%N)
genout=$(ip netns exec $nb "$gen" --to $a --rate "$rate" --seconds "$seconds" --keys-per-second "$keys")
sleep 3 # the last batches
dump
end=$(date +%s.%N)
frames1=$(value frames) rx1=$(counter rx_packets) tx1=$(counter tx_packets) paints1=$(value paints)
rows=$(value rows) gap=$(value maxGapMs)
touch "$root/shoot"
for _ in $(seq 100); do [ -e "$root/shot-taken" ] && break; sleep 0.2; done
mkdir -p "$build/artifacts" && cp "$root/shot.png" "$build/artifacts/live-packets.png" 2>/dev/null
touch "$root/quit"
wait $xpid; xpid=
kernel=$(( (rx1 - rx0) + (tx1 - tx0) ))
counted=$(( frames1 - frames0 ))
echo "generator: $genout"
echo "kernel frames on $ia (received + sent): $kernel; counted by the program: $counted;" \
     "not counted: $(( kernel - counted ))"
awk -v p0="$paints0" -v p1="$paints1" -v s="$start" -v e="$end" -v r="$rows" -v g="$gap" 'BEGIN {
  printf "list repaints: %d in %.1f s (%.1f a second); rows at the end: %d; longest stand-still of the window: %d ms\n", p1 - p0, e - s, (p1 - p0) / (e - s), r, g }'
echo "screenshot: $build/artifacts/live-packets.png"
