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

XVFB_PIDS=()
WINESERVER_PIDS=() # with the prefix each one serves, in WINESERVER_PREFIXES
WINESERVER_PREFIXES=()
WINESERVER_INDEX=-1 # the last server started

# Starts a private Xvfb and sets DISPLAY to it. Xvfb picks the first free display number itself
# and reports it, so scripts starting displays at the same moment never take the same one.
start_display() {
  local answer n=""
  answer=$(mktemp "${TMPDIR:-/tmp}/tovane-display-XXXXXX")
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$answer" >/dev/null 2>&1 &
  XVFB_PIDS+=("$!")
  for _ in $(seq 100); do
    read -r n <"$answer" && break # a whole line: the number is written
    n=""
    sleep 0.1
  done
  rm -f "$answer"
  if [ -z "$n" ]; then
    echo "Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$n"
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

# The socket of WINEPREFIX's server: under /tmp/.wine-UID, or where Debian's Wine keeps it, a
# folder of the temporary path that the prefix's file "wineserver" names.
server_socket() {
  local dir base
  dir=server-$(stat -c '%D' "$WINEPREFIX")-$(printf %x "$(stat -c '%i' "$WINEPREFIX")")
  for base in "/tmp/.wine-$(id -u)" "${TMPDIR:-/tmp}/$(cat "$WINEPREFIX/wineserver" 2>/dev/null)"; do
    if [ -S "$base/$dir/socket" ]; then echo "$base/$dir/socket"; fi
  done
}

# Starts a persistent server for WINEPREFIX and waits until it listens: a Wine program started
# before that would start a server of its own, and the persistent one would give up.
start_server() {
  "$(wineserver_binary)" -f -p >/dev/null 2>&1 &
  WINESERVER_INDEX=$((WINESERVER_INDEX + 1))
  WINESERVER_PIDS[$WINESERVER_INDEX]=$!
  WINESERVER_PREFIXES[$WINESERVER_INDEX]=$WINEPREFIX
  for _ in $(seq 100); do
    [ -z "$(server_socket)" ] || return 0
    sleep 0.05
  done
}

# copy_prefix FROM TO: a prefix like FROM. The system folders (nearly all of its size, and the
# same in every prefix) are hard links to FROM's files; the rest is copied.
copy_prefix() {
  local from=$1 to=$2 system
  rm -rf "$to"
  mkdir -p "$to"
  tar -C "$from" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
    -cf - . | tar -C "$to" -xf -
  for system in system32 syswow64; do
    if [ -d "$from/drive_c/windows/$system" ]; then
      cp -al "$from/drive_c/windows/$system" "$to/drive_c/windows/"
    fi
  done
}

# Keeps one wineserver alive for the prefix so each test process starts in about 0.1 s,
# and creates the prefix on first use.
start_wine() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  mkdir -p "$WINEPREFIX"
  start_server
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
  stop_server "$WINESERVER_INDEX"
  start_server
  "$run" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# stop_server I: the I-th server started, with every process of its prefix (services included).
stop_server() {
  local i=$1
  [ -n "${WINESERVER_PIDS[$i]:-}" ] || return 0
  WINEPREFIX=${WINESERVER_PREFIXES[$i]} "$(wineserver_binary)" -k >/dev/null 2>&1 || true
  kill "${WINESERVER_PIDS[$i]}" 2>/dev/null || true
  wait "${WINESERVER_PIDS[$i]}" 2>/dev/null || true
  unset "WINESERVER_PIDS[$i]" "WINESERVER_PREFIXES[$i]"
}

stop_wine() {
  local i
  for i in "${!WINESERVER_PIDS[@]}"; do stop_server "$i"; done
}

stop_services() {
  local pid
  stop_wine
  for pid in "${XVFB_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  XVFB_PIDS=()
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

# start_sessions TREE N: N Wine sessions for one build tree, each a prefix, a server and an Xvfb
# display of its own, so that tests in different sessions cannot take the focus, the foreground,
# the clipboard or the prefix's settings from each other. The first prefix is TREE/wineprefix;
# the others are copies of it (TREE/wineprefix-2 ...), made once. TREE/sessions/sK holds session
# K's DISPLAY and WINEPREFIX, and TREE/sessions/sessions.json lists the sessions for ctest, which
# hands one to each test that asks for one (wine-run reads it). Afterwards WINEPREFIX and DISPLAY
# are the first session's.
start_sessions() {
  local tree=$1 count=$2 run=$1/wine-run dir=$1/sessions k prefix ids="" starting=()
  rm -rf "$dir"
  mkdir -p "$dir"
  start_display
  start_wine "$tree/wineprefix" "$run" # makes the prefix on first use
  echo "export DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX" >"$dir/s1"
  for k in $(seq 2 "$count"); do
    prefix=$tree/wineprefix-$k
    if [ ! -d "$prefix/drive_c/windows" ]; then
      # Copied while no server runs for the first prefix, so that its registry is on disk.
      [ -z "${WINESERVER_PIDS[$WINESERVER_INDEX]:-}" ] || stop_server "$WINESERVER_INDEX"
      copy_prefix "$tree/wineprefix" "$prefix"
    fi
  done
  if [ -z "${WINESERVER_PIDS[$WINESERVER_INDEX]:-}" ]; then
    start_server
    ("$run" cmd /c exit >/dev/null 2>&1 </dev/null || true) &
    starting+=("$!")
  fi
  for k in $(seq 2 "$count"); do
    start_display
    export WINEPREFIX=$tree/wineprefix-$k
    echo "export DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX" >"$dir/s$k"
    start_server
    # Fonts and services start while the next session is set up.
    (setup_prefix_fonts "$run" && "$run" cmd /c exit >/dev/null 2>&1 </dev/null || true) &
    starting+=("$!")
  done
  if [ ${#starting[@]} -gt 0 ]; then wait "${starting[@]}"; fi
  for k in $(seq "$count"); do ids+="${ids:+, }{\"id\": \"s$k\", \"slots\": 1}"; done
  echo "{\"version\": {\"major\": 1, \"minor\": 0}, \"local\": [{\"session\": [$ids]}]}" \
    >"$dir/sessions.json"
  source "$dir/s1"
}

# run_ctest TREE SESSIONS [ctest args]: the tree's tests, as many at a time as there are sessions
# (started by start_sessions, in TREE/sessions or given as SESSIONS), plus one for the host
# checks that need none.
run_ctest() {
  local tree=$1 sessions=$2 status=0 started count
  shift 2
  count=$(ls "$sessions" | grep -c '^s[0-9]*$')
  started=$(date +%s)
  TOVANE_SESSIONS=$sessions ctest --test-dir "$tree" --output-on-failure --timeout 240 \
    -j $((count + 1)) --resource-spec-file "$sessions/sessions.json" "$@" || status=$?
  echo "$(basename "$tree"): ctest finished in $(($(date +%s) - started)) s"
  return $status
}
