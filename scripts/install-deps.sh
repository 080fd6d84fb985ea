#!/usr/bin/env bash
# Installs every Debian package the service builds, tests and runs with.
# Idempotent: when everything is present it returns in about a second.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  postgresql-15 postgresql-client-15 libpq-dev
  firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils firebird3.0-server
  libcurl4-openssl-dev nlohmann-json3-dev libcpp-httplib-dev libssl-dev openssl ca-certificates
  qt6-base-dev libgl-dev xvfb x11-utils imagemagick
  libsystemd-dev systemd dpkg-dev fakeroot adduser python3
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
