# Sourced by the run and test scripts: a scratch Wine prefix with a virtual display and a
# persistent, warmed-up wineserver, and its clean shutdown.

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

ZERVA_XVFB_PID=""

start_wine_session() {
    local build="$1"
    export WINEPREFIX="$build/wineprefix"
    # The display must exist before the first Wine process: a wineserver started without one
    # refuses every window until it is killed.
    local n i
    for n in $(seq 91 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
        ZERVA_XVFB_PID=$!
        export DISPLAY=":$n"
        # Xvfb needs a moment before it takes connections; its socket appears when it does.
        for i in $(seq 1 200); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
        break
    done
    mkdir -p "$WINEPREFIX"
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p
    wine wineboot </dev/null >/dev/null 2>&1
}

stop_wine_session() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$ZERVA_XVFB_PID" ]; then
        kill "$ZERVA_XVFB_PID" 2>/dev/null || true
        wait "$ZERVA_XVFB_PID" 2>/dev/null || true
    fi
}
