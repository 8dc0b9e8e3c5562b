#!/usr/bin/env bash
# Builds the fuzz preset and runs each libFuzzer target for a bounded time
# from its seeds, one target at a time; any finding fails the script, and
# the input that produced it is left in the work folder to be kept under
# fuzz/regressions/<target>/ once it is fixed.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# FUZZ_PRESET (default fuzz) names the build: fuzz-tiny reads with a 1 KiB
# block. FUZZ_WORK (default build/<preset>-work) holds the corpora and the
# findings; FUZZ_RUNS, when set, also ends each target after that many
# executions;
# seeds of fuzz_data_source are also made at run time from the example file,
# orvo-mkmzxml and, when the release build has it, the fixture writer.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(fuzz_data_source fuzz_repair fuzz_base64 fuzz_datetime fuzz_codecvt)
preset=${FUZZ_PRESET:-fuzz}
work=${FUZZ_WORK:-build/$preset-work}
bin=build/$preset
limit=(-max_total_time="$seconds")
[ -n "${FUZZ_RUNS:-}" ] && limit+=(-runs="$FUZZ_RUNS")

cmake --preset "$preset"
cmake --build --preset "$preset" --target "${targets[@]}" orvo-mkmzxml

mkdir -p "$work"
status=0
for target in "${targets[@]}"; do
  corpus="$work/corpus/$target"
  mkdir -p "$corpus" "$work/findings/$target"
  cp -n fuzz/seeds/"$target"/* "$corpus"/ 2>/dev/null || true
  extra=()
  if [ "$target" = fuzz_data_source ]; then
    cp -n examples/sample.mzXML "$corpus"/ || true
    for args in "--scans 4 --ms1-every 2 --ms1-peaks 6 --ms2-peaks 3 --seed 1" \
      "--scans 3 --ms1-peaks 4 --ms2-peaks 2 --precision 64 --no-index --seed 2" \
      "--scans 2 --ms1-peaks 3 --centroided 0 --no-sha1 --seed 3"; do
      name="mk_$(echo "$args" | tr -c 'a-z0-9' '_').mzXML"
      # shellcheck disable=SC2086
      [ -e "$corpus/$name" ] || "$bin"/bin/orvo-mkmzxml -o "$corpus/$name" $args >/dev/null
    done
    [ -x build/release/fuzz/write_seeds ] && build/release/fuzz/write_seeds "$corpus" >/dev/null
    extra=(-dict=fuzz/mzxml.dict -max_len=16384)
  fi
  if [ "$target" = fuzz_repair ]; then
    # Files as people have them: the real ones beside the project, and
    # generated 3.x files and files numbered or counted wrong.
    cp -n ../shared/corpus/*.mzXML "$corpus"/ 2>/dev/null || true
    for args in "--scans 3 --ms1-peaks 4 --ms2-peaks 2 --mzxml3 --seed 4" \
      "--scans 3 --ms1-peaks 3 --ms2-peaks 2 --first-num 19 --declared-scans 9 --seed 5" \
      "--scans 2 --ms1-peaks 3 --layout converter --mzxml3 --no-sha1 --seed 6" \
      "--scans 3 --ms1-peaks 3 --ms2-peaks 2 --layout msconvert --mzxml3 --no-zlib --seed 7"; do
      name="mk_$(echo "$args" | tr -c 'a-z0-9' '_').mzXML"
      # shellcheck disable=SC2086
      [ -e "$corpus/$name" ] || "$bin"/bin/orvo-mkmzxml -o "$corpus/$name" $args >/dev/null
    done
    extra=(-dict=fuzz/mzxml.dict -max_len=65536)
  fi
  echo "== fuzz: $target ($preset) for ${FUZZ_RUNS:+$FUZZ_RUNS runs, at most }${seconds}s"
  log="$work/$target.log"
  if "$bin"/fuzz/"$target" "${extra[@]}" "${limit[@]}" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/findings/$target/" \
    "$corpus" >"$log" 2>&1; then
    grep -E '^#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec' "$log" || true
  else
    status=1
    echo "fuzz: $target found something; the input is in $work/findings/$target/"
    grep -E -A30 'ERROR|==[0-9]+==|fuzz_[a-z0-9_]+: ' "$log" | head -60
  fi
done
exit $status
