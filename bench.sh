#!/usr/bin/env bash
# Builds the benchmark natively and for Windows, and runs both modes of each: kernel
# throughput against memcpy, and the whole-file path against a plain copy. The Windows
# build runs under Wine; which build (win32 or win64) depends on whether this machine can
# execute 32-bit code, as tools/wine-env.sh decides.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
cd "$root"
. tools/wine-env.sh

native_dir=build/bench-native
windows_dir=build/bench-$WIN_PRESET
cmake --preset native -B "$native_dir" >/dev/null
cmake --build "$native_dir" -j2 --target codec_bench
cmake --preset "$WIN_PRESET" -B "$windows_dir" >/dev/null
cmake --build "$windows_dir" -j2 --target codec_bench

# The file mode works in the current directory; on tmpfs it measures the program rather
# than the disk.
scratch=$(mktemp -d "${BENCH_TMP:-/dev/shm}/codec-bench.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

echo "=== native build (x86_64, clang): kernels"
"$root/$native_dir/bench/codec_bench" kernels
echo
echo "=== native build: whole file (files in $scratch)"
"$root/$native_dir/bench/codec_bench" file
echo
echo "=== Windows $WIN_PRESET build under Wine: kernels"
"$root/tools/wine-run" "$root/$windows_dir/bench/codec_bench.exe" kernels
echo
echo "=== Windows $WIN_PRESET build under Wine: whole file (files in $scratch)"
"$root/tools/wine-run" "$root/$windows_dir/bench/codec_bench.exe" file
