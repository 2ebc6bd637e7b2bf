#!/usr/bin/env bash
# Makes a Debian package of an installed tree the way a distribution would
# ship it and lets lintian judge its licence and copyright information. The
# installed LICENSE becomes the machine-readable debian copyright file (which
# carries the same text), as Debian keeps one licence file per package.
# Other lintian remarks (no changelog, one package for programs and library)
# concern the packaging, not QOLA, and are not checked here.
# Usage: scripts/lintian-check.sh STAGE WORK   (STAGE holds usr/ from cmake --install)
set -euo pipefail
cd "$(dirname "$0")/.."
stage=$1
work=$2
if ! command -v lintian > /dev/null || ! command -v dpkg-deb > /dev/null; then
  echo "lintian check skipped: lintian or dpkg-deb is not installed"
  exit 0
fi
rm -rf "$work"
package=$work/qola
mkdir -p "$package/DEBIAN"
cp -a "$stage/usr" "$package/"
doc=$package/usr/share/doc/qola
rm "$doc/LICENSE"
version=$(sed -n 's/^project(qola VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: qola"
  echo
  echo "Files: *"
  echo "Copyright: 2026 The QOLA developers"
  echo "License: BSD-3-Clause"
  sed -n '/^Redistribution/,$p' LICENSE | sed 's/^$/./; s/^/ /'
} > "$doc/copyright"
cat > "$package/DEBIAN/control" <<CONTROL
Package: qola
Version: $version-1
Architecture: $(dpkg --print-architecture)
Maintainer: The QOLA developers <qola@example.org>
Section: sound
Priority: optional
Description: lossless compressor for PCM audio
 QOLA compresses 8-bit and 16-bit PCM audio, raw or WAV, losslessly.
CONTROL
find "$package" -type d -exec chmod 755 {} +
dpkg-deb --root-owner-group --build "$package" "$work/qola.deb" > /dev/null
report=$(lintian --no-tag-display-limit "$work/qola.deb" 2>&1 || true)
complaints=$(echo "$report" | grep -Ei 'copyright|licen[cs]e' || true)
if [ -n "$complaints" ]; then
  echo "lintian complains about the licence or copyright:"
  echo "$complaints"
  exit 1
fi
echo "lintian: no licence or copyright complaint ($(echo "$report" | grep -c '^[EWIP]:' || true) other remarks)"
