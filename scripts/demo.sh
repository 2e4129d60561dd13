#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled demo
# data: the export window when a display is available, otherwise the batch
# export of the demo dispositions.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
bank=${DEMO_BANK:-Banca Demo Nord}
# The working folder holds Tracciati.xml and the layout files.
cd "$root/examples"
if [ -x "$root/$BUILD_DIR/PztExport_Banche" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec "$root/$BUILD_DIR/PztExport_Banche" "$root/examples"
fi
echo "Nessun display disponibile: eseguo l'esportazione batch dei dati dimostrativi." >&2
out=${DEMO_OUTPUT:-$root/out/demo}
mkdir -p "$out"
"$root/$BUILD_DIR/pzt-bankfile" export "$root/examples" --bank "$bank" \
  --output "$out/STIPENDI.Txt" --main-folder "$out/main" --regional it_IT --yes \
  $(cat "$root/examples/demo-header.args" 2>/dev/null || true)
echo "File per la banca: $out/STIPENDI.Txt" >&2
cat "$out/STIPENDI.Txt" | head -n 12
