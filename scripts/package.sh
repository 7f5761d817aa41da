#!/usr/bin/env bash
# Builds every release artefact into dist/ (installing what is missing, as
# the other scripts do): the Debian package and a .tar.gz of the same tree
# (the Linux build through CPack), the Windows archives for x86-64 and x86
# (demo.exe, demo-digest.exe, our own d3dx9_24.dll and a text of how to run
# them) and the site as one archive. Prints each artefact's size and the
# time the whole took.
#   bash scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

start=$SECONDS
scripts/setup.sh
scripts/install-missing.sh package g++-mingw-w64-x86-64 g++-mingw-w64-i686
version=$(sed -n 's/^project(demo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
rm -rf dist && mkdir -p dist

echo "== package: the Linux build, its .deb and .tar.gz"
scripts/build.sh default
(cd build/default && cpack -G "DEB;TGZ" -B "$PWD/../../dist/cpack" >/dev/null)
mv dist/cpack/*.deb dist/cpack/*.tar.gz dist/
rm -rf dist/cpack

for arch in x64 x86; do
  echo "== package: the Windows $arch archive"
  scripts/build.sh "windows-$arch"
  cp "build/windows-$arch/demo-$version-windows-$arch.zip" dist/
done

echo "== package: the site"
scripts/web-build.sh
cp "build/web/demo-$version-web.zip" dist/

echo "package: dist/ in $(( SECONDS - start )) s:"
for file in dist/*; do
  printf '  %-36s %9d bytes\n' "$(basename "$file")" "$(stat -c %s "$file")"
done
