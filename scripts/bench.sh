#!/usr/bin/env bash
# The export benchmark. Builds Release into ./build-bench, writes N = 1,000 /
# 10,000 / 100,000 dispositions from the demo data (bench/make-bench-data),
# times every stage of one bank's export (bench/export-stages) and the whole
# `pzt-bankfile export` command of every demo bank (wall time and peak memory,
# best of $RUNS); for the stage bank also a first export (a new main folder
# and no earlier files each run), `check`, and the I/O floor (the same bytes
# written with dd and flushed) with the ratios; and prints the tables. Then the
# SEPA request of N transfers: checked, written and validated against the shipped
# ISO schema (bench/sepa-transfers), beside the npm package "sepa" (3.x) building
# the same transfers (bench/sepa-reference.cjs) as the reference; Node and the
# package are installed here when missing (Node from Debian, the package from
# npm into the scratch folder). Then the XML banks' whole `pzt-bankfile export`
# from Disposizioni.cds (both forms: checked, written, validated against the
# schema and logged), wall and CPU time and peak memory, against the npm
# package building the same transfers (read back from the file written).
# Last the export window itself (bench/window-bench, offscreen): OK and
# "Controlla" pressed in the real window at WINDOW_SIZES dispositions, beside
# the whole `pzt-bankfile export` and `check` of the same data, with the ratios.
#
#   scripts/bench.sh                       # everything
#   SIZES="1000 10000" RUNS=1 scripts/bench.sh
#   SEPA=0 WINDOW=only scripts/bench.sh    # the window table alone
#
# Environment: BUILD_DIR (build-bench), SIZES, RUNS (5), BANK (the bank of the
# stage table, "Banca Demo Nord"), WORK (scratch folder; a new temporary one),
# SEPA (1; 0 leaves out the SEPA tables, "only" gives them alone), XSD_DIR (the
# interbank schemas for the CBI form; ../shared/fixtures/xsd or
# /work/shared/fixtures/xsd when present, else that row is left out), WINDOW (1;
# 0 leaves out the window table, "only" gives it alone), WINDOW_SIZES ("20000 100000").
# Settings, logs, reports and the register go under $WORK, never to the user's folders.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-bench}
SIZES=${SIZES:-"1000 10000 100000"}
RUNS=${RUNS:-5}
BANK=${BANK:-"Banca Demo Nord"}
WORK=${WORK:-$(mktemp -d /tmp/pzt-bench.XXXXXX)}
SEPA=${SEPA:-1}
WINDOW=${WINDOW:-1}
WINDOW_SIZES=${WINDOW_SIZES:-"20000 100000"}
BANKS=("Banca Demo Nord" "Cassa Rurale Demo" "Banca Popolare Demo" "Credito Cooperativo Demo"
       "Banca Tesoriera Demo" "Banca Servizi Demo" "SanPaolo - Enti24")

[ -x /usr/bin/time ] || { echo "bench.sh: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
mkdir -p "$WORK"
TARGETS=(make-bench-data export-stages sepa-transfers pzt-bankfile)
GUI=OFF
if [ "$WINDOW" != 0 ]; then TARGETS+=(window-bench); GUI=ON; fi
{ cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DDOZ_BUILD_GUI=$GUI -DDOZ_BUILD_TESTS=OFF &&
  cmake --build "$BUILD_DIR" --target "${TARGETS[@]}" -j"$(nproc)"; } \
  >"$WORK/build.log" 2>&1 || { cat "$WORK/build.log" >&2; exit 1; }

export HOME="$WORK/home" XDG_DATA_HOME="$WORK/xdg"
mkdir -p "$HOME"
# The header values of examples/README.md on fixed dates (Monday 7 December 2026).
HEADER=(--set Mittente=A1B2C --set NOME_SUPPORTO=STIPENDI --set CC_ORDINANTE=000010203040
        --set Conto_Tesoreria=1234567 --set Data_Creazione=2026-12-07 --set Data_Disposizione=2026-12-09
        --set Data_Valuta=2026-12-09 --set DATA_SCADENZA=2026-12-31)

row() { printf '| %-26s' "$1"; shift; for v in "$@"; do printf '| %12s ' "$v"; done; printf '|\n'; }
header() { row "$1" $SIZES; printf '|%s' "---------------------------"; for _ in $SIZES; do printf '|%s' "--------------"; done; printf '|\n'; }

# Runs a command RUNS times; sets BEST (wall seconds, to the millisecond) and
# TOP (peak MB). PREPARE, when set, runs before each run, outside the timing.
best_of() {
  BEST=""; TOP=0
  for ((r = 0; r < RUNS; r++)); do
    [ -n "${PREPARE:-}" ] && eval "$PREPARE"
    start=$(date +%s%N)
    /usr/bin/time -o "$WORK/time" -f "%M" "$@" >/dev/null
    end=$(date +%s%N)
    wall=$(awk "BEGIN{printf \"%.3f\", ($end - $start) / 1e9}")
    read -r kb < "$WORK/time"
    if [ -z "$BEST" ] || awk "BEGIN{exit !($wall < $BEST)}"; then BEST=$wall; fi
    [ "$kb" -gt "$TOP" ] && TOP=$kb
  done
  TOP=$((TOP / 1024))
}

# The I/O floor: the bytes of the bank file and of its log written to new
# files with dd and flushed to disk, as the export writes and flushes them.
write_floor() {
  rm -f "$WORK/dd-bank" "$WORK/dd-log"
  dd if=/dev/zero of="$WORK/dd-bank" bs=1M count="$1" iflag=count_bytes conv=fsync status=none
  dd if=/dev/zero of="$WORK/dd-log" bs=1M count="$2" iflag=count_bytes conv=fsync status=none
}
export -f write_floor

if [ "$SEPA" != only ] && [ "$WINDOW" != only ]; then
declare -A STAGE WALL PEAK FIRST FIRSTPEAK FLOOR CHECK CHECKPEAK REPEAT REPEATPEAK REG NOREG
for n in $SIZES; do
  data="$WORK/data-$n"
  mkdir -p "$WORK/bank-$n"
  "$BUILD_DIR/bench/make-bench-data" examples "$data" "$n" >/dev/null
  while read -r stage seconds _ peak _; do
    STAGE[$stage,$n]=$seconds
    [ -n "${peak:-}" ] && STAGE[$stage-peak,$n]=$peak
  done < <("$BUILD_DIR/bench/export-stages" "$data" "$WORK/stages-$n" "$BANK" "$RUNS")
  for b in "${!BANKS[@]}"; do
    best_of "$BUILD_DIR/pzt-bankfile" export "$data" --layouts "$data" \
      --bank "${BANKS[$b]}" --output "$WORK/bank-$n/STIPENDI.Txt" --yes "${HEADER[@]}"
    WALL[$b,$n]=$BEST
    PEAK[$b,$n]=$TOP
  done
  # The stage bank again: a first export (a new main folder and no earlier bank
  # file or log each run), check, and the I/O floor of the same bytes.
  ARGS=("$data" --layouts "$data" --bank "$BANK" "${HEADER[@]}")
  PREPARE='rm -rf "$WORK/first-$n"; mkdir -p "$WORK/first-$n/out"'
  best_of "$BUILD_DIR/pzt-bankfile" export "${ARGS[@]}" --main-folder "$WORK/first-$n/main" \
    --output "$WORK/first-$n/out/STIPENDI.Txt" --yes
  FIRST[$n]=$BEST; FIRSTPEAK[$n]=$TOP
  bankBytes=$(stat -c %s "$WORK/first-$n/out/STIPENDI.Txt")
  logBytes=$(stat -c %s "$WORK/first-$n/main/var/log/Pzt/doz/STIPENDI.Txt")
  PREPARE=""
  best_of "$BUILD_DIR/pzt-bankfile" check "${ARGS[@]}"
  CHECK[$n]=$BEST; CHECKPEAK[$n]=$TOP
  best_of bash -c "write_floor $bankBytes $logBytes"
  FLOOR[$n]=$BEST
  rm -f "$WORK/dd-bank" "$WORK/dd-log"
  # The stage bank's repeated export with the register of produced files and
  # without it (PZT_BANKFILE_NO_REGISTER=1), one run of each in turn so that
  # both meet the same machine; best of each.
  REG[$n]=""; NOREG[$n]=""
  for ((t = 0; t < RUNS; t++)); do
    for mode in without with; do
      RUNS_SAVED=$RUNS; RUNS=1
      if [ $mode = without ]; then
        best_of env PZT_BANKFILE_NO_REGISTER=1 "$BUILD_DIR/pzt-bankfile" export "${ARGS[@]}" --output "$WORK/bank-$n/STIPENDI.Txt" --yes
        if [ -z "${NOREG[$n]}" ] || awk "BEGIN{exit !($BEST < ${NOREG[$n]%% *})}"; then NOREG[$n]="$BEST / $TOP"; fi
      else
        best_of "$BUILD_DIR/pzt-bankfile" export "${ARGS[@]}" --output "$WORK/bank-$n/STIPENDI.Txt" --yes
        if [ -z "${REG[$n]}" ] || awk "BEGIN{exit !($BEST < ${REG[$n]%% *})}"; then REG[$n]="$BEST / $TOP"; fi
      fi
      RUNS=$RUNS_SAVED
    done
  done
  # The repeated export of the stage bank, with its bank file and log in place.
  for b in "${!BANKS[@]}"; do [ "${BANKS[$b]}" = "$BANK" ] && REPEAT[$n]=${WALL[$b,$n]} && REPEATPEAK[$n]=${PEAK[$b,$n]}; done
done


echo
echo "Stages of one export ($BANK), seconds, best of $RUNS:"
echo
header "stage \\ N"
for stage in load reload build save log distinta brogliaccio payroll keep copy record export; do
  vals=(); for n in $SIZES; do vals+=("${STAGE[$stage,$n]:--}"); done
  row "$stage" "${vals[@]}"
done
vals=(); for n in $SIZES; do vals+=("${STAGE[export-peak,$n]:--}"); done
row "peak memory (MB)" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("${STAGE[exported,$n]:--}"); done
row "dispositions exported" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("${STAGE[records,$n]:--}"); done
row "records written" "${vals[@]}"

echo
echo "Whole command \`pzt-bankfile export\` (bank file and log), wall seconds / peak MB, best of $RUNS:"
echo
header "bank \\ N"
for b in "${!BANKS[@]}"; do
  vals=(); for n in $SIZES; do vals+=("${WALL[$b,$n]} / ${PEAK[$b,$n]}"); done
  row "${BANKS[$b]}" "${vals[@]}"
done
echo
echo "$BANK: the whole command against writing the same bytes with dd (fsync), wall seconds / peak MB, best of $RUNS:"
echo
header "measure \\ N"
vals=(); for n in $SIZES; do vals+=("${FLOOR[$n]}"); done; row "dd floor (bank file + log)" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("${FIRST[$n]} / ${FIRSTPEAK[$n]}"); done; row "first export" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("${REPEAT[$n]:--} / ${REPEATPEAK[$n]:--}"); done; row "repeated export" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("${CHECK[$n]} / ${CHECKPEAK[$n]}"); done; row "check" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("${NOREG[$n]}"); done; row "export without the register" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("${REG[$n]}"); done; row "export with the register" "${vals[@]}"
ratio() { awk "BEGIN{printf \"%.1fx\", $1 / $2}"; }
vals=(); for n in $SIZES; do vals+=("$(awk "BEGIN{printf \"%.2fx\", ${REG[$n]%% *} / ${NOREG[$n]%% *}}")"); done
row "with / without the register" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("$(ratio "${FIRST[$n]}" "${FLOOR[$n]}")"); done; row "first export / floor" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("$(ratio "${REPEAT[$n]:-0}" "${FLOOR[$n]}")"); done; row "repeated export / floor" "${vals[@]}"
vals=(); for n in $SIZES; do vals+=("$(ratio "${CHECK[$n]}" "${REPEAT[$n]:-${FIRST[$n]}}")"); done; row "check / repeated export" "${vals[@]}"

set -- $SIZES
if [ $# -ge 2 ]; then
  echo
  echo "Growth of the whole command's wall time, from each N to the next:"
  echo
  prev=$1; shift
  for n in "$@"; do
    for b in "${!BANKS[@]}"; do
      printf '%-26s %s -> %s: %sx\n' "${BANKS[$b]}" "$prev" "$n" \
        "$(awk "BEGIN{printf \"%.1f\", ${WALL[$b,$n]} / ${WALL[$b,$prev]}}")"
    done
    prev=$n
  done
fi
fi

if [ "$SEPA" != 0 ] && [ "$WINDOW" != only ]; then
  # The reference runs on Node with the npm package "sepa" 3.x.
  if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq nodejs npm >"$WORK/node-install.log" 2>&1 ||
      { cat "$WORK/node-install.log" >&2; exit 1; }
  fi
  npm install --prefix "$WORK/node" --no-audit --no-fund --silent "sepa@3" >"$WORK/npm.log" 2>&1 ||
    { cat "$WORK/npm.log" >&2; exit 1; }
  xsd=data/xsd/pain.001.001.09.xsd
  declare -A SEPA_TWO SEPA_ONE SEPA_REF
  # Best wall time of the runs (seconds) and the highest peak (MB): "seconds / MB".
  sepa_best_of() {
    local best="" top=0 secs mb
    for ((r = 0; r < RUNS; r++)); do
      read -r secs mb < <("$@" | awk '$1 == "total" {t = $2} $1 == "peak" {p = $2} END {print t, p}')
      if [ -z "$best" ] || awk "BEGIN{exit !($secs < $best)}"; then best=$secs; fi
      [ "$mb" -gt "$top" ] && top=$mb
    done
    echo "$best / $top"
  }
  for n in $SIZES; do
    tsv="$WORK/transfers-$n.tsv"
    "$BUILD_DIR/bench/sepa-transfers" --one-thread "$n" "$xsd" "$tsv" >/dev/null
    SEPA_TWO[$n]=$(sepa_best_of "$BUILD_DIR/bench/sepa-transfers" "$n" "$xsd")
    SEPA_ONE[$n]=$(sepa_best_of "$BUILD_DIR/bench/sepa-transfers" --one-thread "$n" "$xsd")
    SEPA_REF[$n]=$(sepa_best_of node bench/sepa-reference.cjs "$tsv" "$WORK/node/node_modules")
  done
  echo
  echo "SEPA request of N transfers (pain.001.001.09): ours checked, written and validated against the"
  echo "schema; the npm package only builds the text. Wall seconds / peak MB, best of $RUNS:"
  echo
  header "N"
  vals=(); for n in $SIZES; do vals+=("${SEPA_TWO[$n]}"); done
  row "ours, two threads" "${vals[@]}"
  vals=(); for n in $SIZES; do vals+=("${SEPA_ONE[$n]}"); done
  row "ours, one thread" "${vals[@]}"
  vals=(); for n in $SIZES; do vals+=("${SEPA_REF[$n]}"); done
  row "npm sepa 3.x (no schema)" "${vals[@]}"
  vals=(); for n in $SIZES; do
    vals+=("$(awk "BEGIN{printf \"%.1fx\", ${SEPA_REF[$n]%% *} / ${SEPA_TWO[$n]%% *}}")")
  done
  row "npm sepa / ours, 2 thr." "${vals[@]}"

  # The XML banks' whole command: the transfers of N dispositions (cash
  # payments and cheques left out), executed on the next Wednesday at least two
  # days ahead that no bank calendar closes (the file is created today).
  for ((d = 2; ; d++)); do
    day=$(date -d "+$d day" +%F)
    case "$(date -d "$day" +%u)-${day:5}" in
      3-01-01 | 3-01-06 | 3-04-25 | 3-05-01 | 3-06-02 | 3-08-15 | 3-11-01 | 3-12-08 | 3-12-25 | 3-12-26) ;;
      3-*) break ;;
    esac
  done
  XSD_DIR=${XSD_DIR:-}
  if [ -z "$XSD_DIR" ]; then
    for dir in ../shared/fixtures/xsd /work/shared/fixtures/xsd; do
      [ -f "$dir/CBIBdyPaymentRequest.00.04.01.xsd" ] && XSD_DIR=$(cd "$dir" && pwd) && break
    done
  fi
  XML_BANKS=("Banca Demo Nord - ISO 20022")
  [ -n "$XSD_DIR" ] && XML_BANKS+=("Banca Demo Nord - SEPA XML")
  declare -A XML_WALL XML_CPU XML_PEAK XML_REF XML_COUNT
  for n in $SIZES; do
    data="$WORK/xml-data-$n"
    mkdir -p "$WORK/xml-$n"
    "$BUILD_DIR/bench/make-bench-data" examples "$data" "$n" >/dev/null
    cp examples/SEPA_* examples/Tracciati.xml "$data/"
    for b in "${!XML_BANKS[@]}"; do
      best="" cpu="" top=0
      for ((r = 0; r < RUNS; r++)); do
        start=$(date +%s%N)
        /usr/bin/time -o "$WORK/time" -f "%M %U %S" "$BUILD_DIR/pzt-bankfile" export "$data" --layouts "$data" \
          --bank "${XML_BANKS[$b]}" --output "$WORK/xml-$n/STIPENDI-$b.xml" --yes --set CUC=1A2B3C4D \
          --set CC_ORDINANTE=000010203040 --set Data_Disposizione="$day" ${XSD_DIR:+--xsd-dir "$XSD_DIR"} >/dev/null
        end=$(date +%s%N)
        read -r kb user sys < "$WORK/time"
        wall=$(awk "BEGIN{printf \"%.3f\", ($end - $start) / 1e9}")
        used=$(awk "BEGIN{printf \"%.2f\", $user + $sys}")
        if [ -z "$best" ] || awk "BEGIN{exit !($wall < $best)}"; then best=$wall; fi
        if [ -z "$cpu" ] || awk "BEGIN{exit !($used < $cpu)}"; then cpu=$used; fi
        [ "$kb" -gt "$top" ] && top=$kb
      done
      XML_WALL[$b,$n]=$best; XML_CPU[$b,$n]=$cpu; XML_PEAK[$b,$n]=$((top / 1024))
    done
    awk -f bench/xml-transfers.awk "$WORK/xml-$n/STIPENDI-0.xml" > "$WORK/xml-transfers-$n.tsv"
    XML_REF[$n]=$(sepa_best_of node bench/sepa-reference.cjs "$WORK/xml-transfers-$n.tsv" "$WORK/node/node_modules")
    XML_COUNT[$n]=$(wc -l < "$WORK/xml-transfers-$n.tsv")
  done
  echo
  echo "XML banks: the whole \`pzt-bankfile export\` of N dispositions from Disposizioni.cds (the transfers"
  echo "checked, written, validated against the schema and logged; executed $day), against the npm"
  echo "package building the same transfers. Wall seconds / user+sys CPU seconds / peak MB, best of $RUNS:"
  echo
  header "N"
  vals=(); for n in $SIZES; do vals+=("${XML_COUNT[$n]}"); done
  row "credit transfers" "${vals[@]}"
  for b in "${!XML_BANKS[@]}"; do
    vals=(); for n in $SIZES; do vals+=("${XML_WALL[$b,$n]} / ${XML_CPU[$b,$n]} / ${XML_PEAK[$b,$n]}"); done
    row "${XML_BANKS[$b]#Banca Demo Nord - }" "${vals[@]}"
  done
  vals=(); for n in $SIZES; do vals+=("${XML_REF[$n]}"); done
  row "npm sepa 3.x (wall / MB)" "${vals[@]}"
  for b in "${!XML_BANKS[@]}"; do
    vals=(); for n in $SIZES; do
      vals+=("$(awk "BEGIN{printf \"%.1fx\", ${XML_REF[$n]%% *} / ${XML_WALL[$b,$n]}}")")
    done
    row "npm / ${XML_BANKS[$b]#Banca Demo Nord - }" "${vals[@]}"
  done
  [ -n "$XSD_DIR" ] || echo "(no interbank schemas found: the SEPA XML bank is left out; set XSD_DIR)"
fi

if [ "$WINDOW" != 0 ]; then
  # The stage bank in the real window (best of RUNS presses, each in a new
  # window on the same data) against the whole batch commands on the same data.
  declare -A WIN_START WIN_CHECK WIN_OK BATCH_EXPORT BATCH_CHECK
  for n in $WINDOW_SIZES; do
    data="$WORK/data-$n"
    [ -f "$data/Disposizioni.cds" ] || "$BUILD_DIR/bench/make-bench-data" examples "$data" "$n" >/dev/null
    mkdir -p "$WORK/window-$n" "$WORK/bank-$n"
    while read -r what seconds _; do
      case $what in start) WIN_START[$n]=$seconds ;; controlla) WIN_CHECK[$n]=$seconds ;; ok) WIN_OK[$n]=$seconds ;; esac
    done < <(QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bench/window-bench" "$data" "$WORK/window-$n" "$BANK" "$RUNS" 2>/dev/null)
    ARGS=("$data" --layouts "$data" --bank "$BANK" "${HEADER[@]}")
    best_of "$BUILD_DIR/pzt-bankfile" export "${ARGS[@]}" --output "$WORK/bank-$n/STIPENDI.Txt" --yes
    BATCH_EXPORT[$n]=$BEST
    best_of "$BUILD_DIR/pzt-bankfile" check "${ARGS[@]}"
    BATCH_CHECK[$n]=$BEST
  done
  echo
  echo "$BANK in the export window (offscreen, the buttons pressed) against the whole batch command,"
  echo "wall seconds, best of $RUNS:"
  echo
  SIZES=$WINDOW_SIZES
  header "measure \\ N"
  ratio() { awk "BEGIN{printf \"%.2fx\", $1 / $2}"; }
  vals=(); for n in $WINDOW_SIZES; do vals+=("${WIN_OK[$n]:--}"); done; row "window: OK" "${vals[@]}"
  vals=(); for n in $WINDOW_SIZES; do vals+=("${BATCH_EXPORT[$n]}"); done; row "pzt-bankfile export" "${vals[@]}"
  vals=(); for n in $WINDOW_SIZES; do vals+=("$(ratio "${WIN_OK[$n]:-0}" "${BATCH_EXPORT[$n]}")"); done
  row "OK / export" "${vals[@]}"
  vals=(); for n in $WINDOW_SIZES; do vals+=("${WIN_CHECK[$n]:--}"); done; row "window: Controlla" "${vals[@]}"
  vals=(); for n in $WINDOW_SIZES; do vals+=("${BATCH_CHECK[$n]}"); done; row "pzt-bankfile check" "${vals[@]}"
  vals=(); for n in $WINDOW_SIZES; do vals+=("$(ratio "${WIN_CHECK[$n]:-0}" "${BATCH_CHECK[$n]}")"); done
  row "Controlla / check" "${vals[@]}"
  vals=(); for n in $WINDOW_SIZES; do vals+=("${WIN_START[$n]:--}"); done; row "window: start" "${vals[@]}"
fi
echo
echo "(scratch files in $WORK)"
