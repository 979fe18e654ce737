#!/usr/bin/env python3
"""The floors check on a tree of its own: it passes a tree whose includes run downward and
whose rooms include each other, and names every upward include, every include between the
two faces and every file lying outside a room where its floor keeps files in rooms."""
import os
import subprocess
import sys
import tempfile

SKRIPT = sys.argv[1]


def strom(soubory):
    koren = tempfile.mkdtemp()
    for cesta, obsah in soubory.items():
        plna = os.path.join(koren, cesta)
        os.makedirs(os.path.dirname(plna), exist_ok=True)
        with open(plna, "w", encoding="utf-8") as f:
            f.write(obsah)
    return koren


def spustit(koren):
    v = subprocess.run([sys.executable, SKRIPT, koren], capture_output=True, text=True)
    return v.returncode, v.stdout


dobry = {
    "src/common/text.h": "#pragma once\n",
    "src/beh/beh.cpp": '#include "beh/beh.h"\n#include "common/text.h"\n#include <vector>\n',
    "src/tvare/vyber_rozhrani.cpp": '#include "tvare/qt/a.h"\n#include "tvare/terminal/b.h"\n',
    "tools/x/main.cpp": '#include "beh/beh.h"\n#include "tools/x/y.h"\n',
    "src/platform/soubory/soubor.cpp": '#include "platform/procesy/proces.h"\n',
    "src/platform/procesy/proces.cpp": '#include "platform/soubory/soubor.h"\n',
    "src/prenos/zip/zip.cpp": '#include "platform/soubory/soubor.h"\n',
    "src/beh/vlastnik/vlastnik.cpp": '#include "beh/beh.h"\n#include "prenos/zip/zip.h"\n',
}
kod, vystup = spustit(strom(dobry))
assert kod == 0, vystup

spatny = dict(dobry)
spatny["src/soubory/volby.cpp"] = '#include "common/text.h"\n  #  include "instalace/x.h"\n'
spatny["src/tvare/qt/okno.cpp"] = '#include "tvare/terminal/terminal.h"\n'
spatny["src/nikde/x.cpp"] = ""
spatny["src/platform/volny.cpp"] = '#include "common/text.h"\n'
spatny["src/prenos/volny.h"] = "#pragma once\n"
spatny["src/platform/http/http.cpp"] = '#include "prenos/zip/zip.h"\n'
kod, vystup = spustit(strom(spatny))
assert kod == 1, vystup
radky = sorted(vystup.splitlines())
assert any(r.startswith("src/soubory/volby.cpp:2:") and "upward" in r for r in radky), vystup
assert any(r.startswith("src/tvare/qt/okno.cpp:1:") and "faces" in r for r in radky), vystup
assert any(r.startswith("src/nikde/x.cpp") for r in radky), vystup
assert any(r.startswith("src/platform/volny.cpp") and "no room" in r for r in radky), vystup
assert any(r.startswith("src/prenos/volny.h") and "no room" in r for r in radky), vystup
assert any(r.startswith("src/platform/http/http.cpp:1:") and "upward" in r for r in radky), vystup
assert len(radky) == 6, vystup
print("ok")
