#!/usr/bin/env bash
# kestra under Xvfb at x2 on a still cartridge, captured from the screen and
# compared with kestra-headless --screenshot of the same cartridge.
# usage: screenshot_test.sh KESTRA HEADLESS COMPARE IMAGE
# With KEEP_SHOTS=DIR the captures are kept there.
set -euo pipefail
kestra=$1 headless=$2 compare=$3 image=$4
for tool in xvfb-run import; do
  command -v $tool >/dev/null || { echo "screenshot_test: $tool is missing" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'if [ -n "${KEEP_SHOTS:-}" ]; then cp "$work"/*.png "$KEEP_SHOTS"/ || true; fi; rm -rf "$work"' EXIT
# A copy of the program keeps its Kestra.INI in the scratch directory.
cp "$kestra" "$work/kestra"
printf '[CONFIG]\nDrawSize=2\nFrameSkip=0\n' > "$work/Kestra.INI"
"$headless" -n 120 --screenshot "$work/lcd.png" "$image"

cat > "$work/run.sh" <<'INNER'
#!/usr/bin/env bash
set -u
work=$1 image=$2 compare=$3
"$work/kestra" "$image" & pid=$!
status=1
for try in $(seq 1 20); do
  sleep 1
  import -window root "$work/screen.png"
  if "$compare" "$work/screen.png" "$work/lcd.png" 2; then status=0; break; fi
done
kill $pid
wait $pid 2>/dev/null || true
exit $status
INNER
chmod +x "$work/run.sh"
SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 800x600x24" \
  "$work/run.sh" "$work" "$image" "$compare"
