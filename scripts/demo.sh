#!/usr/bin/env bash
# The main job on a demo: installs what it needs, builds, publishes a demo release to
# a local update site signed with a key made on the spot, serves it on loopback, lays out
# a demo installation of an older release and runs Zevlon, which verifies the site with
# the public key, against it; then shows what changed.
set -euo pipefail
# The program folder must not be writable by group or others for a run as root.
umask 022
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEVLON_TESTS=OFF \
  -DZEVLON_BENCH=OFF >/dev/null
cmake --build build/demo --target Zevlon zevlon-publikovat

D=$(mktemp -d /tmp/zevlon-demo-XXXXXX)
PUBLIKOVAT=$PWD/build/demo/tools/zevlon-publikovat
trap 'kill "${SERVER_PID:-0}" 2>/dev/null || true' EXIT

soubor() { mkdir -p "$(dirname "$1")"; printf '%s\n' "$2" > "$1"; }

echo "== Vydání 20141231 (nové)"
R=$D/vydani
soubor "$R/Setup/Merko/Merko.exe" "Merko 20141231"
soubor "$R/Setup/Merko/Merko.dll" "knihovna 20141231"
printf '[Merko]\r\nRelease=20141231\r\n' > "$R/Setup/Merko/Merko.ini"
soubor "$R/Setup/Merko/Napoveda/index.html" "<h1>Nápověda 20141231</h1>"
soubor "$R/Setup/Setup.exe" "instalátor 20141231"
soubor "$R/SetupCommon/System/spolecne.dll" "společné komponenty 20141231"
soubor "$R/Upravy/Doplnky/Fakturace/fakturace.dll" "fakturace 20141231"
soubor "$R/Upravy/Doplnky/Fakturace/sablony/faktura.xml" "<faktura verze=\"2\"/>"
find "$R" -type f -exec touch -d '2014-12-31 12:00:00' {} +

echo "== Aktualizační web na loopbacku"
mkdir -p "$D/www/aktualizace-online"
"$PUBLIKOVAT" servirovat --port 0 --log "$D/pristupy.log" "$D/www" 2> "$D/server.txt" &
SERVER_PID=$!
for _ in $(seq 50); do grep -q naslouchá "$D/server.txt" 2>/dev/null && break; sleep 0.1; done
PORT=$(sed -n 's/.*127.0.0.1:\([0-9]*\).*/\1/p' "$D/server.txt")
ADRESA=http://127.0.0.1:$PORT/aktualizace-online/
echo "== Klíč vydavatele (veřejná část jde do Zevlon.ini, tajná zůstává vydavateli)"
mkdir -m 700 "$D/klic"
"$PUBLIKOVAT" klic --bez-hesla "$D/klic/vydavatel.key"
KLIC=$(sed -n 2p "$D/klic/vydavatel.key.pub")
echo "== Podepsané vydání"
"$PUBLIKOVAT" vydat --vydani 20141231 --adresa "$ADRESA" --klic "$D/klic/vydavatel.key" \
  "$R" "$D/www/aktualizace-online"
sed 's/^/  /' "$D/www/aktualizace-online/download.ini"
echo "== Kontrola podpisu nástrojem minisign"
minisign -Vm "$D/www/aktualizace-online/download.ini" -P "$KLIC"

echo "== Instalace se starším vydáním 20140301"
P=$D/data/Firma
soubor "$P/Setup/Merko/Merko.exe" "Merko 20140301"
cp "$R/Setup/Merko/Merko.dll" "$P/Setup/Merko/Merko.dll"  # unchanged: copied, not downloaded
touch -d '2014-12-31 12:00:00' "$P/Setup/Merko/Merko.dll"
printf '[Merko]\r\nRelease=20140301\r\n' > "$P/Setup/Merko/Merko.ini"
soubor "$P/Setup/Setup.exe" "instalátor 20140301"
soubor "$P/Setup/Upravy/Doplnky/Fakturace/fakturace.dll" "fakturace 20140301"
soubor "$P/Setup/Upravy/Doplnky/Fakturace/moje-nastaveni.txt" "místní soubor, který server nezná"
soubor "$P/SetupCommon/System/spolecne.dll" "společné komponenty 20140301"
printf '[Merko]\r\nRelease=20140301\r\n' > "$P/Merko.ini"
mkdir -p "$D/merko12"
printf '[Profily]\r\nFirma=%s/\r\n' "$P" > "$D/merko12/Merko.ini"
cat > "$D/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]
"Slozka_Merka"="$D/merko12/"
REG
mkdir -p "$D/program" "$D/temp"
cp build/demo/Zevlon "$D/program/Zevlon"
printf '[Server]\r\nAdresa=%s\r\nVerejnyKlic=%s\r\n[Nastaveni]\r\nSlozkaDat=%s/\r\n' \
  "$ADRESA" "$KLIC" "$P" > "$D/program/Zevlon.ini"

echo "== Spuštění Zevlonu"
set +e
env -u DISPLAY -u WAYLAND_DISPLAY TEMP="$D/temp" DUNMOR_REGISTRY="$D/registry.reg" \
  "$D/program/Zevlon" < /dev/null
NAVRAT=$?
set -e
echo "Zevlon skončil s kódem $NAVRAT"

echo "== Co se změnilo"
(cd "$P" && find . -type f | sort | while read -r f; do printf '  %-55s %s\n' "$f" "$(head -c 60 "$f" | head -n1)"; done)
echo "== Zálohy _old"
(cd "$P" && find . -maxdepth 2 -type d -name '*_old' | sort | sed 's/^/  /')
echo "== Staženo ze serveru"
awk '{print "  " $3, $4}' "$D/pristupy.log"
for log in online_errors.log Zevlon.log; do
  [ -f "$D/program/$log" ] && { echo "== $log"; sed 's/^/  /' "$D/program/$log"; }
done
echo "Demo leží v $D"
exit "$NAVRAT"
