#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# with-xvfb.sh [--screen WxHxD]... [--xvfb-arg ARG]... -- command args...
# Runs a command on a private Xvfb on a free display, then stops the server.
# Each --screen adds one X screen; extra Xvfb arguments (for example
# +xinerama) pass through --xvfb-arg.
set -u
screens=() extra=()
while [ $# -gt 0 ]; do
  case "$1" in
    --screen) screens+=("$2"); shift 2 ;;
    --xvfb-arg) extra+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ ${#screens[@]} -eq 0 ] && screens=(1920x1080x24)
args=()
for i in "${!screens[@]}"; do args+=(-screen "$i" "${screens[$i]}"); done

fifo=$(mktemp -u "${TMPDIR:-/tmp}/xvfb-fd.XXXXXX")
mkfifo "$fifo"
Xvfb -displayfd 3 "${args[@]}" "${extra[@]}" -nolisten tcp -noreset +extension XTEST \
  3>"$fifo" >/dev/null 2>&1 &
xpid=$!
trap 'kill $xpid 2>/dev/null; wait $xpid 2>/dev/null; rm -f "$fifo"' EXIT
if ! read -r -t 10 num <"$fifo"; then
  echo "with-xvfb: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$num"
unset QT_QPA_PLATFORM
"$@"
