# Sourced by the scripts that run the tests: start_xvfb starts a virtual X
# server when no DISPLAY is given and exports its display; stop_xvfb ends it.
xvfb_pid=""
start_xvfb() {
  [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null || return 0
  # Xvfb picks a free display number and writes it once it accepts clients.
  local numfile
  numfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$numfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$numfile" ] && break; sleep 0.1; done
  export DISPLAY=":$(tr -d '[:space:]' <"$numfile")"
  rm -f "$numfile"
}
stop_xvfb() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
