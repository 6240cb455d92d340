#!/bin/sh
# Fuzzes the DNS query path for a bounded time: scripts/fuzz-dns.sh [seconds, default 60].
# Needs clang++ with libFuzzer; builds in build-fuzz/ with AddressSanitizer and UBSan.
set -eu

seconds="${1:-60}"
root=$(cd "$(dirname "$0")/.." && pwd)
build="${NIMBREL_FUZZ_BUILD:-$root/build-fuzz}"

if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ is not installed; nothing to do" >&2
    exit 1
fi

sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$sanitizers" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DNIMBREL_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_dnsquery -j "$(nproc 2>/dev/null || echo 2)"

# Start from a few queries and an answer; new findings stay in the corpus for the next run.
corpus="$build/fuzz-dns-corpus"
mkdir -p "$corpus"
cp "$root"/tests/data/dns/*.bin "$corpus"/
exec "$build/tests/server/fuzz_dnsquery" -max_total_time="$seconds" -timeout=10 \
    -artifact_prefix="$build/" "$corpus"
