#!/usr/bin/env python3
"""Checks that every #include "…" of src/ and tools/ runs downward.

The floors, bottom up, are the folders of src/ in the order of PATRA; main.cpp and the
tools stand on top. A file may include its own floor and the floors below it, never one
above; and the two faces (tvare/qt and tvare/terminal) never include each other. A floor
may have rooms, one folder each; the rooms of a floor include each other freely. The
floors of POKOJE keep every source file in a room, and a file lying loose there is
reported; the other floors may keep loose files beside their rooms. Every offending line
is printed as file:line: include; the exit status is 1 when there is one.

    scripts/kontrola_vrstev.py [ROOT]     (default: the repository this script lies in)
"""
import os
import re
import sys

PATRA = [
    "common",     # text, errors, times, encodings, lists
    "platform",   # the system: files, processes, INI, registry, HTTP, scheduler
    "rozhrani",   # the UI seam: the interface, progress and messages, the run's state
    "soubory",    # file and folder operations with retry, paths, options file, logs, trust
    "prenos",     # downloads and unpacking, zip, FTP, signatures and checksums
    "aplikace",   # installed files, scans, snapshots, manifests, application update
    "server",     # the update server: mirror and upload
    "instalace",  # setup folders, profile update, swaps
    "beh",        # the run: main run, release check, profiles, lock
    "tvare",      # the faces: Qt, terminal, the options logic
]
# The floors whose files all lie in rooms.
POKOJE = ("platform", "prenos")
VRCHOL = len(PATRA)  # main.cpp and tools/
TVARE = ("tvare/qt/", "tvare/terminal/")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def patro(cesta):
    """The floor of a path below src/ (or of a tools/ path); None for other headers."""
    if cesta.startswith("tools/") or cesta == "main.cpp":
        return VRCHOL
    prvni = cesta.split("/", 1)[0]
    return PATRA.index(prvni) if prvni in PATRA else None


def mimo_pokoj(cesta):
    """Whether a path below src/ lies loose in a floor that keeps its files in rooms."""
    casti = cesta.split("/")
    return len(casti) == 2 and casti[0] in POKOJE


def tvar(cesta):
    return next((t for t in TVARE if cesta.startswith(t)), None)


def main():
    koren = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(
        os.path.dirname(os.path.abspath(__file__)))
    chyby = 0
    for zaklad in ("src", "tools"):
        for slozka, _, soubory in os.walk(os.path.join(koren, zaklad)):
            for jmeno in sorted(soubory):
                if not jmeno.endswith((".h", ".cpp")):
                    continue
                plna = os.path.join(slozka, jmeno)
                relativni = os.path.relpath(plna, koren)
                vlastni = relativni[4:] if zaklad == "src" else relativni
                odkud = patro(vlastni)
                if odkud is None:
                    print(f"{relativni}: lies in no floor ({', '.join(PATRA)})")
                    chyby += 1
                    continue
                if mimo_pokoj(vlastni):
                    print(f"{relativni}: lies in no room of its floor")
                    chyby += 1
                with open(plna, encoding="utf-8") as f:
                    for cislo, radek in enumerate(f, 1):
                        m = INCLUDE.match(radek)
                        if not m:
                            continue
                        cil = m.group(1)
                        kam = patro(cil)
                        if kam is None:
                            continue
                        nahoru = kam > odkud
                        mezi_tvaremi = tvar(vlastni) and tvar(cil) and tvar(vlastni) != tvar(cil)
                        if nahoru or mezi_tvaremi:
                            proc = "faces include each other" if mezi_tvaremi else "upward"
                            print(f"{relativni}:{cislo}: {radek.strip()}   ({proc})")
                            chyby += 1
    if chyby:
        print(f"{chyby} include(s) against the floors", file=sys.stderr)
        return 1
    print("floors: every include runs downward")
    return 0


if __name__ == "__main__":
    sys.exit(main())
