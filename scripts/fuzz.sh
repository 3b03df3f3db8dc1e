#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) into the
# build directory $1 and runs each for FUZZ_SECONDS (20) seconds, side by side. Exits non-zero
# when a target finds a crash; the input is kept under $1/fuzz/artifacts/.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
[ $# -eq 1 ] || { echo "usage: scripts/fuzz.sh BUILD_DIR" >&2; exit 2; }
mkdir -p "$1/fuzz"
out="$(cd "$1/fuzz" && pwd)"
seconds="${FUZZ_SECONDS:-20}"
cxx="${FUZZ_CXX:-clang++}"

flags=(-std=c++20 -O1 -g -I"$root" -fsanitize=address,undefined -fno-sanitize-recover=undefined
       -fno-omit-frame-pointer)
core=(platform/Text.cpp platform/Files.cpp platform/Url.cpp store/MacroFile.cpp page/Html.cpp
      store/ChannelFolders.cpp authoring/ChannelFile.cpp page/Discovery.cpp)
targets=(skc_fuzz macro_fuzz html_fuzz)

# Compile every source in parallel; the core without the fuzzer's own main.
mkdir -p "$out/obj" "$out/artifacts"
pids=()
compile() {  # source, extra flag
  "$cxx" "${flags[@]}" "$2" -c "$root/$1" -o "$out/obj/$(echo "$1" | tr / _).o"
}
for src in "${core[@]}"; do compile "$src" -fsanitize=fuzzer-no-link & pids+=($!); done
for t in "${targets[@]}"; do compile "tests/fuzz/$t.cpp" -fsanitize=fuzzer-no-link & pids+=($!); done
for pid in "${pids[@]}"; do wait "$pid" || { echo "fuzz: compiling failed" >&2; exit 1; }; done

core_objs=()
for src in "${core[@]}"; do core_objs+=("$out/obj/$(echo "$src" | tr / _).o"); done
for t in "${targets[@]}"; do
  "$cxx" "${flags[@]}" -fsanitize=fuzzer "$out/obj/tests_fuzz_$t.cpp.o" "${core_objs[@]}" -lcurl -o "$out/$t"
done

# Seeds: a small channel file and a small macro file, plus the shipped demo channel.
mkdir -p "$out/corpus/skc_fuzz" "$out/corpus/macro_fuzz" "$out/corpus/html_fuzz"
cp "$root"/examples/site/news/*.html "$out/corpus/html_fuzz/"
printf 'Name Channel\r\ndescription channel\r\nSkimlet: Start Channel Setting\r\nSite\r\n2\r\nGetStart\r\nON\r\nhttp://127.0.0.1/\r\n</html>\r\n-1\r\n\r\nstart\r\nGotoMacro\r\nOFF\r\n1\r\nStandartParameter=2\r\nStandartParameter=0\r\nnews*\r\nloop\r\nNews\r\n0\r\n' \
  >"$out/corpus/skc_fuzz/seed.skc"
printf '2\r\nFindUrlNews\r\nON\r\nnews/\r\n-1\r\n\r\n\r\nfind\r\nSaveNews\r\non\r\n\r\n\r\n\r\n\r\nsave\r\n' \
  >"$out/corpus/macro_fuzz/seed.ini"
[ -f "$root/examples/demo.skc" ] && cp "$root/examples/demo.skc" "$out/corpus/skc_fuzz/demo.skc"

status=0
failed=0
pids=()
for t in "${targets[@]}"; do
  ASAN_OPTIONS=detect_leaks=1 "$out/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$out/artifacts/$t-" -print_final_stats=1 "$out/corpus/$t" >"$out/$t.log" 2>&1 &
  pids+=($!)
done
for i in "${!targets[@]}"; do
  t="${targets[$i]}"
  if wait "${pids[$i]}"; then
    echo "fuzz: $t: $(grep -E '^stat::number_of_executed_units' "$out/$t.log" | awk '{print $2}') runs, no crash"
  else
    status=1
    failed=$((failed + 1))
    echo "fuzz: $t FOUND A CRASH (log: $out/$t.log)" >&2
    tail -n 40 "$out/$t.log" >&2
  fi
done
echo "fuzz: $(( ${#targets[@]} - failed )) passed, $failed failed"
exit $status
