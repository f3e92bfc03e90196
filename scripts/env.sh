# Sourced by the scripts: build trees, Wine's prefix and a private X display.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$ROOT/build}
case "$BUILD_ROOT" in /*) ;; *) BUILD_ROOT=$ROOT/$BUILD_ROOT ;; esac

# configure_and_build TREE ARCH: one cross build tree (ARCH is x86_64 or i686).
configure_and_build() {
  local tree=$1 arch=$2
  if [ ! -f "$tree/build.ninja" ]; then
    cmake -S "$ROOT" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$arch.cmake" >/dev/null
  fi
  cmake --build "$tree"
}

XVFB_PID=""
WINESERVER_PID=""

# Starts Xvfb on the first free display number unless one is given in DISPLAY already.
start_display() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
  echo "Xvfb did not start on $DISPLAY" >&2
  return 1
}

wineserver_binary() {
  for w in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver /usr/bin/wineserver; do
    [ -x "$w" ] && { echo "$w"; return; }
  done
}

# setup_prefix_fonts RUNNER: the faces a Windows program expects, in the prefix WINEPREFIX.
# Wine's own Tahoma, MS Sans Serif, Marlett and Courier (Debian's fonts-wine) are not found where
# that package puts them, so they are linked into the prefix's Fonts folder. "MS Shell Dlg"
# (the stock GUI font) becomes MS Sans Serif, as on Windows, instead of Wine's Tahoma; "Courier
# New", which Wine lacks, is replaced by the metric-compatible Liberation Mono.
setup_prefix_fonts() {
  local run=$1 fonts=$WINEPREFIX/drive_c/windows/Fonts f
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/*; do
    if [ -e "$f" ] && [ ! -e "$fonts/${f##*/}" ]; then ln -s "$f" "$fonts/"; fi
  done
  "$run" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'MS Shell Dlg' /d 'MS Sans Serif' /f >/dev/null 2>&1 </dev/null
  "$run" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
    /v 'Courier New' /d 'Liberation Mono' /f >/dev/null 2>&1 </dev/null
}

# Keeps one wineserver alive for the prefix so each test process starts in about 0.1 s,
# and creates the prefix on first use.
start_wine() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  mkdir -p "$WINEPREFIX"
  "$(wineserver_binary)" -f -p >/dev/null 2>&1 &
  WINESERVER_PID=$!
  sleep 0.3
  if [ ! -d "$WINEPREFIX/drive_c/windows" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=" "$2" wineboot -i >/dev/null 2>&1 </dev/null || true
  fi
  setup_prefix_fonts "$2"
  # Start Wine's services and desktop now, detached from our output: started by the first test
  # they would inherit its pipe and ctest would wait for them until the time-out.
  "$2" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# start_desktop RUNNER SIZE [DPI]: after start_wine, every window of the prefix opens in one
# virtual desktop of SIZE (WxH) with Wine's taskbar, as on Windows, at DPI dots per inch (96
# unless given). The server is started again so that the desktop and fonts take the settings.
start_desktop() {
  local run=$1 size=$2 dpi=${3:-96}
  reg_set() { "$run" reg add "$@" /f >/dev/null 2>&1 </dev/null; }
  reg_set 'HKCU\Software\Wine\Explorer' /v Desktop /d Default
  reg_set 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size"
  reg_set 'HKCU\Software\Wine\Explorer\Desktops\Default' /v EnableShell /t REG_DWORD /d 1
  reg_set 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi"
  "$(wineserver_binary)" -k >/dev/null 2>&1 || true
  wait "$WINESERVER_PID" 2>/dev/null || true
  "$(wineserver_binary)" -f -p >/dev/null 2>&1 &
  WINESERVER_PID=$!
  sleep 0.3
  "$run" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

stop_wine() {
  # "wineserver -k" ends every process of this prefix (services included), then the server.
  if [ -n "$WINESERVER_PID" ]; then
    "$(wineserver_binary)" -k >/dev/null 2>&1 || true
    kill "$WINESERVER_PID" 2>/dev/null || true
    wait "$WINESERVER_PID" 2>/dev/null || true
  fi
  WINESERVER_PID=""
}

stop_services() {
  stop_wine
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  XVFB_PID=""
}

# The 32-bit Wine loader, from Debian's wine32:i386 (WINE32_LOADER=/nonexistent scripts/test
# shows the skip line).
WINE32_LOADER=${WINE32_LOADER:-/usr/lib/wine/wine}

# Whether the kernel executes 32-bit x86 code: runs a 96-byte i386 ELF that exits with 42.
runs_32bit_code() {
  local probe status=0
  probe=$(mktemp "${TMPDIR:-/tmp}/tovane-i386-XXXXXX") || return 1
  python3 - "$probe" <<'PY'
import struct, sys
code = b"\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80"  # mov ebx,42; mov eax,1; int 0x80
base, start = 0x08048000, 52 + 32
elf = struct.pack("<4s5B7xHHIIIIIHHHHHH", b"\x7fELF", 1, 1, 1, 0, 0, 2, 3, 1, base + start, 52, 0, 0,
                  52, 32, 1, 0, 0, 0)
elf += struct.pack("<8I", 1, 0, base, base, start + len(code), start + len(code), 5, 0x1000)
open(sys.argv[1], "wb").write(elf + code)
PY
  chmod +x "$probe"
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# Prints why the 32-bit build cannot run under Wine here; prints nothing when it can.
why_no_wine32() {
  if ! runs_32bit_code; then
    echo "this machine does not execute 32-bit code"
  elif [ ! -x "$WINE32_LOADER" ]; then
    echo "the 32-bit Wine loader $WINE32_LOADER (package wine32:i386) is not installed"
  elif ! "$WINE32_LOADER" --version >/dev/null 2>&1; then
    echo "the 32-bit Wine loader $WINE32_LOADER does not start"
  fi
}

# A 64-bit prefix made before wine32 was installed has no syswow64: 32-bit programs fail in it
# ("could not load kernel32.dll"). Removes such a prefix so that the next start makes it again.
drop_prefix_without_wow64() {
  local prefix=$1
  if [ -d "$prefix/drive_c/windows" ] && [ ! -d "$prefix/drive_c/windows/syswow64" ] &&
     grep -q '^#arch=win64' "$prefix/system.reg" 2>/dev/null; then
    echo "Removing $prefix: it was made without 32-bit support"
    rm -rf "$prefix"
  fi
}

# run_ctest TREE [ctest args]: the tree's tests, serially, with the Wine session already started.
run_ctest() {
  local tree=$1 status=0 started
  shift
  started=$(date +%s)
  ctest --test-dir "$tree" --output-on-failure --timeout 240 "$@" || status=$?
  echo "$(basename "$tree"): ctest finished in $(($(date +%s) - started)) s"
  return $status
}

# run_suite TREE [ctest args]: every test of one build tree in the tree's own Wine prefix, on the
# display already started.
run_suite() {
  local tree=$1 status=0
  shift
  start_wine "$tree/wineprefix" "$tree/wine-run"
  run_ctest "$tree" "$@" || status=$?
  stop_wine
  return $status
}
