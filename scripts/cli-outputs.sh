#!/usr/bin/env bash
# Runs orvo-host's subcommands over the bundled example and the shared corpus
# and writes each run's standard output, standard error and exit status into
# a folder, so two builds' outputs can be compared byte for byte:
#   bash scripts/cli-outputs.sh build/release/bin/orvo-host OUT_DIR
#   diff -r OUT_A OUT_B
set -uo pipefail
cd "$(dirname "$0")/.."
host=$(realpath "$1")
out=$(realpath -m "$2")
corpus=../shared/corpus
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

files=(examples/sample.mzXML)
[ -d "$corpus" ] && files+=("$corpus"/*.mzXML) || echo "cli-outputs: no corpus at $corpus, the example alone"

run() { # name args...
  local name=$1
  shift
  (cd "$work" && "$host" "$@" >"$out/$name.out" 2>"$out/$name.err")
  echo $? >"$out/$name.status"
}

for f in "${files[@]}"; do
  path=$(realpath "$f")
  b=$(basename "$f" .mzXML)
  run "$b.info" info "$path"
  run "$b.info-json" --format json info --stats "$path"
  run "$b.scans" scans "$path"
  run "$b.scans-tsv" --format tsv scans "$path"
  run "$b.scans-json" -v --format json scans "$path"
  run "$b.spectrum" spectrum "$path" 1
  run "$b.dump" dump "$path"
  run "$b.mgf" mgf "$path"
  run "$b.check" check "$path"
  run "$b.check-json" --format json check "$path"
  for plot in "tic" "bpc" "xic --mz 445.3" "plot"; do
    name=${plot%% *}
    # shellcheck disable=SC2086 # the words of a plot's options
    if [ "$name" = plot ]; then
      run "$b.$name" plot "$path" 1 -o "$work/plot.svg"
    else
      run "$b.$name" $plot "$path" -o "$work/plot.svg"
    fi
    [ -f "$work/plot.svg" ] && mv "$work/plot.svg" "$out/$b.$name.svg"
  done
  run "$b.repair" repair "$path" -o repaired.mzXML
  [ -f "$work/repaired.mzXML" ] && cp "$work/repaired.mzXML" "$out/$b.repaired" && rm -f "$work/repaired.mzXML"
done
run help --help
run usage scans
run unknown frobnicate
all=("${files[@]/#/$PWD/}")
run info-all -j 1 info "${all[@]}"
run check-all -j 1 check "${all[@]}"
run mgf-all -j 1 mgf "${all[@]}"
echo "cli-outputs: $(ls "$out" | wc -l) files in $out"
