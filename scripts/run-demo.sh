#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# run-demo.sh BUILD_DIR: starts the bundled room emulator as the demo room on
# loopback, with its room display window, and the client beside it, from
# BUILD_DIR/run/ whose network.json points at the emulator.
# Without a display, runs both on a private Xvfb with two screens (the
# client's computer and the room's display), walks through joining,
# streaming and sending a note, and saves screenshots under BUILD_DIR/run/.
set -eu
scripts=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$scripts/.." && pwd)
headless=no
if [ "${1:-}" = "--headless" ]; then headless=yes; shift; fi
build=$(cd "${1:-build}" && pwd)
client="$build/bin/VelmorantClient"
emulator="$build/bin/room-emulator"
code=${DEMO_CODE:-VLM42}
run="$build/run"
mkdir -p "$run"
cd "$run"

have_display() { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }

if [ $headless = no ] && ! have_display; then
  echo "run-demo: no X display here; running the client and the room display on a private Xvfb."
  # Screen 0 is the client's computer, screen 1 the room's display: the
  # client streams screen 0, so the room does not film itself.
  exec "$scripts/with-xvfb.sh" --screen 1280x720x24 --screen 1280x720x24 -- "$scripts/$(basename "$0")" --headless "$build"
fi

events="$run/room-events.jsonl"
: >"$events"
emulator_pid=""
start_emulator() { # tcp port, udp port, display arguments...
  local tcp=$1 udp=$2
  shift 2
  "$emulator" --bind 127.0.0.1 --tcp-port "$tcp" --udp-port "$udp" \
    --room "$code:Salle de démonstration:3:10:2:demo-room" --device-name "Salle de démonstration" \
    --events "$events" "$@" </dev/null &
  emulator_pid=$!
  for _ in $(seq 50); do
    grep -q '"event":"ready"' "$events" 2>/dev/null && return 0
    kill -0 "$emulator_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

room_display=(--display)
if [ $headless = yes ]; then
  screen=${DISPLAY%.*}
  room_display+=(--display-geometry 1280x720+0+0)
  room_x="$screen.1"
else
  # Beside the client when the screen is wide enough; else where the window
  # manager puts it.
  width=$(xdpyinfo | sed -n 's/ *dimensions: *\([0-9]*\)x\([0-9]*\).*/\1/p' | head -n1)
  if [ "${width:-0}" -ge 1900 ]; then
    room_display+=(--display-geometry "1280x720+$((width - 1300))+40")
  fi
  room_x=$DISPLAY
fi
# The room's usual ports, so discovery works as in a real room; other ports
# when something else holds them (then only the direct code test finds it).
if ! DISPLAY=$room_x start_emulator 18413 48504 "${room_display[@]}"; then
  : >"$events"
  DISPLAY=$room_x start_emulator 0 0 "${room_display[@]}" ||
    { echo "run-demo: the room emulator did not start" >&2; exit 1; }
fi
client_pid=""
# Client first, then the room; never stopped by a failing wait (set -e).
# shellcheck disable=SC2317 # called by the trap
stop_all() {
  set +e
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null && wait "$client_pid" 2>/dev/null
  kill "$emulator_pid" 2>/dev/null && wait "$emulator_pid" 2>/dev/null
  return 0
}
trap stop_all EXIT
tcp_port=$(sed -n 's/.*"event":"ready".*"tcp_port":\([0-9]*\).*/\1/p' "$events" | head -n1)
cat >network.json <<JSON
{ "udpUnicast": true, "servers": ["127.0.0.1:$tcp_port"] }
JSON

echo "run-demo: room emulator on 127.0.0.1 (TCP $tcp_port); its events go to $events"
echo "run-demo: demo room code: $code   (type it into the client)"

if [ $headless = no ]; then
  echo "run-demo: the room display window shows what the room receives: join, press the stream"
  echo "          button, send a note or a link; click or type on the streamed picture to control"
  echo "          this computer from the room (once remote control is allowed in the settings)."
  "$client"
  exit $?
fi

# --- the scripted tour, on the private Xvfb ---
wait_event() { # pattern seconds
  for _ in $(seq $(($2 * 10))); do
    grep -q "$1" "$events" && return 0
    sleep 0.1
  done
  echo "run-demo: waited $2 s for $1 in vain" >&2
  return 1
}
# The window description's "Size" of a window, "w h".
described_size() {
  sed -n "s/.*\"WindowsName\": \"$1\", \"Size\": \"\([0-9]*\), \([0-9]*\)\".*/\1 \2/p" \
    "$source_dir/client/resources/windows.json" | head -n1
}
# The client's visible window built from this description (same shape,
# whatever the scale), as "id width".
client_window() { # WindowsName
  local dw dh w geometry
  read -r dw dh < <(described_size "$1") || return 1
  for w in $(xdotool search --onlyvisible --pid "$client_pid" 2>/dev/null); do
    geometry=$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: \([0-9]*\)x\([0-9]*\).*/\1 \2/p')
    # shellcheck disable=SC2086
    if awk -v dw="$dw" -v dh="$dh" 'function abs(v) { return v < 0 ? -v : v }
        { exit !(abs($1 * dh - $2 * dw) < 0.02 * $1 * dh) }' <<<"$geometry"; then
      echo "$w ${geometry%% *}"
      return 0
    fi
  done
  return 1
}
# A widget's "Geometry" in its window's description, "x y w h".
widget_geometry() { # WindowsName widget
  awk -v win="\"WindowsName\": \"$1\"" -v name="\"Name\": \"$2\"," '
    index($0, "\"WindowsName\":") { inside = index($0, win) > 0 }
    inside && index($0, name) && match($0, /"Geometry": "[0-9]+, [0-9]+, [0-9]+, [0-9]+"/) {
      g = substr($0, RSTART + 13, RLENGTH - 14); gsub(",", "", g); print g; exit
    }' "$source_dir/client/resources/windows.json"
}
# Clicks the centre of a widget of the description, scaled as the window is.
click_widget() { # WindowsName "id width" widget
  local dw dh x y w h at
  read -r dw dh < <(described_size "$1") || return 1
  read -r x y w h < <(widget_geometry "$1" "$3") || return 1
  at=$(awk -v x="$x" -v y="$y" -v w="$w" -v h="$h" -v real="${2#* }" -v dw="$dw" \
    'BEGIN { f = real / dw; printf "%d %d", (x + w / 2) * f, (y + h / 2) * f }')
  # shellcheck disable=SC2086
  xdotool mousemove --window "${2%% *}" $at click 1
}
settle() { sleep "${1:-0.6}"; } # the last paint reaching the screen
shot() { # name: the client's screen beside the room's display
  import -display "$screen.0" -window root "$run/client-$1.png"
  import -display "$screen.1" -window root "$run/room-$1.png"
  convert "$run/client-$1.png" "$run/room-$1.png" -bordercolor '#0b0d10' -border 12 +append \
    "$run/demo-$1.png"
  shots+=("$run/demo-$1.png")
}
shots=()

# A calm desktop behind the client, so its streamed screen reads as one.
convert -size 1280x720 gradient:'#3a4556'-'#151a22' "$run/desktop.png" &&
  display -display "$screen.0" -window root "$run/desktop.png" || true

export DISPLAY="$screen.0"
"$client" &
client_pid=$!
win=$(xdotool search --sync --onlyvisible --pid "$client_pid" 2>/dev/null | head -n1)
[ -n "$win" ] && xdotool windowfocus --sync "$win"
xdotool type --delay 80 "$code"
if wait_event '"event":"codetest".*"valid":true' 20; then
  settle 1.5
  shot 1-code
  # Joining: Return in the code window.
  xdotool key Return
  if wait_event '"event":"session.recv".*"name":"Identity"' 20 && session=$(
    for _ in $(seq 50); do client_window UiMainWindowAdvanced && break; sleep 0.2; done
  ) && [ -n "$session" ]; then
    settle 1
    shot 2-joined
    click_widget UiMainWindowAdvanced "$session" ButtonFlux
    # The pointer off the button, over the desktop, where the room shows it.
    xdotool mousemove --screen 0 760 420
    if wait_event '"event":"display.stream"' 30; then
      settle 2
      shot 3-streaming
      # A note: the send menu, then the note composer.
      click_widget UiMainWindowAdvanced "$session" ButtonUpload && settle 0.5 &&
        click_widget UiMainWindowAdvanced "$session" ButtonUploadNote
      if composer=$(for _ in $(seq 25); do client_window UiNoteWindowAdvanced && break; sleep 0.2; done) &&
        [ -n "$composer" ]; then
        xdotool windowfocus --sync "${composer%% *}" 2>/dev/null || true
        # A blue note with a star, to show colour and tag on the room display.
        click_widget UiNoteWindowAdvanced "$composer" ButtonColorBlue
        click_widget UiNoteWindowAdvanced "$composer" TagButton
        click_widget UiNoteWindowAdvanced "$composer" ButtonTagStar
        click_widget UiNoteWindowAdvanced "$composer" MainText
        xdotool type --delay 40 "Budget review at 3 pm"
        click_widget UiNoteWindowAdvanced "$composer" ValidButton
        if wait_event '"event":"display.note"' 20; then
          settle 1
          shot 4-note
        fi
        # A web link, from the same menu, to the display's side list.
        click_widget UiMainWindowAdvanced "$session" ButtonUploadWeb
        if web=$(for _ in $(seq 25); do client_window UiWebWindowAdvanced && break; sleep 0.2; done) &&
          [ -n "$web" ]; then
          click_widget UiWebWindowAdvanced "$web" UrlText
          xdotool type --delay 30 "https://intranet.example/agenda"
          click_widget UiWebWindowAdvanced "$web" ValidButton
          wait_event '"event":"display.item"' 20 && settle 1 && shot 5-link
        fi
      else
        echo "run-demo: no note composer came up; the tour ends with the stream." >&2
      fi
    fi
  else
    echo "run-demo: the client did not join; the tour ends with the code." >&2
  fi
fi
[ ${#shots[@]} -gt 0 ] && echo "run-demo: screenshots (client's screen | room display):" &&
  printf '  %s\n' "${shots[@]}"
exit 0
