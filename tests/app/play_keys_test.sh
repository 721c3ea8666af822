#!/usr/bin/env bash
# kestra under Xvfb driven by real key presses (xdotool) on a copy of a
# cartridge with save memory: F12 (screenshot), F5 (save state), play, F7
# (load state), then File > Exit. Checks the PNG, the state file and the .sav.
# usage: play_keys_test.sh KESTRA IMAGE
# With KEEP_SHOTS=DIR the screen captures are kept there.
set -euo pipefail
kestra=$1 image=$2
for tool in xvfb-run xdotool import identify; do
  command -v $tool >/dev/null || { echo "play_keys_test: $tool is missing" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'if [ -n "${KEEP_SHOTS:-}" ]; then cp "$work"/shot-*.png "$KEEP_SHOTS"/ || true; fi; rm -rf "$work"' EXIT
# A copy of the program keeps Kestra.INI, states/ and screenshots/ beside it.
cp "$kestra" "$work/kestra"
mkdir "$work/games"
name=$(basename "$image")
cp "$image" "$work/games/$name"
printf '[CONFIG]\nDrawSize=2\nFrameSkip=0\n' > "$work/Kestra.INI"

cat > "$work/run.sh" <<'INNER'
#!/usr/bin/env bash
set -u
work=$1 game=$2
"$work/kestra" "$game" & pid=$!
window=$(xdotool search --sync --onlyvisible --name '^Kestra' | head -n 1)
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 1.5
key() { xdotool key --window "$window" "$@"; sleep 0.7; }
key F12
import -window root "$work/shot-1-screenshot.png"
key F5
import -window root "$work/shot-2-saved.png"
key Return  # the console's Start: play on
sleep 1
key F7
import -window root "$work/shot-3-loaded.png"
key alt+f
import -window root "$work/shot-4-menu.png"
key x
for try in $(seq 1 50); do
  kill -0 $pid 2>/dev/null || break
  sleep 0.2
done
if kill -0 $pid 2>/dev/null; then kill -9 $pid; echo "kestra did not close" >&2; exit 1; fi
wait $pid
INNER
chmod +x "$work/run.sh"
SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 800x600x24" \
  "$work/run.sh" "$work" "$work/games/$name"

fail=0
shots=("$work"/screenshots/*.png)
if [ ! -f "${shots[0]}" ]; then
  echo "play_keys_test: no screenshot in $work/screenshots" >&2; fail=1
else
  size=$(identify -format '%wx%h' "${shots[0]}")
  [ "$size" = 224x144 ] || [ "$size" = 144x224 ] || { echo "play_keys_test: screenshot is $size" >&2; fail=1; }
fi
[ -s "$work/states/$name.0.kst" ] || { echo "play_keys_test: no state file states/$name.0.kst" >&2; fail=1; }
[ -s "$work/games/${name%.*}.sav" ] || { echo "play_keys_test: no save file" >&2; fail=1; }
grep -q '^\[HOTKEYS\]' "$work/Kestra.INI" || { echo "play_keys_test: no [HOTKEYS] in Kestra.INI" >&2; fail=1; }
exit $fail
