#!/bin/bash
# How long `quelmint --export` takes for ten years of history: writes 2016-2025 (a line a day
# in each year file and its coverage file) beside a copy of the program, then runs the export
# five times in each format and prints the times and their median.
#
#   bench/export-history.sh [BUILD_DIR]
set -u
build=$(realpath "${1:-build}")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cp "$build/app/quelmint" "$root/" || exit 2
mkdir -p "$root/Usage Logs"
python3 - "$root/Usage Logs" <<'PY'
import datetime, sys
folder = sys.argv[1]
for year in range(2016, 2026):
    day = datetime.date(year, 1, 1)
    log, cov = [], []
    while day.year == year:
        n = day.toordinal()
        log.append(f"{day}\t{n * 7}\t{n * 13}\t{n % 1000}\t{n * 20 + n % 1000}\r\n")
        cov.append(f"{day}\t{n % 86400}\t{n % 17}\t{n % 5000}\t{n % 9}\r\n")
        day += datetime.timedelta(days=1)
    open(f"{folder}/{year}.log", "w", newline="").write("".join(log))
    open(f"{folder}/{year}.coverage", "w", newline="").write("".join(cov))
PY
for format in json csv; do
  times=()
  for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    env -u DISPLAY -u WAYLAND_DISPLAY "$root/quelmint" --export=$format > "$root/out.$format" || exit 1
    times+=($(( ($(date +%s%N) - start) / 1000000 )))
  done
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
  echo "export=$format of $(grep -c '2[0-9][0-9][0-9]-' "$root/out.$format") days" \
       "($(stat -c %s "$root/out.$format") bytes): ${times[*]} ms; median $median ms"
done
