# Sourced by the Wine benchmarks that talk to the reference server: builds
# the server and the named Windows targets, and starts the server over a
# content directory on a free loopback port (stopped when the script exits).
#   bench_build TARGET...             release server + Windows TARGETs
#   bench_start_server CONTENT WORK [--faults FILE]   sets $port
#   winpath PATH                      the Wine form of a Linux path
bench_build() {
  local preset
  for preset in release win; do
    cmake --preset "$preset" >/dev/null
  done
  cmake --build build/release -j2 --target velmor-server
  cmake --build build/win -j2 --target "$@"
}

bench_server_pid=""
bench_stop_server() { [ -n "$bench_server_pid" ] && kill "$bench_server_pid" 2>/dev/null || true; }

bench_start_server() {
  local content=$1 work=$2; shift 2
  rm -f "$work/port"
  trap bench_stop_server EXIT
  build/release/server/velmor-server --port 0 --content "$content" "$@" \
    --ready-file "$work/port" --log none &
  bench_server_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
  [ -s "$work/port" ] || { echo "bench: the server did not start" >&2; exit 1; }
  port=$(cat "$work/port")
}

winpath() { echo "Z:$1" | tr / '\\'; }
