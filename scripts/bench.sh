#!/usr/bin/env bash
# The export benchmark. Builds Release into ./build-bench, writes N = 1,000 /
# 10,000 / 100,000 dispositions from the demo data (bench/make-bench-data),
# times every stage of one bank's export (bench/export-stages) and the whole
# `pzt-bankfile export` command of every demo bank (wall time and peak memory,
# best of $RUNS), and prints the tables. Then the SEPA request of N transfers:
# checked, written and validated against the shipped ISO schema
# (bench/sepa-transfers), beside the npm package "sepa" (3.x) building the same
# transfers (bench/sepa-reference.cjs) as the reference; Node and the package
# are installed here when missing (Node from Debian, the package from npm into
# the scratch folder).
#
#   scripts/bench.sh                       # everything
#   SIZES="1000 10000" RUNS=1 scripts/bench.sh
#
# Environment: BUILD_DIR (build-bench), SIZES, RUNS (5), BANK (the bank of the
# stage table, "Banca Demo Nord"), WORK (scratch folder; a new temporary one),
# SEPA (1; 0 leaves out the SEPA table, "only" gives it alone).
# Settings, logs and reports go under $WORK, never to the user's folders.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-bench}
SIZES=${SIZES:-"1000 10000 100000"}
RUNS=${RUNS:-5}
BANK=${BANK:-"Banca Demo Nord"}
WORK=${WORK:-$(mktemp -d /tmp/pzt-bench.XXXXXX)}
SEPA=${SEPA:-1}
BANKS=("Banca Demo Nord" "Cassa Rurale Demo" "Banca Popolare Demo" "Credito Cooperativo Demo"
       "Banca Tesoriera Demo" "Banca Servizi Demo" "SanPaolo - Enti24")

[ -x /usr/bin/time ] || { echo "bench.sh: /usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
mkdir -p "$WORK"
{ cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DDOZ_BUILD_GUI=OFF -DDOZ_BUILD_TESTS=OFF &&
  cmake --build "$BUILD_DIR" --target make-bench-data export-stages sepa-transfers pzt-bankfile -j"$(nproc)"; } \
  >"$WORK/build.log" 2>&1 || { cat "$WORK/build.log" >&2; exit 1; }

export HOME="$WORK/home" XDG_DATA_HOME="$WORK/xdg"
mkdir -p "$HOME"
# The header values of examples/README.md on fixed dates (Monday 7 December 2026).
HEADER=(--set Mittente=A1B2C --set NOME_SUPPORTO=STIPENDI --set CC_ORDINANTE=000010203040
        --set Conto_Tesoreria=1234567 --set Data_Creazione=2026-12-07 --set Data_Disposizione=2026-12-09
        --set Data_Valuta=2026-12-09 --set DATA_SCADENZA=2026-12-31)

row() { printf '| %-26s' "$1"; shift; for v in "$@"; do printf '| %12s ' "$v"; done; printf '|\n'; }
header() { row "$1" $SIZES; printf '|%s' "---------------------------"; for _ in $SIZES; do printf '|%s' "--------------"; done; printf '|\n'; }

if [ "$SEPA" != only ]; then
declare -A STAGE WALL PEAK
for n in $SIZES; do
  data="$WORK/data-$n"
  mkdir -p "$WORK/bank-$n"
  "$BUILD_DIR/bench/make-bench-data" examples "$data" "$n" >/dev/null
  while read -r stage seconds _ peak _; do
    STAGE[$stage,$n]=$seconds
    [ -n "${peak:-}" ] && STAGE[$stage-peak,$n]=$peak
  done < <("$BUILD_DIR/bench/export-stages" "$data" "$WORK/stages-$n" "$BANK" "$RUNS")
  for b in "${!BANKS[@]}"; do
    best=""; top=0
    for ((r = 0; r < RUNS; r++)); do
      # Wall time to the millisecond (time's own %e has two decimals); peak memory from time.
      start=$(date +%s%N)
      /usr/bin/time -o "$WORK/time" -f "%M" "$BUILD_DIR/pzt-bankfile" export "$data" --layouts "$data" \
        --bank "${BANKS[$b]}" --output "$WORK/bank-$n/STIPENDI.Txt" --yes "${HEADER[@]}" >/dev/null
      end=$(date +%s%N)
      wall=$(awk "BEGIN{printf \"%.3f\", ($end - $start) / 1e9}")
      read -r kb < "$WORK/time"
      if [ -z "$best" ] || awk "BEGIN{exit !($wall < $best)}"; then best=$wall; fi
      [ "$kb" -gt "$top" ] && top=$kb
    done
    WALL[$b,$n]=$best
    PEAK[$b,$n]=$((top / 1024))
  done
done


echo
echo "Stages of one export ($BANK), seconds, best of $RUNS:"
echo
header "stage \\ N"
for stage in load reload build save log distinta brogliaccio export; do
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

if [ "$SEPA" != 0 ]; then
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
  best_of() {
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
    SEPA_TWO[$n]=$(best_of "$BUILD_DIR/bench/sepa-transfers" "$n" "$xsd")
    SEPA_ONE[$n]=$(best_of "$BUILD_DIR/bench/sepa-transfers" --one-thread "$n" "$xsd")
    SEPA_REF[$n]=$(best_of node bench/sepa-reference.cjs "$tsv" "$WORK/node/node_modules")
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
fi
echo
echo "(scratch files in $WORK)"
