#!/bin/bash
# Runs a test on a desktop of its own: a virtual X server and a window manager, both started
# here and stopped when the test ends. Usage: on_desktop.sh TEST [ARGUMENT...]
set -u

dir=$(mktemp -d)
xserver="" wm=""
stop() {
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xserver" ] && kill "$xserver" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$dir"
}
trap stop EXIT
trap 'exit 1' INT TERM

# The server names its display once it is ready for clients.
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/x.log" &
xserver=$!
if ! read -r display <"$dir/display" || [ -z "$display" ]; then
    echo "The X server did not start:"; cat "$dir/x.log"
    exit 1
fi

export DISPLAY=":$display" HOME="$dir" XDG_CONFIG_HOME="$dir/config" XDG_CACHE_HOME="$dir/cache"
export QT_QPA_PLATFORM=xcb
# libxkbcommon-x11 copies counted, unterminated strings with strndup(), which the sanitizer's
# strict string checks take for reads past their end.
[ -n "${ASAN_OPTIONS:-}" ] && export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
unset XDG_RUNTIME_DIR WAYLAND_DISPLAY

# The window manager runs the test once it manages the screen, and ends with it.
{
    echo '#!/bin/bash'
    printf '%q ' "$@"
    printf '>%q 2>&1\necho $? >%q\nopenbox --exit\n' "$dir/test.log" "$dir/status"
} >"$dir/run"
chmod +x "$dir/run"
openbox --sm-disable --startup "$dir/run" >"$dir/wm.log" 2>&1 &
wm=$!
wait "$wm"
wm=""
cat "$dir/test.log" 2>/dev/null
if [ ! -s "$dir/status" ]; then
    echo "The window manager ended before the test did:"; cat "$dir/wm.log"
    exit 1
fi
exit "$(cat "$dir/status")"
