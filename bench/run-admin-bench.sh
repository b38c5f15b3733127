#!/usr/bin/env bash
# Builds the optimised tree and runs the moderation page benchmark: the
# queue page with 10,000 waiting donations against a static page of the same
# bytes, and 100 donations accepted at once against 100 plain renames.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset release >/dev/null
cmake --build build/release -j2 --target admin_bench
exec build/release/bench/admin_bench "$root/build/release/bench/admin-bench-work"
