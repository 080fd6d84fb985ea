#!/usr/bin/env bash
# Checks a built Debian package of the service: its files, its dependencies,
# the maintainer scripts that create the user and the service folder, and the
# systemd unit (systemd-analyze verify, where the tool is present). Prints
# what it checked; exits 1 at the first fault.
#
#   bash tests/packaging/package_test.sh dist/dezoriv_<version>_amd64.deb
set -euo pipefail
deb=$1
work=$(mktemp -d /tmp/dezoriv-package-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== $deb"
dpkg-deb --info "$deb" | sed -n '/Architecture:/,$p'
echo "== contents"
listing=$(dpkg-deb --contents "$deb" | awk '{print $1, $2, $6}')
echo "$listing"
for f in ./usr/bin/dezoriv ./usr/lib/systemd/system/dezoriv.service ./usr/share/doc/dezoriv/DEZORiv.ini.sample; do
  grep -q " $f\$" <<<"$listing" || fail "$f missing"
done
grep -qx -- '-rwxr-xr-x root/root ./usr/bin/dezoriv' <<<"$listing" || fail "dezoriv not 755 root"

depends=$(dpkg-deb --field "$deb" Depends)
for d in adduser libsystemd0 libpq5 libfbclient2 libcurl4; do
  grep -q "\b$d\b" <<<"$depends" || fail "Depends lacks $d: $depends"
done
if grep -qi 'qt6\|libqt' <<<"$depends"; then fail "the server build depends on Qt: $depends"; fi

dpkg-deb --extract "$deb" "$work/root"
dpkg-deb --control "$deb" "$work/control"
needed=$(objdump -p "$work/root/usr/bin/dezoriv" | grep NEEDED)
if grep -qi 'libQt' <<<"$needed"; then fail "dezoriv links Qt"; fi
version=$("$work/root/usr/bin/dezoriv" --version)
grep -Eq '^dezoriv [0-9]' <<<"$version" || fail "--version: $version"

echo "== maintainer scripts"
for s in postinst prerm postrm; do
  [ -x "$work/control/$s" ] || fail "$s missing or not executable"
  sh -n "$work/control/$s" || fail "$s: syntax"
done
# Continued lines joined.
postinst=$(sed -e ':a' -e '/\\$/N; s/\\\n//; ta' "$work/control/postinst")
grep -q 'adduser .*--system .*dezoriv' <<<"$postinst" || fail "postinst does not create the system user"
for d in '"$folder"' '"$folder/Recebidos"' '"$folder/Processados"' '"$folder/Logs"'; do
  grep -qF -- "-o dezoriv -g dezoriv" <<<"$(grep -F "install -d" <<<"$postinst" | grep -F -- "$d")" ||
    fail "postinst does not create $d owned by dezoriv"
done
grep -q '^folder=/var/lib/dezoriv$' <<<"$postinst" || fail "service folder is not /var/lib/dezoriv"
grep -E 'adduser|install -d|install -o' "$work/control/postinst"

echo "== unit"
unit="$work/root/usr/lib/systemd/system/dezoriv.service"
for line in 'Type=notify' 'WatchdogSec=' 'User=dezoriv' 'NoNewPrivileges=yes' 'ProtectSystem=strict' \
            'ReadWritePaths=/var/lib/dezoriv' 'PrivateTmp=yes' 'ProtectHome=yes' \
            'ExecStart=/usr/bin/dezoriv --headless --dir /var/lib/dezoriv'; do
  grep -q "^$line" "$unit" || fail "unit lacks $line"
done
if command -v systemd-analyze >/dev/null; then
  # Verified against the package's own program: ExecStart is rewritten to
  # the extracted binary, as systemd-analyze checks that it exists.
  sed "s#/usr/bin/dezoriv#$work/root/usr/bin/dezoriv#" "$unit" >"$work/dezoriv.service"
  status=0
  out=$(systemd-analyze verify "$work/dezoriv.service" 2>&1) || status=$?
  # Messages about other units of this machine are not the unit's own.
  own=$(grep -i 'dezoriv' <<<"$out" || true)
  [ -z "$own" ] || fail "systemd-analyze verify: $own"
  [ "$status" -eq 0 ] || [ -n "$out" ] || fail "systemd-analyze verify: exit $status"
  echo "systemd-analyze verify: clean"
else
  echo "systemd-analyze not present: unit not verified"
fi
echo "PACKAGE OK"
