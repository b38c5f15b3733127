#!/usr/bin/env bash
# Builds the system and starts the Velmor client under Wine (in an Xvfb
# display when there is none). Safe to run again and again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
for preset in release win; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
done

data="$root/build/run/client"
mkdir -p "$data"
echo "run: client data directory $data"
cd "$data"
exec "$root/scripts/wine-run.sh" "$root/build/win/app/Velmorw.exe" "$@"
