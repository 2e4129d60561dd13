#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled demo
# data: the export window when a display is available, otherwise the batch
# export of the demo dispositions (bank file, log and both reports).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
bin="$root/$BUILD_DIR"

# The working folder holds Tracciati.xml and the layout files.
cd "$root/examples"
if [ -x "$bin/PztExport_Banche" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ -z "${DEMO_BATCH:-}" ]; then
  exec "$bin/PztExport_Banche" "$root/examples"
fi

echo "Nessun display disponibile: esportazione batch dei dati dimostrativi." >&2
bank=${DEMO_BANK:-Banca Demo Nord}
out=${DEMO_OUTPUT:-$root/out/demo}
mkdir -p "$out"
# Header values that pass every demo bank's checks: execution two working days
# after today, expiry 31 December (or 31 January when that is too close).
creation=$(date +%F)
execution=$(date -d "$creation + 2 days" +%F)
while [ "$(date -d "$execution" +%u)" -gt 5 ] || [ "$(( ($(date -d "$execution" +%s) - $(date -d "$creation" +%s)) / 86400 ))" -lt 2 ]; do
  execution=$(date -d "$execution + 1 day" +%F)
done
expiry=$(date +%Y)-12-31
if [ $(( ($(date -d "$expiry" +%s) - $(date -d "$execution" +%s)) / 86400 )) -lt 15 ]; then
  expiry=$(( $(date +%Y) + 1 ))-01-31
fi
# Count working days the way the bank checks do: at least 2 between creation and execution.
wd=0; d=$creation
while [ "$d" != "$execution" ]; do d=$(date -d "$d + 1 day" +%F); [ "$(date -d "$d" +%u)" -le 5 ] && wd=$((wd + 1)); done
if [ "$wd" -lt 2 ]; then execution=$(date -d "$execution + 1 day" +%F); fi

common=(--layouts "$root/examples" --main-folder "$out/main" --regional it_IT --yes)
header=(--set Mittente=A1B2C --set NOME_SUPPORTO=STIPENDI --set Conto_Tesoreria=1234567
        --set Data_Creazione="$creation" --set Data_Disposizione="$execution"
        --set Data_Valuta="$execution" --set DATA_SCADENZA="$expiry")
bankfile="$out/STIPENDI.Txt"
"$bin/pzt-bankfile" export "$root/examples" --bank "$bank" --output "$bankfile" "${common[@]}" "${header[@]}"
"$bin/pzt-bankfile" distinta "$root/examples" --bank "$bank" --output "$bankfile" "${common[@]}" "${header[@]}"
"$bin/pzt-bankfile" brogliaccio "$root/examples" --bank "$bank" --output "$bankfile" "${common[@]}" "${header[@]}"
echo
echo "== $bankfile (prime righe)"
head -n 6 "$bankfile" | tr -d '\r'
echo "== log: $out/main/var/log/Pzt/doz/STIPENDI.Txt"
echo "== $(ls "$out"/main/var/log/Pzt/doz/stp/DISTINTA_STIPENDI.Txt)"
iconv -f WINDOWS-1252 -t UTF-8 "$out/main/var/log/Pzt/doz/stp/DISTINTA_STIPENDI.Txt" | tr -d '\r'

# The XML bank of Banca Demo Nord pays the same month and one payee on a German
# account (examples/sepa/): cash payments and cheques are left out (--yes answers
# the question), the execution date must be a day the euro settlement system runs
# (no weekend, 1/1, Good Friday, Easter Monday, 1/5, 25/12, 26/12); the file is
# created when it is written.
xml_bank=${DEMO_XML_BANK:-Banca Demo Nord - SEPA XML}
easter() {  # Easter Sunday of year $1 (Gregorian computus)
  local y=$1 a b c d e f g h i k l m month day
  a=$((y % 19)); b=$((y / 100)); c=$((y % 100)); d=$((b / 4)); e=$((b % 4)); f=$(((b + 8) / 25))
  g=$(((b - f + 1) / 3)); h=$(((19 * a + b - d - g + 15) % 30)); i=$((c / 4)); k=$((c % 4))
  l=$(((32 + 2 * e + 2 * i - h - k) % 7)); m=$(((a + 11 * h + 22 * l) / 451))
  month=$(((h + l - 7 * m + 114) / 31)); day=$(((h + l - 7 * m + 114) % 31 + 1))
  printf '%04d-%02d-%02d' "$y" "$month" "$day"
}
settlement_day() {
  local d=$1 e
  [ "$(date -d "$d" +%u)" -le 5 ] || return 1
  case ${d:5} in 01-01|05-01|12-25|12-26) return 1 ;; esac
  e=$(easter "${d:0:4}")
  [ "$d" != "$(date -d "$e - 2 days" +%F)" ] && [ "$d" != "$(date -d "$e + 1 day" +%F)" ]
}
xml_execution=$execution
until settlement_day "$xml_execution"; do xml_execution=$(date -d "$xml_execution + 1 day" +%F); done
xmlfile="$out/STIPENDI.xml"
# The interbank schemas are not shipped: put them in the main folder's usr/Pzt/doz/xsd/ (or pass
# --xsd-dir); without them the program says so and relies on its own checks.
"$bin/pzt-bankfile" export "$root/examples/sepa" --bank "$xml_bank" --output "$xmlfile" "${common[@]}" \
  --set CUC=1A2B3C4D --set CC_ORDINANTE=000010203040 \
  --set Data_Disposizione="$xml_execution" ${DEMO_XSD_DIR:+--xsd-dir "$DEMO_XSD_DIR"}
echo "== $xmlfile (prime righe)"
head -c 1200 "$xmlfile"; echo
