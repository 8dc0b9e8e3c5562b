#!/usr/bin/env bash
# Builds the release preset's read_bench (with the plug-in and the generator
# it needs) and times the plug-in on a generated 1 GiB file, made once into
# build/release/bench-data/. Options pass on: --size 256M, --repeat 5,
# --data DIR, --plugin PATH. Then times repair on a 1 GiB file with a wrong
# scanCount, made once into build/release/bench-data/. Last, the exports
# (scripts/bench-exports.sh) on a 256 MB file beside their peers.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release
cmake --build --preset release --target read_bench
build/release/bin/read_bench "$@"

# repair: a 1 GiB file whose scanCount is wrong, written as a readable copy
# and read back through the plug-in, next to floors timed on the same bytes
# in the same run (a copy through user space, a SHA-1 of the file).
cmake --build --preset release --target orvo-host orvo-mkmzxml
data=build/release/bench-data
mkdir -p "$data"
wrong="$data/wrong-count-1G.mzXML"
copy="$data/repaired.mzXML"
if [ ! -f "$wrong" ]; then
  echo "bench: making $wrong"
  build/release/bin/orvo-mkmzxml -o "$wrong" --size 1G --declared-scans 1000
fi
if [ ! -x /usr/bin/time ]; then
  echo "bench: the repair row needs /usr/bin/time (Debian's time package)" >&2
  exit 1
fi
bytes=$(stat -c %s "$wrong")
cat "$wrong" >/dev/null
timed() { # label command...: one row of wall s, MB/s, CPU s, peak MiB
  local label=$1 out
  shift
  /usr/bin/time -o "$data/time.txt" -f '%e %U %S %M' "$@" >/dev/null
  out=$(tail -1 "$data/time.txt")
  awk -v label="$label" -v bytes="$bytes" -v t="$out" 'BEGIN {
    split(t, f, " "); cpu = f[2] + f[3]
    printf "%-36s %8.2f %10.1f %8.2f %10.1f %9.1f\n", label, f[1], bytes / 1e6 / f[1], cpu,
      bytes / 1e6 / cpu, f[4] / 1024 }'
}
printf "%-36s %8s %10s %8s %10s %9s\n" phase "wall s" "MB/s" "CPU s" "MB/s CPU" "peak MiB"
timed "floor: cat to a new file" sh -c "cat '$wrong' > '$data/floor.tmp'"
rm -f "$data/floor.tmp"
timed "floor: sha1sum" sha1sum "$wrong"
rm -f "$copy"
timed "repair, wrong scanCount (read back)" build/release/bin/orvo-host -q repair "$wrong" -o "$copy"
rm -f "$copy"
rm -f "$data/time.txt"

# The exports (mgf, dump, scans, check) beside the whole read of the same
# file and the MGF writers of ProteoWizard and OpenMS.
bash scripts/bench-exports.sh
