#!/usr/bin/env bash
# Builds the release preset's read_bench (with the plug-in and the generator
# it needs) and times the plug-in's whole read on generated files of the same
# 60,000 scans in each layout (converter first, compact, ReAdW's, msconvert's),
# and on a header-heavy file of 300,000 small scans in each real converter's
# layout, next to OpenMS and ProteoWizard (see layout_rows). Options pass on to
# read_bench: --size 256M or --scans N, --repeat 5, --data DIR, --plugin PATH.
# Then times repair on a 1 GiB file with a wrong scanCount, made once into
# build/release/bench-data/, and last the exports (scripts/bench-exports.sh)
# on the converter-layout file beside their MGF peers.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release
cmake --build --preset release --target read_bench

# ---- layouts: our whole read on every layout, next to the peers -----------
# The converter layout (one attribute a line, as ReAdW and msconvert write
# start tags) is what real files mostly have, so it comes first and the
# README's figures come from it; then the compact layout, and the scans as
# ReAdW and msconvert (repaired to 2.1) write them, all of the same 60,000
# scans. The two "-heavy" files hold many small scans, where the cost a scan
# decides: HEAVY_SCANS scans (300000), MS1 scans of 200 peaks, MS2 of 20, in
# ReAdW's and msconvert's layouts. LAYOUTS names the files to time, of
# "converter compact readw msconvert readw-heavy msconvert-heavy" (all).
# read_bench prints its phases and floors for each file; then every reader
# reads the same files, each run a process of its own under /usr/bin/time, so
# wall and CPU time (user + sys) are measured the same way for all: the best
# of LAYOUT_RUNS runs (5), the readers taking turns run after run. Peers are
# timed when installed: OpenMS's FileInfo (Debian's topp) and ProteoWizard's
# msconvert (Debian's libpwiz-tools), which reads the file and writes mzML to
# a scratch folder. Each row gives nanoseconds a scan beyond the read(2)
# floor, which read_bench --floor times on the same file in a process of its
# own: for orvo from its own clock (the open, list and spectra, without the process's
# start), for a peer from its wall time. Options pass on to read_bench;
# without --size or --scans, the 60,000-scan files hold LAYOUT_SCANS scans
# (60000: 22.8 M peaks).
layout_rows() {
  local runs=${LAYOUT_RUNS:-5} args=("$@") name line ours_wall ours_cpu
  local converter_times="" compact_times=""
  local heavy=(--scans "${HEAVY_SCANS:-300000}" --ms1-peaks 200 --ms2-peaks 20)
  local names
  read -r -a names <<<"${LAYOUTS:-converter compact readw msconvert readw-heavy msconvert-heavy}"
  case " $* " in
    *" --size "* | *" --scans "*) ;;
    *) args+=(--scans "${LAYOUT_SCANS:-60000}") ;;
  esac
  # read_bench's options for one of the names above.
  bench_args() {
    case $1 in
      *-heavy) echo "${args[*]} ${heavy[*]} --layout ${1%-heavy}" ;;
      *) echo "${args[*]} --layout $1" ;;
    esac
  }
  for name in "${names[@]}"; do
    # shellcheck disable=SC2046 # the options are words without blanks
    build/release/bin/read_bench $(bench_args "$name")
    echo
  done
  if [ ! -x /usr/bin/time ]; then
    echo "bench: the layout rows need /usr/bin/time (Debian's time package)" >&2
    return 1
  fi
  local scratch
  scratch=$(mktemp -d)
  # One run of a command: "wall cpu peak-MiB".
  timed_run() {
    rm -rf "$scratch/out" && mkdir -p "$scratch/out"
    /usr/bin/time -o "$scratch/time.txt" -f '%e %U %S %M' "$@" >"$scratch/log.txt" 2>&1 ||
      { echo "bench: failed: $* (see below)" >&2; tail -5 "$scratch/log.txt" >&2; return 1; }
    tail -1 "$scratch/time.txt" | awk '{ printf "%.3f %.3f %.1f", $1, $2 + $3, $4 / 1024 }'
  }
  # The best of two "wall cpu peak" lines: the least wall and the least CPU.
  best() {
    printf '%s\n%s\n' "$1" "$2" | awk 'NF && (!n++ || $1 < w) { w = $1; m = $3 }
      NF && (n == 1 || $2 < c) { c = $2 } END { printf "%.3f %.3f %.1f", w, c, m }'
  }
  # The least of two "seconds floor" pairs, each number on its own.
  least() {
    printf '%s\n%s\n' "$1" "$2" | awk 'NF && (!n++ || $1 < s) { s = $1 }
      NF && (n == 1 || $2 < f) { f = $2 } END { printf "%.4f %.4f", s, f }'
  }
  printf '\n%-16s %-34s %8s %8s %9s %11s %11s %12s\n' layout reader "wall s" "CPU s" \
    "peak MiB" "wall ratio" "CPU ratio" "ns/scan>rd"
  local have_openms=0 have_pwiz=0 i file ours openms pwiz own scans floor seconds
  command -v FileInfo >/dev/null && have_openms=1
  command -v msconvert >/dev/null && have_pwiz=1
  for name in "${names[@]}"; do
    # shellcheck disable=SC2046
    file=$(build/release/bin/read_bench $(bench_args "$name") --path) || return 1
    cat "$file" >/dev/null
    # The readers take turns, run after run, so that a change in the
    # machine's speed meets them all alike; each keeps its best run.
    ours="" openms="" pwiz="" own=""
    for ((i = 0; i < runs; i++)); do
      line=$(timed_run build/release/bin/read_bench --whole "$file") || return 1
      ours=$(best "$ours" "$line")
      # "N scans, P peaks, checksum C, T s"; the floor in a process of its
      # own, so that the timed process does nothing but the read.
      scans=$(awk 'NR == 1 { print $1 }' "$scratch/log.txt")
      seconds=$(sed -n 's/.*, \([0-9.]*\) s$/\1/p' "$scratch/log.txt")
      floor=$(build/release/bin/read_bench --floor "$file" |
        sed -n 's/^read(2) floor \([0-9.]*\) s$/\1/p')
      own=$(least "$own" "$seconds $floor")
      if ((have_openms)); then
        line=$(timed_run FileInfo -in "$file") || return 1
        openms=$(best "$openms" "$line")
      fi
      if ((have_pwiz)); then
        line=$(timed_run msconvert "$file" --mzML -o "$scratch/out") || return 1
        # msconvert can stop midway and still exit with 0: a time counts
        # only when its mzML is whole.
        if tail -c 64 "$scratch"/out/*.mzML | grep -q '</indexedmzML>'; then
          pwiz=$(best "$pwiz" "$line")
        else
          echo "bench: msconvert left $file's mzML unfinished; its time is not counted" >&2
          tail -3 "$scratch/log.txt" >&2
        fi
      fi
    done
    read -r ours_wall ours_cpu _ <<<"$ours"
    floor=${own#* }
    [ "$name" = converter ] && converter_times="$ours_wall $ours_cpu"
    [ "$name" = compact ] && compact_times="$ours_wall $ours_cpu"
    row() { # reader "wall cpu peak" [seconds for ns/scan: the wall when absent]
      awk -v l="$name" -v r="$1" -v t="$2" -v s="${3:-}" -v w="$ours_wall" -v c="$ours_cpu" \
        -v n="$scans" -v f="$floor" 'BEGIN {
        split(t, x, " "); if (s == "") s = x[1]
        printf "%-16s %-34s %8.3f %8.3f %9.1f %10.1fx %10.1fx %12.0f\n", l, r, x[1], x[2], x[3],
          x[1] / w, x[2] / c, (s - f) * 1e9 / n }'
    }
    row "orvo (open, list, every spectrum)" "$ours" "${own%% *}"
    if ((have_openms)); then
      row "OpenMS FileInfo -in" "$openms"
    else
      printf '%-16s %-34s %s\n' "$name" "OpenMS FileInfo" "not installed (Debian: topp)"
    fi
    if ((have_pwiz)) && [ -n "$pwiz" ]; then
      row "ProteoWizard msconvert to mzML" "$pwiz"
    elif ((have_pwiz)); then
      printf '%-16s %-34s %s\n' "$name" "ProteoWizard msconvert" "did not finish the file"
    else
      printf '%-16s %-34s %s\n' "$name" "ProteoWizard msconvert" \
        "not installed (Debian: libpwiz-tools)"
    fi
    awk -v l="$name" -v o="$own" -v n="$scans" 'BEGIN { split(o, x, " ")
      printf "%-16s %d scans; orvo read them in %.4f s by its own clock, read(2) in %.4f s\n",
        l, n, x[1], x[2] }'
  done
  echo "ratio: the reader's time over orvo's on the same file in this run (above 1: orvo faster)"
  echo "ns/scan>rd: nanoseconds a scan beyond a read(2) of the file (orvo: its own clock;" \
    "peers: wall time)"
  if [ -n "$converter_times" ] && [ -n "$compact_times" ]; then
    awk -v c="$converter_times" -v w="$compact_times" 'BEGIN { split(c, f, " "); split(w, g, " ")
      printf "layouts: orvo on the converter layout takes %.2f times the wall and %.2f times " \
        "the CPU time of the compact layout\n", f[1] / g[1], f[2] / g[2] }'
  fi
  rm -rf "$scratch"
}
layout_rows "$@"

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

# Reading through a repaired copy: the 60,000-scan converter-layout file
# written as mzXML 3.2, read by info --stats (every spectrum) through a
# temporary copy, next to the same read of its repaired copy. Two rows: the
# peaks uncompressed, as msconvert writes 3.2 unless told -z, and compressed
# with zlib (-z), whose copy inflates every peak list; beside the second, the
# repair's inflating alone on one thread (inflate_floor), which the copy
# cannot undercut by more than the machine's cores share it.
cmake --build --preset release --target inflate_floor
through_row() { # label file-stem mkmzxml-options...
  local label=$1 v32="$data/$2.mzXML" v21="$data/$2-repaired.mzXML" line through=9999 direct=9999
  shift 2
  if [ ! -f "$v32" ]; then
    echo "bench: making $v32"
    build/release/bin/orvo-mkmzxml -o "$v32" --scans 60000 --layout converter --mzxml3 "$@"
  fi
  [ -f "$v21" ] || build/release/bin/orvo-host -q repair "$v32" -o "$v21" >/dev/null
  bytes=$(stat -c %s "$v32")
  cat "$v32" "$v21" >/dev/null
  for _ in 1 2 3; do
    line=$(timed "read, the repaired file (info --stats)" build/release/bin/orvo-host -q \
      --format tsv info --stats "$v21")
    direct=$(awk -v a="$direct" -v b="$(echo "$line" | awk '{ print $(NF-4) }')" \
      'BEGIN { print (b < a ? b : a) }')
    line=$(timed "read, 3.2 through a repaired copy" build/release/bin/orvo-host -q \
      --format tsv info --stats "$v32")
    through=$(awk -v a="$through" -v b="$(echo "$line" | awk '{ print $(NF-4) }')" \
      'BEGIN { print (b < a ? b : a) }')
  done
  echo "$label"
  printf "  %-40s %8.2f\n" "read, the repaired file (best of 3)" "$direct"
  printf "  %-40s %8.2f\n" "read, 3.2 through a copy (best of 3)" "$through"
  awk -v t="$through" -v d="$direct" 'BEGIN {
    printf "  through a copy: %.2f times the read of the file already repaired\n", t / d }'
}
through_row "3.2, peaks uncompressed (msconvert's default)" converter-60000-3.2-plain --no-zlib
through_row "3.2, zlib peaks (msconvert -z)" converter-60000-3.2
echo "  floor of the copy's inflating: $(build/release/bin/inflate_floor \
  "$data/converter-60000-3.2.mzXML")"
rm -f "$data/time.txt"

# The exports (mgf, dump, scans, check) beside the whole read of the same
# file and the MGF writers of ProteoWizard and OpenMS.
bash scripts/bench-exports.sh
