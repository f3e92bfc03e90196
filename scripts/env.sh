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

stop_services() {
  # "wineserver -k" ends every process of this prefix (services included), then the server.
  if [ -n "$WINESERVER_PID" ]; then
    "$(wineserver_binary)" -k >/dev/null 2>&1 || true
    kill "$WINESERVER_PID" 2>/dev/null || true
    wait "$WINESERVER_PID" 2>/dev/null || true
  fi
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
  WINESERVER_PID=""
  XVFB_PID=""
}
