#!/usr/bin/env bash
# Both builds of Tovane.exe must import system DLLs only: no C++ runtime, libgcc or pthread DLLs.
set -u
build=$1
root=$(dirname "$build")
allowed='^(kernel32|user32|gdi32|shell32|advapi32|comctl32|comdlg32|msvcrt|ole32|oleaut32|shlwapi|version|ws2_32|api-ms-win-.*)\.dll$'
status=0
checked=0
for tree in "$root/win64" "$root/win32"; do
  exe="$tree/bin/Tovane.exe"
  [ -f "$exe" ] || continue
  case "$tree" in *win32*) dump=i686-w64-mingw32-objdump; want=i386 ;; *) dump=x86_64-w64-mingw32-objdump; want=x86-64 ;; esac
  "$dump" -f "$exe" | grep -q "file format pei-$want" || { echo "FAIL: $exe is not $want"; status=1; }
  dlls=$("$dump" -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
  [ -n "$dlls" ] || { echo "FAIL: $exe lists no imports"; status=1; }
  for dll in $dlls; do
    if ! [[ $dll =~ $allowed ]]; then echo "FAIL: $exe imports $dll"; status=1; fi
  done
  echo "$exe imports: $(echo $dlls)"
  checked=$((checked + 1))
done
[ $checked -gt 0 ] || { echo "FAIL: no Tovane.exe found under $root"; status=1; }
exit $status
