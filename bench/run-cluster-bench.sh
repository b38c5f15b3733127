#!/usr/bin/env bash
# Builds the optimised tree and runs the cluster benchmark: quote exchanges
# per second through HAProxy (the shipped example configuration) to one
# instance against that instance directly, and to three instances over one
# content directory against one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset release >/dev/null
cmake --build build/release -j2 --target velmor-server cluster_bench
work="$root/build/release/bench/cluster-bench-work"
mkdir -p "$work"
exec build/release/bench/cluster_bench build/release/server/velmor-server "$(command -v haproxy || echo /usr/sbin/haproxy)" \
  server/packaging/haproxy.cfg "$work" "$@"
