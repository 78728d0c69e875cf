#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 20) on its seed
# corpus. Usage: scripts/fuzz.sh [SECONDS] [TARGET...]. Skips quietly when clang is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ not found, fuzz targets skipped"
  exit 0
fi
# clang without its libFuzzer runtime (libclang-rt) cannot build the targets either.
probe=$(mktemp -d)
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer,address "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1; then
  rm -rf "$probe"
  echo "fuzz: clang's libFuzzer runtime not found, fuzz targets skipped"
  exit 0
fi
rm -rf "$probe"
cmake --preset fuzz >/dev/null
if ! log=$(cmake --build --preset fuzz -j "$(nproc)" 2>&1); then
  echo "$log" | tail -40
  echo "fuzz: build failed"
  exit 1
fi
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  for t in build/fuzz/fuzz/fuzz_*; do
    [ -f "$t" ] && [ -x "$t" ] && targets+=("$(basename "$t" | sed 's/^fuzz_//')")
  done
fi
failed=0
for t in "${targets[@]}"; do
  corpus=fuzz/corpus/$t
  work=$(mktemp -d)
  # New inputs go to a scratch copy; the committed corpus only changes by hand.
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  if build/fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -artifact_prefix="$work/" "$work" >"$work.log" 2>&1; then
    echo "fuzz $t: $(grep -Eo 'Done [0-9]+ runs' "$work.log" | tail -1 || echo done), no finding"
  else
    echo "fuzz $t: FINDING (log and reproducer below)"
    tail -40 "$work.log"
    ls "$work" | grep -E '^(crash|leak|timeout|oom)-' || true
    failed=1
  fi
  rm -rf "$work" "$work.log"
done
exit $failed
