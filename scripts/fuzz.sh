#!/bin/sh
# Fuzzes one input path for a bounded time: scripts/fuzz.sh records|dns [seconds, default 60].
#   records  the record decoders, from the hand-written API answers
#   dns      the DNS query path, from a few queries and an answer
# Needs clang++ with libFuzzer; builds in build-fuzz/ with AddressSanitizer and UBSan. New
# findings stay in the corpus for the next run.
set -eu

what="${1:-}"
seconds="${2:-60}"
root=$(cd "$(dirname "$0")/.." && pwd)
build="${NIMBREL_FUZZ_BUILD:-$root/build-fuzz}"

case "$what" in
records) target=fuzz_records binary=tests/api/fuzz_records seeds="$root/tests/data/api/*.json"
    extra="-dict=$root/tests/api/fuzz_records.dict" ;;
dns) target=fuzz_dnsquery binary=tests/server/fuzz_dnsquery seeds="$root/tests/data/dns/*.bin" extra="" ;;
*)
    echo "usage: $0 records|dns [seconds]" >&2
    exit 2
    ;;
esac

if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ is not installed; nothing to do" >&2
    exit 1
fi

sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$sanitizers" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DNIMBREL_FUZZ=ON >/dev/null
cmake --build "$build" --target "$target" -j "$(nproc 2>/dev/null || echo 2)"

corpus="$build/$target-corpus"
mkdir -p "$corpus"
# shellcheck disable=SC2086
cp $seeds "$corpus"/
# shellcheck disable=SC2086
exec "$build/$binary" -max_total_time="$seconds" -timeout=10 $extra -artifact_prefix="$build/" "$corpus"
