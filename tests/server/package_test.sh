#!/usr/bin/env bash
# package_test.sh BUILD_DIR WORK_DIR VERSION
# `cpack -G DEB` of the build tree gives velmor-server_<version>_<arch>.deb
# holding both programs, both units, the sysusers.d entry, both manual pages
# and the HAProxy example, depending on the libraries the programs link and
# running systemd-sysusers after installing.
set -uo pipefail
build=$1 work=$2 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work" && mkdir -p "$work"
out=$(cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" 2>&1) || fail "cpack: $out"
arch=$(dpkg --print-architecture)
deb="$work/velmor-server_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work")"
listing=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in bin/velmor-server bin/velmor-admin \
            lib/systemd/system/velmor-server.service lib/systemd/system/velmor-admin.service \
            lib/sysusers.d/velmor-server.conf \
            share/man/man8/velmor-server.8 share/man/man8/velmor-admin.8 \
            share/doc/velmor-server/examples/haproxy.cfg; do
  grep -q "/$path\$" <<<"$listing" || fail "$path is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -q libcpp-httplib <<<"$depends" || fail "Depends lacks the HTTP library: $depends"
dpkg-deb -I "$deb" postinst | grep -q systemd-sysusers || fail "postinst does not make the user"
rm -rf "$work"
echo "package: $(basename "$deb"), Depends: $depends"
