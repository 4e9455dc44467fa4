#!/bin/sh
# Runs the libFuzzer targets of a fuzz build, each on a copy of its seed
# corpus, and prints per target the runs, the time and the executions per
# second; a target slower than MIN_RATE a second is marked. Exits 1 when a
# target found a fault (its input is left as BUILD/crash-NAME-*).
#
#   run_fuzz.sh BUILD "NAMES" RUNS SECONDS
# NAMES (without _fuzz) picks some targets, all when empty; RUNS, when not
# empty, is the number of runs per target, else each runs SECONDS.
build=$1
only=$2
runs=$3
seconds=$4
min_rate=${MIN_RATE:-10000}
seeds=$(dirname "$0")
table=""
found=0
for f in "$build"/tests/fuzz/*_fuzz; do
  name=$(basename "$f" _fuzz)
  if [ -n "$only" ] && ! echo " $only " | grep -q " $name "; then continue; fi
  work=$build/corpus/$name
  mkdir -p "$work"
  if [ -d "$seeds/$name" ]; then cp -n "$seeds/$name"/* "$work"/ 2>/dev/null || true; fi
  if [ -n "$runs" ]; then limit="-runs=$runs"; else limit="-max_total_time=$seconds"; fi
  log=$build/fuzz-$name.log
  echo "== $name"
  start=$(date +%s.%N)
  "$f" $limit -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/crash-$name-" "$work" >"$log" 2>&1
  end=$(date +%s.%N)
  grep -E '^(==[0-9]+==)?(ERROR|SUMMARY)|Done' "$log"
  units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  line=$(echo "$name ${units:-0} $start $end $min_rate" | awk '{
    t = $4 - $3; rate = t > 0 ? $2 / t : 0;
    printf "%-10s %10d runs %9.1f s %8.0f exec/s%s", $1, $2, t, rate, rate < $5 ? "  below " $5 : "" }')
  table="$table$line
"
  if ls "$build/crash-$name-"* >/dev/null 2>&1; then
    echo "finding: $(ls "$build/crash-$name-"*)"
    found=1
  fi
done
printf '\n%s' "$table"
exit $found
