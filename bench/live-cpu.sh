#!/bin/bash
# Live CPU benchmark (root): CPU seconds per million frames that capture costs, for the real
# program under Xvfb (window and capture helper together) or for tcpdump -w /dev/null, while
# quelmint-livegen sends 60-byte UDP frames at a steady rate between two network namespaces.
# Prints one line: what ran, the rate asked and reached, the frames the kernel received, CPU
# seconds of the window and of the helper, CPU seconds per million frames, wake-ups a second.
#
#   bench/live-cpu.sh [BUILD_DIR] [RATE] [SECONDS] [quelmint|tcpdump] [TAB]
#
# TAB: 1 "Bytes" (default), 2 "Packets". BUILD_DIR may be an older build without a helper: the
# window's own CPU is then all there is. The sender is this tree's build/bench/quelmint-livegen
# (or $QUELMINT_LIVEGEN), so that every program measured gets the same flood.
set -u
. "$(dirname "$0")/netns-pair.sh"
build=$(realpath "${1:-build}")
rate=${2:-200000}
seconds=${3:-20}
what=${4:-quelmint}
tab=${5:-1}
gen=${QUELMINT_LIVEGEN:-$(realpath "$(dirname "$0")/../build")/bench/quelmint-livegen}
[ -x "$gen" ] || { echo "live-cpu: $gen not built" >&2; exit 2; }
na=qm-cpu-a nb=qm-cpu-b ia=qmcpua ib=qmcpub a=10.231.93.1 b=10.231.93.2
root=$(mktemp -d)
xpid= pid= sink=
cleanup() {
  [ -n "$sink" ] && kill "$sink" 2>/dev/null
  [ -n "$pid" ] && kill "$pid" 2>/dev/null # the program ends, then xvfb-run and its server
  [ -n "$xpid" ] && sleep 1 && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
  drop_pair $na $nb
  rm -rf "$root"
}
trap cleanup EXIT
make_pair $na $nb $ia $ib $a $b || exit 1
# Something takes the datagrams in, so no "port unreachable" answers go back.
ip netns exec $na python3 -c "
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(('$a', 41500)); time.sleep(100000)" &
sink=$!

# CPU ticks (user + system) of a process and all of its descendants, and their wake-ups
# (voluntary and involuntary context switches).
ticks() {
  local p t=0 c
  for p in "$@"; do
    [ -r /proc/$p/stat ] || continue
    t=$((t + $(awk '{print $14 + $15}' /proc/$p/stat)))
    for c in $(cat /proc/$p/task/*/children 2>/dev/null); do t=$((t + $(ticks $c))); done
  done
  echo $t
}
switches() {
  local p s=0 c
  for p in "$@"; do
    [ -r /proc/$p/status ] || continue
    s=$((s + $(awk '/ctxt_switches/ {n += $2} END {print n}' /proc/$p/status)))
    for c in $(cat /proc/$p/task/*/children 2>/dev/null); do s=$((s + $(switches $c))); done
  done
  echo $s
}

if [ "$what" = tcpdump ]; then
  ip netns exec $na tcpdump -q -i $ia -B 32768 -w /dev/null 2>/dev/null &
  xpid=$!
  sleep 2
  pid=$(pgrep -P $xpid tcpdump || echo $xpid)
  helper=
else
  mkdir -p "$root/cfg/Quelmint" "$root/run" "$root/bin" && chmod 700 "$root/run"
  cp "$build/app/quelmint" "$root/bin/"
  [ -x "$build/app/quelmint-capture" ] && cp "$build/app/quelmint-capture" "$root/bin/"
  printf '[settings]\nInterface=%s\nInterfaceDesc=veth %s\nCloseToTray=False\nStartMinimized=False\n' \
    $ia $ia > "$root/cfg/Quelmint/Quelmint.conf"
  printf 'cd %s\nbin/quelmint > program.log 2>&1 & echo $! > pid\nwait\n' "$root" > "$root/run.sh"
  ip netns exec $na env -u QT_QPA_PLATFORM -u DISPLAY XDG_CONFIG_HOME="$root/cfg" \
    XDG_DATA_HOME="$root/data" XDG_RUNTIME_DIR="$root/run" \
    xvfb-run -a -s "-screen 0 640x480x24" sh "$root/run.sh" &
  xpid=$!
  for _ in $(seq 150); do
    pid=$(cat "$root/pid" 2>/dev/null)
    [ -n "$pid" ] && [ "$(wc -l < /proc/$pid/net/packet 2>/dev/null || echo 0)" -ge 2 ] && break
    sleep 0.2
  done
  if [ "$tab" = 2 ]; then
    sleep 1
    win=$(DISPLAY=$(ip netns exec $na sh -c 'ls /tmp/.X11-unix' | head -1 | tr X :) xdotool search --name Quelmint 2>/dev/null | head -1)
    [ -n "$win" ] && DISPLAY=$(ip netns exec $na sh -c 'ls /tmp/.X11-unix' | head -1 | tr X :) xdotool mousemove --window "$win" 100 17 click 1
  fi
  helper=$(cat /proc/$pid/task/*/children 2>/dev/null | head -1)
fi
sleep 2
counter() { ip netns exec $na cat /sys/class/net/$ia/statistics/$1; }
hz=$(getconf CLK_TCK)
rx0=$(counter rx_packets) t0=$(ticks $pid) s0=$(switches $pid)
h0=0 hs0=0; [ -n "$helper" ] && h0=$(ticks $helper) && hs0=$(switches $helper)
genout=$(ip netns exec $nb "$gen" --to $a --port 41500 --rate "$rate" --seconds "$seconds")
sleep 3 # the last batches
rx1=$(counter rx_packets) t1=$(ticks $pid) s1=$(switches $pid)
h1=0 hs1=0; [ -n "$helper" ] && h1=$(ticks $helper) && hs1=$(switches $helper)
kill $sink 2>/dev/null
frames=$((rx1 - rx0))
awk -v w="$what" -v r="$rate" -v g="$genout" -v f=$frames -v t=$((t1 - t0)) -v h=$((h1 - h0)) \
    -v hz=$hz -v s=$((s1 - s0)) -v hs=$((hs1 - hs0)) -v sec="$seconds" 'BEGIN {
  printf "%s at %d frames/s asked (%s): kernel rx %d frames; CPU %.2f s (helper %.2f s); " \
         "%.3f CPU s per million frames; %.0f wake-ups a second (helper %.0f)\n",
         w, r, g, f, t / hz, h / hz, (t / hz) / (f / 1e6), s / (sec + 3), hs / (sec + 3) }'
