#!/usr/bin/env bash
# Builds the .deb from a build folder with cpack and checks its control fields
# and contents: the name, the run-time pieces no linker sees, the libraries
# dpkg-shlibdeps found, and the installed files.
# Usage: check_deb.sh CPACK BUILD_DIR APP_ID
set -euo pipefail
cpack=$1 build=$2 id=$3

out=$(mktemp -d "${TMPDIR:-/tmp}/ardentia-deb-XXXXXX")
trap 'rm -rf "$out"' EXIT

# gzip: the check does not need xz's size, only its time.
if ! "$cpack" --config "$build/CPackConfig.cmake" -B "$out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  echo "FAIL: cpack did not build the package"
  exit 1
fi
debs=("$out"/ardentia_*.deb)
if [ ! -f "${debs[0]}" ]; then
  ls -l "$out"
  echo "FAIL: no ardentia_*.deb"
  exit 1
fi
deb=${debs[0]}
dpkg-deb --info "$deb"

failed=0
fail() { echo "FAIL: $*"; failed=1; }

[ "$(dpkg-deb -f "$deb" Package)" = ardentia ] || fail "package name is not ardentia"

# Depends, one package name a line.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed -e 's/^ *//' -e 's/[ (].*//')
for p in qt6-qpa-plugins libqt6svg6 qt6-image-formats-plugins gstreamer1.0-plugins-base gstreamer1.0-plugins-good \
         libqt6widgets6 libqt6multimedia6 libsqlite3-0 libc6; do
  grep -qx "$p" <<<"$depends" || fail "Depends lacks $p"
done

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in ./usr/bin/ardentia \
         ./usr/share/ardentia/trans/eng.txt ./usr/share/ardentia/help/index.html ./usr/share/ardentia/icon.ico \
         "./usr/share/applications/$id.desktop" "./usr/share/metainfo/$id.metainfo.xml" \
         "./usr/share/icons/hicolor/scalable/apps/$id.svg"; do
  grep -qx -- "$f" <<<"$contents" || fail "the package lacks $f"
done
if grep -q '/portable$' <<<"$contents"; then fail "the package carries the portable marker"; fi

if [ $failed -ne 0 ]; then exit 1; fi
echo "the package is complete"
