#!/usr/bin/env bash
# install_tree_test.sh BUILD_DIR
# `cmake --install` of the build tree into a staging folder must give what
# the systemd unit names (the program, the manual page of Documentation=, the
# user of User= in the sysusers.d file); the unit must pass
# `systemd-analyze verify` (where present) without a word; and the program
# must start with the unit's own ExecStart options and stop with status 0 on
# SIGTERM, as systemctl stop does.
set -uo pipefail
build=$1
# A private folder of its own, outside the build tree: its path stays short
# and free of spaces whatever the checkout's is, as the unit's options are
# split at spaces.
top=$(mktemp -d "${TMPDIR:-/tmp}/velmor-install-XXXXXX") || exit 1
trap 'rm -rf "$top"' EXIT
stage=$top/stage
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$stage" cmake --install "$build" >/dev/null || fail "cmake --install"
unit=$(find "$stage" -name velmor-server.service -path '*/systemd/system/*')
[ -n "$unit" ] || fail "no velmor-server.service under lib/systemd/system"
key() { sed -n "s/^$1=//p" "$unit" | head -n 1; }

exec_start=$(key ExecStart)
program=${exec_start%% *}
case "$program" in /*) ;; *) fail "ExecStart is not an absolute path: $program" ;; esac
[ -x "$stage$program" ] || fail "ExecStart names $program, not installed"

doc=$(key Documentation)
[[ "$doc" =~ ^man:([a-z-]+)\(([0-9])\)$ ]] || fail "Documentation is not a manual page: $doc"
page=$(find "$stage" -path "*/man/man${BASH_REMATCH[2]}/${BASH_REMATCH[1]}.${BASH_REMATCH[2]}*")
[ -n "$page" ] || fail "no manual page for $doc"
if command -v man >/dev/null; then
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "manual page: $warnings"
fi

user=$(key User)
sysusers=$(find "$stage" -path '*/sysusers.d/*.conf')
grep -Eq "^u $user " "$sysusers" || fail "no sysusers.d entry makes the user $user"

if command -v systemd-analyze >/dev/null; then
  # The program is verified at its staged place.
  mkdir -p "$stage.verify"
  sed "s#^ExecStart=$program#ExecStart=$stage$program#" "$unit" > "$stage.verify/velmor-server.service"
  out=$(systemd-analyze verify --man=no "$stage.verify/velmor-server.service" 2>&1)
  [ $? -eq 0 ] && [ -z "$out" ] || fail "systemd-analyze verify: $out"
else
  echo "systemd-analyze not present: unit not verified"
fi

# The unit's command line, its state directory moved to a scratch folder and
# the port left to the system; $VELMOR_SERVER_OPTIONS is empty.
state=$(key StateDirectory)
work="$top/run"
mkdir -p "$work"
read -r -a unit_args <<< "${exec_start#"$program"}"
args=()
for a in "${unit_args[@]}"; do
  [ "$a" = '$VELMOR_SERVER_OPTIONS' ] && continue
  args+=("${a//\/var\/lib\/$state/$work}")
done
"$stage$program" --make-sample "$work/content" >/dev/null || fail "--make-sample"
"$stage$program" "${args[@]}" --port 0 --ready-file "$work/port" 2>"$work/stderr" &
pid=$!
for _ in $(seq 1 300); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { kill $pid; fail "no ready file: $(cat "$work/stderr")"; }
kill -TERM $pid
wait $pid
status=$?
[ $status -eq 0 ] || fail "exit status $status after SIGTERM: $(cat "$work/stderr")"
echo "install tree: $program, $page, user $user; verify and SIGTERM stop passed"
