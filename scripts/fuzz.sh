#!/usr/bin/env bash
# Fuzzes every reader of data from outside (archives, catalogs, INI files, disc names,
# recovery files):
# builds the targets of fuzz/ with clang (libFuzzer, ASan, UBSan) into build-fuzz/ (or
# $FUZZ_BUILD_DIR), makes their seeds with the program's own writers, and runs each target
# for SECONDS (default 30). Fails on any crash, leak or sanitizer report; the input that did it
# is kept in <build>/fuzz-artifacts/. Further arguments go to every libFuzzer run.
# The corpus grows across runs in <build>/fuzz-corpus/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
[ $# -gt 0 ] && shift

if ! command -v clang++ >/dev/null; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends clang
fi

dir=${FUZZ_BUILD_DIR:-build-fuzz}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTORVINEL_FUZZ=ON -DTORVINEL_GUI=OFF -DTORVINEL_TESTS=OFF -DTORVINEL_BENCH=OFF >/dev/null
cmake --build "$dir" --target fuzzers -j2
dir=$(cd "$dir" && pwd)

seeds="$dir/fuzz-seeds"
rm -rf "$seeds"
"$dir/fuzz/make_fuzz_seeds" "$seeds"

# The targets write their files below TMPDIR; memory is quicker than a disk when there is some.
scratch_root=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_root=/dev/shm
scratch=$(mktemp -d "$scratch_root/torvinel-fuzz.XXXXXX")
trap 'chmod -R u+rwx "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT

failed=()
for target in zip_archive zip_split catalog_line disc_names ini_file add_disc recovery_header; do
  corpus="$dir/fuzz-corpus/$target"
  artifacts="$dir/fuzz-artifacts/$target"
  log="$dir/fuzz-logs/$target.log"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  status=0
  TMPDIR="$scratch" nice -n 10 "$dir/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$@" "$corpus" "$seeds/$target" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  coverage=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 || true)
  printf '%-13s %10s runs  %7s/s  %s\n' "$target" "${runs:-?}" "${speed:-?}" "${coverage:-no coverage line}"
  if [ "$status" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    echo "FAILED: $target (exit $status); log $log, input in $artifacts/" >&2
    grep -m 20 -E 'ERROR:|runtime error:|check failed|#[0-9]+ 0x' "$log" >&2 || true
    failed+=("$target")
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzzing found faults in: ${failed[*]}" >&2; exit 1; }
