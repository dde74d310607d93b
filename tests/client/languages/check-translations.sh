#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# check-translations.sh LUPDATE CLIENT_DIR
# Both catalogues must hold a finished translation of every text the code
# passes through tr(): lupdate over the sources, on copies of the catalogues,
# must find nothing new or unfinished. The language list's two entries must
# keep the start-up rule ("fr" only in the French one).
set -eu
lupdate=$1 client=$2
[ -x "$lupdate" ] || lupdate=$(command -v lupdate || echo /usr/lib/qt5/bin/lupdate)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for lang in fr en; do
  cp "$client/languages/velmorantclient_$lang.ts" "$work/$lang.ts"
  "$lupdate" -silent -locations none -extensions cpp,h "$client" -ts "$work/$lang.ts" >/dev/null
  if grep -q 'type="unfinished"' "$work/$lang.ts"; then
    echo "velmorantclient_$lang.ts misses translations for:"
    grep -B3 'type="unfinished"' "$work/$lang.ts" | grep '<source>' | sed 's/^ */  /'
    status=1
  fi
  entry() { # the translation of source text $1 in context Velmorant::UiConfigurationWindow
    python3 - "$client/languages/velmorantclient_$lang.ts" "$1" <<'PY'
import sys, xml.etree.ElementTree as ET
for ctx in ET.parse(sys.argv[1]).getroot().iter('context'):
    if ctx.findtext('name') != 'Velmorant::UiConfigurationWindow':
        continue
    for m in ctx.iter('message'):
        if m.findtext('source') == sys.argv[2]:
            print(m.findtext('translation') or '')
PY
  }
  fr=$(entry Francais) en=$(entry English)
  case "${fr,,}" in *fr*) ;; *) echo "$lang: \"Francais\" must translate to a text with \"fr\" (is \"$fr\")"; status=1 ;; esac
  case "${en,,}" in *fr*) echo "$lang: \"English\" must not translate to a text with \"fr\" (is \"$en\")"; status=1 ;; esac
done
[ $status -eq 0 ] && echo "both catalogues complete"
exit $status
