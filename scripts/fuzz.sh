#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS.
#
#   scripts/fuzz.sh                          # every target, 60 s each
#   FUZZ_SECONDS=600 scripts/fuzz.sh         # ten minutes each
#   FUZZ_TARGETS="filter ini" scripts/fuzz.sh
#   FUZZ_JOBS=2 scripts/fuzz.sh              # two targets at a time
#   FUZZ_NO_BUILD=1 scripts/fuzz.sh          # run the targets already built
#
# Targets: binary_packet xml_packet filter ini parsepos. Seeds are gathered at
# run time from the sample packets (../shared/fixtures/datapackets when present),
# examples/, tests/support/ and the kept regression inputs (tests/regressions/).
# The corpus grows in build-fuzz/corpus/<target>; a crash, hang, leak or an
# over-large allocation stops the target and leaves its input in
# build-fuzz/artifacts/<target>/ (copy it to tests/regressions/<target>/ once fixed).
# Exit status 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-60}
TARGETS=${FUZZ_TARGETS:-"binary_packet xml_packet filter ini parsepos"}
JOBS=${FUZZ_JOBS:-1}
SHARED=${DOZ_SHARED_DIR:-$ROOT/../shared}

if ! command -v "${CXX:-clang++}" >/dev/null 2>&1; then
  echo "clang++ not found: apt-get install clang (libFuzzer comes with it)" >&2
  exit 2
fi
if [ "${FUZZ_NO_BUILD:-0}" != 1 ]; then
  CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S fuzz -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$BUILD" -j"$(nproc)" >/dev/null
fi

seed_dir() { echo "$BUILD/seeds/$1"; }

make_seeds() {
  local t=$1 d
  d=$(seed_dir "$t")
  rm -rf "$d"
  mkdir -p "$d"
  local packets=("$SHARED/fixtures/datapackets" examples tests/support)
  case $t in
    binary_packet)
      for dir in "${packets[@]}"; do
        [ -d "$dir" ] && find "$dir" -maxdepth 1 -type f -iname '*.cds' -exec cp {} "$d/" \;
      done ;;
    xml_packet)
      for dir in "${packets[@]}"; do
        [ -d "$dir" ] && find "$dir" -maxdepth 1 -type f -iname '*.xml' -exec cp {} "$d/" \;
      done ;;
    filter)
      local i=0
      while IFS= read -r line; do
        printf '%s' "$line" > "$d/seed$((i++))"
      done <<'SEEDS'
Record='PC'
MODALITA_PAGAMENTO IS NOT NULL
(Record = '10') and (Ord > 3)
not (IMPORTO >= 100.50) or Flag = TRUE
Record in ('PC', '10', 'EF') and Nota like 'n%'
DATA > '01/12/2026' and DATA < GetDate
Upper(Record) = 'PC' and Length(Nota) <> 0
[MODALITA_PAGAMENTO] = 2 or Valore * 2 - 1 / 3 = 0
Nota = BLANK
Substring(Record, 1, 1) = 'P' and Trim(Nota) = '' and Year(DATA) = 2026
SEEDS
      ;;
    ini)
      printf 'Banca=NomeBanca\r\n[Banca]\r\nNomeBanca=Banca Demo Nord\r\nNOME_SUPPORTO=STIP1126\r\n\r\n[Altro]\r\n; nota\r\nChiave = "valore" \r\n' > "$d/banca.ini"
      printf '\xEF\xBB\xBF[Settings]\nNumero=0x1F\nVuota\n[settings]\nNumero=$FF\n' > "$d/bom.ini"
      printf '[A]\n[B\nk=v\n#c\n  [ C ] dopo\nx= -2147483648\n' > "$d/odd.ini" ;;
    parsepos)
      local i=0
      for p in 1-3 4-13 14-15 " 7-8" "+1--2" "3" "-" "2147483647-1" "99999999999-1" "1-2-3" ""; do
        printf '%s' "$p" > "$d/seed$((i++))"
      done ;;
  esac
  if [ -d "tests/regressions/$t" ]; then
    find "tests/regressions/$t" -maxdepth 1 -type f ! -name '*.md' -exec cp {} "$d/" \;
  fi
}

run_target() {
  local t=$1
  local corpus="$BUILD/corpus/$t" artifacts="$BUILD/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  make_seeds "$t"
  local max_len=4096
  case $t in binary_packet | xml_packet) max_len=65536 ;; esac
  echo "== fuzz_$t: ${SECONDS_EACH}s (log $BUILD/fuzz_$t.log)"
  local status=0
  # The INI target writes a file per input: keep it in memory when possible.
  local tmp=${TMPDIR:-/tmp}
  [ "$t" = ini ] && [ -d /dev/shm ] && [ -w /dev/shm ] && tmp=/dev/shm
  TMPDIR=$tmp ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$BUILD/fuzz_$t" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=256 \
      -max_len=$max_len -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$(seed_dir "$t")" \
      >"$BUILD/fuzz_$t.log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done )' "$BUILD/fuzz_$t.log" | sed "s/^/   fuzz_$t: /" || true
  if [ $status -ne 0 ]; then
    echo "!! fuzz_$t stopped with status $status; see $BUILD/fuzz_$t.log and $artifacts/"
    return 1
  fi
}

failed=0
running=0
pids=()
for t in $TARGETS; do
  if [ "$JOBS" -le 1 ]; then
    run_target "$t" || failed=1
  else
    run_target "$t" &
    pids+=($!)
    running=$((running + 1))
    if [ $running -ge "$JOBS" ]; then
      wait "${pids[0]}" || failed=1
      pids=("${pids[@]:1}")
      running=$((running - 1))
    fi
  fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
exit $failed
