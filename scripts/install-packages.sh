#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the throwaway directory need.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  build-essential cmake pkg-config
  libldap-dev libsasl2-dev libsasl2-modules-gssapi-mit libkrb5-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  openjdk-17-jdk-headless junit5 maven libmaven-install-plugin-java unzip
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  clang-14 libfuzzer-14-dev libclang-rt-14-dev
  samba samba-ad-dc samba-ad-provision samba-dsdb-modules winbind
  krb5-user ldap-utils openssl iproute2 python3-samba python3-ldap dnsmasq-base
  wine wine32:i386 wine64
)
# The 32-bit Windows library's test runs under 32-bit Wine, which needs the i386 architecture.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
