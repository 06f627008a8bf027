# Sourced by the benchmark scripts: a virtual display of its own with a
# window manager, taken down with everything in "pids" when the script ends.
# Expects "work" to name the script's scratch folder.
export QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="qt.webenginecontext=false"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display number and tells it.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1
