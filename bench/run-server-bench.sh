#!/usr/bin/env bash
# Builds the optimised tree and runs the server benchmark, printing its
# figures: quote exchanges per second and latency with 64 clients, 10 MB
# download rate against a plain TCP sender, and the server's memory.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset release >/dev/null
cmake --build build/release -j2 --target velmor-server server_bench
work="$root/build/release/bench/server-bench-work"
mkdir -p "$work"
exec build/release/bench/server_bench --server build/release/server/velmor-server --work "$work" "$@"
