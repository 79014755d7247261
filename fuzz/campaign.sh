#!/bin/bash
# A long libFuzzer campaign of one target: `fuzz/campaign.sh run TARGET RUNS JOBS TREE DIR`
# runs TARGET (built in TREE) for RUNS inputs in all, spread over JOBS processes, from the
# corpus it grows under DIR/corpus and the committed seeds; logs and findings stay in DIR.
# `fuzz/campaign.sh status DIR` prints the figures so far (also while it runs).
set -u
here_of_script=$(cd "$(dirname "$0")" && pwd)

# Flags a target needs beyond the common ones: fuzz/<target>.flags, one or more a line,
# '#' lines are comments.
target_flags() {
  local file
  file="$here_of_script/$1.flags"
  if [ -f "$file" ]; then grep -v '^#' "$file" | tr '\n' ' '; fi
}

# Runs, speed and coverage from the workers' logs (libFuzzer's status lines and final stats).
status() {
  local dir=$1 runs=0 speed=0 cov="" logs=("$1"/fuzz-*.log)
  if [ ! -f "${logs[0]}" ]; then
    echo "no campaign logs in $dir" >&2
    return 1
  fi
  for log in "${logs[@]}"; do
    # The last status line ("#12345 pulse cov: 1 ft: 2 corp: 3/4b ... exec/s: 56 ...").
    local line n
    line=$(grep -aE '^#[0-9]+' "$log" | tail -1)
    n=$(grep -aoE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$')
    [ -n "$n" ] || n=$(sed -E 's/^#([0-9]+).*/\1/' <<<"$line")
    runs=$((runs + ${n:-0}))
    speed=$((speed + $(grep -oE 'exec/s: [0-9]+' <<<"$line" | grep -oE '[0-9]+$' || echo 0)))
    cov="$cov $(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' <<<"$line")"
  done
  local findings
  findings=$(find "$dir/artifacts" -type f 2>/dev/null | wc -l)
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'): $runs runs, $speed exec/s,${cov:- no coverage yet}," \
    "$findings finding(s) in $dir/artifacts"
  grep -ahE '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "${logs[@]}" | sort -u | head -5
}

run() {
  local target=$1 runs=$2 jobs=$3 tree=$4 dir=$5
  local here binary seeds
  here=$(pwd)
  binary=$(realpath "$tree/fuzz/$target")
  seeds="$here/tests/fuzz/corpus/$target"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  dir=$(realpath "$dir")
  rm -f "$dir"/fuzz-*.log
  echo "== $target: $runs runs on $jobs job(s), logs in $dir"
  cd "$dir" || return 1
  # Allocation stacks 5 frames deep rather than 30: finds the same faults, faster (rerun a
  # finding's input for its whole stacks).
  export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=5}
  local common=(-runs=$((runs / jobs)) -max_len=4096 -print_final_stats=1
    -artifact_prefix="$dir/artifacts/")
  # shellcheck disable=SC2046 # the flags file holds several words
  if [ "$jobs" -gt 1 ]; then
    # libFuzzer writes each job's log to fuzz-<job>.log in the working folder.
    "$binary" "${common[@]}" -jobs="$jobs" -workers="$jobs" $(target_flags "$target") \
      corpus "$seeds" >/dev/null 2>&1
  else
    "$binary" "${common[@]}" $(target_flags "$target") corpus "$seeds" >fuzz-0.log 2>&1
  fi
  local code=$?
  status "$dir"
  return $code
}

case "${1:-}" in
  run) run "$2" "$3" "$4" "$5" "$6" ;;
  status) status "$2" ;;
  *)
    echo "usage: $0 run TARGET RUNS JOBS TREE DIR | status DIR" >&2
    exit 2
    ;;
esac
