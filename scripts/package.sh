#!/usr/bin/env bash
# Builds Orbisk's two downloads into out/packages/, each from a clean copy of
# the source tree:
#   orbisk_<version>_<arch>.deb   the Debian package (dpkg-buildpackage -b)
#   orbisk-<version>-win32.zip    orbisk.dll, orbisk.exe, README.txt,
#                                 LICENSE.txt and SHA256SUMS
# The version is the one in CMakeLists.txt; debian/changelog must agree.
#   --deb / --zip   build only that one
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

want_deb=1 want_zip=1
case "${1:-}" in
  --deb) want_zip=0 ;;
  --zip) want_deb=0 ;;
  "") ;;
  *) echo "usage: scripts/package.sh [--deb|--zip]" >&2; exit 2 ;;
esac

version=$(sed -n 's/^project(orbisk VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package.sh: no version in CMakeLists.txt" >&2; exit 1; }
changelog=$(dpkg-parsechangelog -S Version)
if [ "$changelog" != "$version" ]; then
  echo "package.sh: debian/changelog says $changelog, CMakeLists.txt says $version" >&2
  exit 1
fi

out=$root/out/packages
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The files of the tree without anything built: what git tracks (and new
# files not ignored), or the tree minus build/ and out/ outside a checkout.
clean_copy() {
  local dest=$1
  mkdir -p "$dest"
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
      [ -e "$f" ] && printf '%s\0' "$f"
    done | tar --null -T - -cf - | tar -xf - -C "$dest"
  else
    tar --exclude=./build --exclude=./out --exclude=./.git -cf - . | tar -xf - -C "$dest"
  fi
}

if [ "$want_deb" = 1 ]; then
  echo "== Debian package $version"
  src=$work/orbisk-$version
  clean_copy "$src"
  (cd "$src" && dpkg-buildpackage -b -us -uc -j"$(nproc)" >"$work/deb.log" 2>&1) || {
    tail -n 40 "$work/deb.log" >&2
    exit 1
  }
  rm -f "$out"/orbisk_*.deb
  mv "$work"/orbisk_"$version"_*.deb "$out"/
  ls "$out"/orbisk_"$version"_*.deb
fi

if [ "$want_zip" = 1 ]; then
  echo "== Windows zip $version"
  src=$work/win32-src
  clean_copy "$src"
  cmake -S "$src" -B "$work/win32" --toolchain "$src/cmake/mingw-i686-posix.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DORBISK_QT=OFF -DORBISK_TESTS=OFF -DORBISK_BENCH=OFF >/dev/null
  cmake --build "$work/win32" -j "$(nproc)" --target orbisk orbisk_tool >"$work/win32.log" 2>&1 || {
    tail -n 40 "$work/win32.log" >&2
    exit 1
  }
  stage=$work/zip
  mkdir -p "$stage"
  for f in orbisk.dll orbisk.exe; do
    i686-w64-mingw32-strip -o "$stage/$f" "$work/win32/bin/$f"
  done
  # Text files with Windows line breaks, for Notepad.
  sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' packaging/windows/README.txt >"$stage/README.txt"
  sed -e 's/$/\r/' LICENSE >"$stage/LICENSE.txt"
  (cd "$stage" && sha256sum orbisk.dll orbisk.exe README.txt LICENSE.txt >SHA256SUMS)
  zip_file=$out/orbisk-$version-win32.zip
  rm -f "$zip_file"
  # Fixed times, so the same build gives the same zip.
  touch -d "@${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -S Timestamp)}" "$stage"/*
  (cd "$stage" && zip -q -X "$zip_file" orbisk.dll orbisk.exe README.txt LICENSE.txt SHA256SUMS)
  ls "$zip_file"
fi
