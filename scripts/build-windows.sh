#!/usr/bin/env bash
# The console for 64-bit Windows: builds Qt for Windows from Debian's source once (cached, see
# scripts/build-qt-windows.sh), cross-builds the console, tr7042k-burnin, tr7042k-ports and
# their Windows tests with it, and makes under build/windows/:
#   tr7042k-<version>-win64/        the program folder, as the zip holds it
#   tr7042k-<version>-win64.zip     that folder, zipped
#   tr7042k-<version>-setup.exe     the installer (NSIS)
# scripts/test-windows.sh calls it; it also runs on its own (after scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${TR_JOBS:-2}
started=$(date +%s)

qt=$(scripts/build-qt-windows.sh | tail -n 1)
qt_built=$(date +%s)

version=$(sed -n 's/^project(tr7042k VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=build/windows
tree=$out/build
cmake -S . -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTR_TESTS=ON -DTR_BENCH=ON >"$out-configure.log" 2>&1 || {
  cat "$out-configure.log" >&2
  exit 1
}
cmake --build "$tree" --parallel "$jobs" >"$out-build.log" 2>&1 || {
  grep -E 'error|Error' "$out-build.log" | head -n 40 >&2
  echo "the Windows build failed; the whole log: $out-build.log" >&2
  exit 1
}
built=$(date +%s)

# The program folder: the programs, what they import that Windows does not have, Qt's platform
# plugins (windows for the screen; minimal, with the system's fonts, for the burn-in's consoles,
# which show no window: Qt's offscreen plugin needs FreeType, which this Qt does without)
# and style, Qt's own Russian and Ukrainian texts for its dialogs, a qt.conf that makes the
# folder Qt's prefix, the README and the licences.
name=tr7042k-$version-win64
stage=$out/$name
rm -rf "$stage"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations" "$stage/licenses"
cp "$tree/app/tr7042k-console.exe" "$tree/burnin/tr7042k-burnin.exe" \
  "$tree/ports/tr7042k-ports.exe" "$stage/"
cp "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qminimal.dll" "$stage/platforms/"
cp "$qt/plugins/styles/"*.dll "$stage/styles/" 2>/dev/null || true
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)" "$stage/"
done
cp /usr/share/qt6/translations/qtbase_ru.qm /usr/share/qt6/translations/qtbase_uk.qm \
  "$stage/translations/"
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' >"$stage/qt.conf"

# Text files for Notepad: UTF-8 with a byte-order mark, CR LF.
windows_text() { # SOURCE TARGET
  { printf '\xef\xbb\xbf'; sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$1"; } >"$2"
}
windows_text packaging/windows/README.txt "$stage/README.txt"
windows_text packaging/copyright "$stage/licenses/LICENSE.txt"
windows_text "$qt/LGPL-3.0.txt" "$stage/licenses/LGPL-3.0.txt"
windows_text "$qt/GPL-3.0.txt" "$stage/licenses/GPL-3.0.txt"
awk '/^GCC RUNTIME LIBRARY EXCEPTION$/ {on = 1} on && /^libquadmath/ {exit} on {print}' \
  /usr/share/doc/g++-mingw-w64-x86-64-posix/copyright >"$out/gcc-exception.txt"
grep -q 'No Weakening of GCC Copyleft' "$out/gcc-exception.txt" || {
  echo "the GCC runtime library exception was not found in its copyright file" >&2
  exit 1
}
windows_text "$out/gcc-exception.txt" "$stage/licenses/GCC-RUNTIME-EXCEPTION.txt"
windows_text /usr/share/doc/mingw-w64-x86-64-dev/copyright "$stage/licenses/MINGW-W64.txt"
{
  echo "The Qt DLLs in this folder (Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll, platforms\\*.dll,"
  echo "styles\\*.dll) are Qt $(sed -n 's/^qt6-base //p' "$qt/build-info.txt"), built from Debian's"
  echo "source package qt6-base, version $(sed -n 's/^qt6-base //p' "$qt/build-info.txt")"
  echo "(its .orig tarball, unchanged), with Debian's mingw-w64 cross compiler"
  echo "($(x86_64-w64-mingw32-g++-posix --version | head -n 1)), as shared libraries."
  echo "They are used under the GNU Lesser General Public License version 3 (LGPL-3.0.txt)."
  echo "You may replace them with your own build of the same Qt version."
  echo
  echo "Where to get the source: apt-get source qt6-base=$(sed -n 's/^qt6-base //p' "$qt/build-info.txt")"
  echo "on Debian, or from Debian's archive. How it was configured:"
  echo
  sed -n 's/^configure /  configure /p' "$qt/build-info.txt"
  echo
  echo "The build script is scripts/build-qt-windows.sh of the TR7042K service console's source."
} >"$out/qt-source.txt"
windows_text "$out/qt-source.txt" "$stage/licenses/QT-SOURCE.txt"

# Everything the programs import is in the folder or is Windows' own.
for program in "$stage"/*.exe "$stage"/*.dll "$stage"/platforms/*.dll "$stage"/styles/*.dll; do
  [ -f "$program" ] || continue
  for dll in $(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p'); do
    case "${dll,,}" in
    qt6*.dll | libstdc++-6.dll | libgcc_s_seh-1.dll | libwinpthread-1.dll)
      [ -f "$stage/$dll" ] || { echo "$program imports $dll, which is not in the folder" >&2; exit 1; } ;;
    kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | ole32.dll | oleaut32.dll | \
      comdlg32.dll | imm32.dll | winmm.dll | ws2_32.dll | uxtheme.dll | dwmapi.dll | setupapi.dll | \
      shlwapi.dll | version.lib | version.dll | netapi32.dll | userenv.dll | mpr.dll | winspool.drv | \
      dwrite.dll | d3d9.dll | d3d11.dll | dxgi.dll | msvcrt.dll | wtsapi32.dll | authz.dll | \
      comctl32.dll | msimg32.dll | api-ms-win-*.dll | d2d1.dll | cfgmgr32.dll | rpcrt4.dll | \
      shcore.dll | dxguid.dll | oleacc.dll | uiautomationcore.dll)
      ;;
    *)
      echo "$program imports $dll, which Windows may not have and the folder lacks" >&2
      exit 1
      ;;
    esac
  done
done

rm -f "$out/$name.zip"
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
zip_bytes=$(stat -c %s "$out/$name.zip")
if [ "$zip_bytes" -gt $((25 * 1024 * 1024)) ]; then
  echo "the zip is $zip_bytes bytes, more than 25 MB" >&2
  exit 1
fi

# The installer, with an uninstaller that removes exactly what was installed.
files=$out/uninstall-files.nsh
{
  (cd "$stage" && find . -type f | sort) | sed 's#^\./##; s#/#\\#g; s#.*#  Delete "$INSTDIR\\&"#'
  (cd "$stage" && find . -mindepth 1 -type d | sort -r) | sed 's#^\./##; s#/#\\#g; s#.*#  RMDir "$INSTDIR\\&"#'
} >"$files"
setup=$out/tr7042k-$version-setup.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSOURCE="$root/$stage" \
  -DOUTFILE="$root/$setup" -DFILES="$root/$files" packaging/windows/installer.nsi >"$out-nsis.log" 2>&1 || {
  cat "$out-nsis.log" >&2
  exit 1
}

echo "-- Qt $(((qt_built - started))) s, programs $((built - qt_built)) s, folder, zip and installer $(($(date +%s) - built)) s"
echo "-- $out/$name.zip: $((zip_bytes / 1024)) KiB; $setup: $(($(stat -c %s "$setup") / 1024)) KiB"
