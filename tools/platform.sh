# The Wine test platform, sourced by tools/test and tools/demo:
# Xvfb, a PulseAudio null sink, cupsd with a PDF printer, the Russian locale
# and a template 32-bit prefix. Everything started is recorded by process id
# and stopped by fw_platform_down.

# Which Windows build the tests run on: the product's 32-bit build where the
# host runs 32-bit code, otherwise a 64-bit build of the same sources in a
# 64-bit prefix (some virtual machines run 64-bit user code only, and a 32-bit
# Wine cannot start there).
fw_windows_preset() {
  if [ -n "${FW_WINDOWS_PRESET:-}" ]; then
    echo "$FW_WINDOWS_PRESET"
  elif [ -x /usr/lib/wine/wine ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo win64
  else
    echo win32
  fi
}

# fw_start_xvfb WxH -> prints the display number N; records the pid, also in $FW_RUN/xvfb-N.pid.
# The server picks a free number itself, so runs that start side by side never take the same one.
fw_start_xvfb() {
  local size=${1:-1024x768} n="" numfile pid
  numfile=$(mktemp "$FW_RUN/xvfb.XXXXXX")
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  pid=$!
  echo "$pid" >>"$FW_RUN/pids"
  for _ in $(seq 100); do
    n=$(tr -dc '0-9' <"$numfile")
    [ -n "$n" ] && [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.05
  done
  rm -f "$numfile"
  echo "$pid" >"$FW_RUN/xvfb-$n.pid"
  echo "$n"
}

fw_platform_up() {
  export FW_RUN=${FW_RUN:-$(mktemp -d /tmp/fwrun.XXXXXX)}
  : >"$FW_RUN/pids"
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

  # Russian locale, as on the users' systems (ANSI 1251, OEM 866).
  if [ ! -d "$FW_RUN/locale/ru_RU.UTF-8" ]; then
    mkdir -p "$FW_RUN/locale"
    localedef -i ru_RU -f UTF-8 "$FW_RUN/locale/ru_RU.UTF-8" >/dev/null 2>&1 || true
  fi
  export LOCPATH="$FW_RUN/locale"
  export LANG=ru_RU.UTF-8 2>/dev/null

  export DISPLAY=":$(fw_start_xvfb 1024x768)"

  # PulseAudio with a null sink gives Wine its mixer devices.
  export XDG_RUNTIME_DIR="$FW_RUN/xdg"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --log-target=file:"$FW_RUN/pulse.log" \
    --load="module-null-sink sink_name=null" --load=module-native-protocol-unix >/dev/null 2>&1 || true
  for _ in $(seq 50); do [ -f "$XDG_RUNTIME_DIR/pulse/pid" ] && break; sleep 0.1; done
  [ -f "$XDG_RUNTIME_DIR/pulse/pid" ] && cat "$XDG_RUNTIME_DIR/pulse/pid" >>"$FW_RUN/pids"
  pactl set-default-sink null >/dev/null 2>&1 || true

  # CUPS with the PDF printer as default; Wine reads the printers when the
  # prefix is created, so this comes before the template.
  # (lpstat -r answers 0 even without a scheduler, so ask for the process.)
  if ! pgrep -x cupsd >/dev/null; then
    mkdir -p /run/cups
    cupsd >/dev/null 2>&1 || true
    for _ in $(seq 50); do [ -S /run/cups/cups.sock ] && break; sleep 0.1; done
    pgrep -x cupsd >>"$FW_RUN/pids" || true
  fi
  lpadmin -p PDF -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd >/dev/null 2>&1 ||
    lpadmin -p PDF -E -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd >/dev/null 2>&1 || true
  lpadmin -d PDF >/dev/null 2>&1 || true

  FW_WINDOWS_PRESET=$(fw_windows_preset)
  export FW_WINDOWS_PRESET
  if [ "$FW_WINDOWS_PRESET" = win64 ]; then
    # Debian's wine command takes the 32-bit loader whenever it is installed,
    # and wineboot calls it by name: both go to the 64-bit loader instead.
    mkdir -p "$FW_RUN/bin"
    for name in wine wine-stable; do
      printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$FW_RUN/bin/$name"
      chmod +x "$FW_RUN/bin/$name"
    done
    export PATH="$FW_RUN/bin:$PATH"
  fi
  export WINEARCH=$FW_WINDOWS_PRESET WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  export FW_TEMPLATE="$FW_RUN/template"
  if [ ! -d "$FW_TEMPLATE" ]; then
    WINEPREFIX="$FW_TEMPLATE" wineboot -i >/dev/null 2>&1
    # Drive D: is a CD drive; each run links it to the folder it needs.
    WINEPREFIX="$FW_TEMPLATE" wine reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f >/dev/null 2>&1
    # Text files open in Notepad, as on any Windows machine (this prefix has
    # the file type but not the extension's link to it).
    WINEPREFIX="$FW_TEMPLATE" wine reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
    WINEPREFIX="$FW_TEMPLATE" wineserver -w
  fi
  export FW_ROOT="$root"
}

fw_platform_down() {
  [ -n "${FW_RUN:-}" ] && [ -f "$FW_RUN/pids" ] || return 0
  while read -r pid; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
  done <"$FW_RUN/pids"
  sleep 0.3
  while read -r pid; do
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
  done <"$FW_RUN/pids"
  : >"$FW_RUN/pids"
}
