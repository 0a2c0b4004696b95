# Sourced by the live benchmarks: make_pair NS_A NS_B DEV_A DEV_B ADDR_A ADDR_B makes two
# network namespaces joined by a veth pair with the addresses (/24), no IPv6 and each side's
# neighbour known for good, so the link carries only the benchmark's frames; drop_pair NS_A NS_B
# removes them.
drop_pair() {
  ip netns del "$1" 2>/dev/null
  ip netns del "$2" 2>/dev/null
  return 0
}
make_pair() {
  local na=$1 nb=$2 ia=$3 ib=$4 a=$5 b=$6 ns
  drop_pair "$na" "$nb"
  ip netns add "$na" && ip netns add "$nb" || return 1
  ip link add "$ia" netns "$na" type veth peer name "$ib" netns "$nb" || return 1
  for ns in "$na" "$nb"; do
    ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 \
      net.ipv6.conf.default.disable_ipv6=1
    ip -n "$ns" link set lo up
  done
  ip -n "$na" addr add "$a/24" dev "$ia" && ip -n "$nb" addr add "$b/24" dev "$ib" &&
    ip -n "$na" link set "$ia" up && ip -n "$nb" link set "$ib" up || return 1
  ip -n "$na" neigh replace "$b" lladdr "$(ip netns exec "$nb" cat /sys/class/net/"$ib"/address)" \
    nud permanent dev "$ia" &&
    ip -n "$nb" neigh replace "$a" lladdr "$(ip netns exec "$na" cat /sys/class/net/"$ia"/address)" \
      nud permanent dev "$ib"
}
