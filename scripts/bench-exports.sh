#!/usr/bin/env bash
# Times the host's exports (mgf, dump, scans, check) on the benchmark's
# generated file (converter layout, 60,000 scans), next to the plug-in's
# whole read of the same file (read_bench --whole) and, when installed,
# ProteoWizard's `msconvert --mgf` and OpenMS's FileConverter writing MGF
# from it. Each row is the best of three runs (the peers: one), warm cache;
# MB/s in counts the mzXML file, MB/s out what was written.
#   scripts/bench-exports.sh [--scans 60000] [--layout converter|compact]
set -euo pipefail
cd "$(dirname "$0")/.."
scans=60000
layout=converter
while (($#)); do
  case $1 in
  --scans) scans=$2 ;;
  --layout) layout=$2 ;;
  *)
    echo "bench-exports: unknown option $1" >&2
    exit 2
    ;;
  esac
  shift 2
done

cmake --preset release >/dev/null
cmake --build --preset release --target read_bench orvo-host orvo-mkmzxml
if [ ! -x /usr/bin/time ]; then
  echo "bench-exports: needs /usr/bin/time (Debian's time package)" >&2
  exit 1
fi
data=build/release/bench-data
bin=build/release/bin
mkdir -p "$data"
file=$("$bin"/read_bench --scans "$scans" --layout "$layout" --data "$data" --path)
cat "$file" >/dev/null
in_bytes=$(stat -c %s "$file")
# Outputs go to memory when there is a tmpfs, so that the disk's writeback
# is not what is timed; BENCH_OUT_DIR chooses another folder.
out_dir=${BENCH_OUT_DIR:-/dev/shm}
[ -d "$out_dir" ] && [ -w "$out_dir" ] || out_dir=$data
out="$out_dir/orvo-export.out"

# time.txt gets "wall peak-KiB" of the last run of a job.
best=""
run_best() { # repeats command...: sets best to "wall peak-KiB out-bytes"
  local repeats=$1 r line
  shift
  best=""
  for ((r = 0; r < repeats; r++)); do
    rm -f "$out"
    /usr/bin/time -o "$data/time.txt" -f '%e %M' "$@" >/dev/null
    line="$(tail -1 "$data/time.txt") $(stat -c %s "$out" 2>/dev/null || echo 0)"
    if [ -z "$best" ] || awk -v a="$line" -v b="$best" 'BEGIN{split(a,x," ");split(b,y," ");exit !(x[1]<y[1])}'; then
      best=$line
    fi
  done
}
run_best 3 "$bin"/read_bench --whole "$file"
whole=${best%% *}
row() { # label wall peak-KiB out-bytes [ratio text]
  awk -v label="$1" -v t="$2" -v m="$3" -v o="$4" -v in_bytes="$in_bytes" -v whole="$whole" \
    -v extra="${5:-}" 'BEGIN {
      printf "%-34s %8.2f %9.1f %10.1f %9.1f %9.2f  %s\n", label, t, in_bytes / 1e6 / t,
        o / 1e6 / t, m / 1024, t / whole, extra }'
}

echo
echo "exports of $file ($((in_bytes / 1000000)) MB), $(nproc) cores, written to $out_dir"
printf "%-34s %8s %9s %10s %9s %9s\n" job "wall s" "MB/s in" "MB/s out" "peak MiB" "x read"
read -r t m o <<<"$best"
row "plug-in's whole read (read_bench)" "$t" "$m" 0
job() { # repeats label command...: times the command, prints its row
  local repeats=$1 label=$2
  shift 2
  run_best "$repeats" "$@"
  read -r t m o <<<"$best"
  row "$label" "$t" "$m" "$o"
}
job 3 "orvo-host mgf" "$bin"/orvo-host -q mgf "$file" -o "$out"
mgf_wall=$t
job 3 "orvo-host dump (JSON Lines)" sh -c "'$bin'/orvo-host -q dump '$file' > '$out'"
job 3 "orvo-host scans (TSV)" sh -c "'$bin'/orvo-host -q scans --format tsv '$file' > '$out'"
job 3 "orvo-host check (with SHA-1)" sh -c "'$bin'/orvo-host -q check '$file' > '$out'"
job 3 "orvo-host -j 1 mgf (one thread)" "$bin"/orvo-host -q -j 1 mgf "$file" -o "$out"
faster() { awk -v a="$1" -v b="$mgf_wall" 'BEGIN{printf "orvo mgf %.1fx faster", a / b}'; }

if command -v msconvert >/dev/null; then
  peer_dir="$out_dir/msconvert-out"
  rm -rf "$peer_dir"
  run_best 1 sh -c "msconvert '$file' --mgf -o '$peer_dir' --outfile peer.mgf >/dev/null 2>&1 &&
    mv '$peer_dir/peer.mgf' '$out'"
  read -r t m o <<<"$best"
  row "msconvert --mgf (ProteoWizard)" "$t" "$m" "$o" "$(faster "$t")"
  rm -rf "$peer_dir"
else
  echo "(msconvert not installed: Debian's libpwiz-tools)"
fi
if command -v FileConverter >/dev/null; then
  # FileConverter names the output's format by its extension.
  run_best 1 sh -c "FileConverter -in '$file' -out '$out_dir/peer.mgf' >/dev/null 2>&1 &&
    mv '$out_dir/peer.mgf' '$out'"
  read -r t m o <<<"$best"
  row "FileConverter -out .mgf (OpenMS)" "$t" "$m" "$o" "$(faster "$t")"
else
  echo "(FileConverter not installed: Debian's topp)"
fi

# mzML, the conversion people most often make, beside the two converters'.
if "$bin"/orvo-host --help | grep -q '^  mzml'; then
  echo
  job 3 "orvo-host mzml" "$bin"/orvo-host -q mzml "$file" -o "$out"
  mzml_wall=$t
  job 3 "orvo-host mzml --zlib" "$bin"/orvo-host -q mzml --zlib "$file" -o "$out"
  as_mzml() { awk -v a="$1" -v b="$mzml_wall" 'BEGIN{printf "orvo mzml %.1fx faster", a / b}'; }
  if command -v msconvert >/dev/null; then
    peer_dir="$out_dir/msconvert-out"
    rm -rf "$peer_dir"
    run_best 1 sh -c "msconvert '$file' --mzML -o '$peer_dir' --outfile peer.mzML >/dev/null 2>&1 &&
      mv '$peer_dir/peer.mzML' '$out'"
    read -r t m o <<<"$best"
    row "msconvert --mzML (ProteoWizard)" "$t" "$m" "$o" "$(as_mzml "$t")"
    rm -rf "$peer_dir"
  fi
  if command -v FileConverter >/dev/null; then
    run_best 1 sh -c "FileConverter -in '$file' -out '$out_dir/peer.mzML' >/dev/null 2>&1 &&
      mv '$out_dir/peer.mzML' '$out'"
    read -r t m o <<<"$best"
    row "FileConverter -out .mzML (OpenMS)" "$t" "$m" "$o" "$(as_mzml "$t")"
  fi
else
  echo "(orvo-host has no mzml here: it needs expat and MS-Numpress)"
fi
rm -f "$out" "$data/time.txt"
