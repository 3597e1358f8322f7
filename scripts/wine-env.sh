# Sourced by the run and test scripts: a scratch Wine prefix with a virtual display and a
# persistent, warmed-up wineserver, and its clean shutdown.

# Quiet, but for the error channel: a program that fails to start says why. What Wine says there
# about itself at every Direct3D start is taken out of what the scripts print (wine-noise.sed).
export WINEDEBUG=-all,err+all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

ZERVA_XVFB_PID=""
ZERVA_WINE_NOISE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-noise.sed"

# wine with the lines of wine-noise.sed left out of its standard error, which is shown once the
# program has ended; returns the program's exit code. Through a file, not a pipe: the servers a
# command starts inherit Wine's standard error and would hold a pipe open long after it ended.
quiet_wine() {
    local notes code=0
    notes="$(mktemp)"
    wine "$@" 2>"$notes" || code=$?
    sed -f "$ZERVA_WINE_NOISE" "$notes" >&2
    rm -f "$notes"
    return "$code"
}

# This Wine has no Windows fonts: Debian's DejaVu files stand in under the Windows file names Zerva
# looks for (text, bold, monospaced), so pictures show the letters a Windows user sees instead of
# the built-in fallback. For a prefix of a script's own: the test prefix keeps its empty Fonts
# folder, which the tests rely on. The icon font has no stand-in: icons stay blank.
lay_standin_fonts() {
    local fonts="$WINEPREFIX/drive_c/windows/Fonts" dejavu=/usr/share/fonts/truetype/dejavu
    mkdir -p "$fonts"
    cp "$dejavu/DejaVuSans.ttf" "$fonts/segoeui.ttf"
    cp "$dejavu/DejaVuSans-Bold.ttf" "$fonts/seguisb.ttf"
    cp "$dejavu/DejaVuSansMono.ttf" "$fonts/consola.ttf"
}

start_wine_session() {
    local build="$1"
    export WINEPREFIX="$build/wineprefix"
    mkdir -p "$WINEPREFIX"
    # The display must exist before the first Wine process: a wineserver started without one
    # refuses every window until it is killed. Xvfb claims a free display number itself (its lock
    # is atomic, so parallel runs never pick the same one) and writes it once it takes connections.
    local fifo="$build/xvfb-display.fifo" n=""
    rm -f "$fifo"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    ZERVA_XVFB_PID=$!
    read -r -t 30 n <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$n" ]; then
        echo "wine-env: Xvfb did not start" >&2
        stop_wine_session
        return 1
    fi
    export DISPLAY=":$n"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p
    wine wineboot </dev/null >/dev/null 2>&1
    # A crashing test would otherwise sit in Wine's debugger until ctest's time-out: let a
    # "debugger" that exits at once take the crash, so the test fails straight away.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ \
        /d 'cmd.exe /c exit 1' /f </dev/null >/dev/null 2>&1
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ \
        /d 1 /f </dev/null >/dev/null 2>&1
    # Wine's Direct3D hands its commands to a thread of its own ("csmt"), which under load could
    # still be inside Mesa's generated code while a Direct3D process ended: it faulted there, the
    # process waited for the debugger and kept the test's output pipe open until the time-out.
    # Without that thread the drawing happens on the calling thread, which ends first.
    wine reg add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
}

stop_wine_session() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$ZERVA_XVFB_PID" ]; then
        kill "$ZERVA_XVFB_PID" 2>/dev/null || true
        wait "$ZERVA_XVFB_PID" 2>/dev/null || true
    fi
}
