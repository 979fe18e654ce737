#!/usr/bin/env bash
# Installs the packages that scripts/balicek.sh built (as root, with apt-get, on this
# machine), then with the installed programs only: publishes a signed demo release that
# also offers a newer updater, serves it on loopback, registers a schedule at a terminal
# and runs an unattended update of a demo installation; reads every manual page; last,
# purges both packages and checks that nothing of them is left.
set -euo pipefail
umask 022
cd "$(dirname "$0")/.."
# It installs into the system, so it runs as root.
[ "$(id -u)" -eq 0 ] || exec sudo bash "$0" "$@"
for p in zevlon zevlon-publikovat; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q installed; then
    echo "Balíček $p už je nainstalován; zkouška potřebuje systém bez něj." >&2
    exit 1
  fi
done

chyby=0
selhani() { echo "CHYBA: $*" >&2; chyby=$((chyby + 1)); }
ocekavat() { # ocekavat POPIS PRIKAZ...
  local popis=$1; shift
  if "$@"; then echo "  ok: $popis"; else selhani "$popis"; fi
}

D=$(mktemp -d /tmp/zevlon-balicek-XXXXXX)
trap 'kill "${SERVER_PID:-0}" 2>/dev/null || true' EXIT
debs=("$PWD"/build/balicek/zevlon_*.deb "$PWD"/build/balicek/zevlon-publikovat_*.deb)
# What the packages ship, to be checked gone after the purge: every file and link, and the
# folders that are theirs alone (the others, such as /usr/bin, belong to the system).
for deb in "${debs[@]}"; do dpkg-deb --contents "$deb"; done |
  awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|' > "$D/soubory-balicku"
printf '%s\n' /usr/lib/zevlon /usr/share/zevlon /usr/share/doc/zevlon \
  /usr/share/doc/zevlon-publikovat >> "$D/soubory-balicku"

echo "== apt-get install"
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "${debs[@]}" > "$D/apt.txt" 2>&1 || { cat "$D/apt.txt"; exit 1; }
ocekavat "/usr/bin/zevlon vede na /usr/lib/zevlon/Zevlon" \
  test "$(readlink -f /usr/bin/zevlon)" = /usr/lib/zevlon/Zevlon
ocekavat "volby /etc/zevlon/Zevlon.ini vytvořené balíčkem, 0644" \
  test "$(stat -c %a /etc/zevlon/Zevlon.ini)" = 644
ocekavat "/var/log/zevlon 0750, /var/cache/zevlon 0700, /var/lib/zevlon 0755" \
  test "$(stat -c %a /var/log/zevlon) $(stat -c %a /var/cache/zevlon) $(stat -c %a /var/lib/zevlon)" = "750 700 755"
ocekavat "zevlon --version" test "$(zevlon --version)" = "Zevlon $(dpkg-query -W -f='${Version}' zevlon | cut -d- -f1)"
ocekavat "nápověda jmenuje volby v /etc/zevlon" sh -c 'zevlon --help | grep -q /etc/zevlon/Zevlon.ini'

echo "== Manuálové stránky"
for stranka in /usr/share/man/man1/zevlon*.1.gz /usr/share/man/cs/man1/zevlon*.1.gz; do
  vystup=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$stranka" 2>&1 >/dev/null)
  ocekavat "man -l $stranka bez varování" test -z "$vystup"
  ocekavat "man -l $stranka má obsah" sh -c "LC_ALL=C.UTF-8 man -l '$stranka' | grep -q zevlon"
done

echo "== Podepsaný web s vydáním 20141231 a novějším programem aktualizace"
soubor() { mkdir -p "$(dirname "$1")"; printf '%s\n' "$2" > "$1"; }
R=$D/vydani
soubor "$R/Setup/Merko/Merko.exe" "Merko 20141231"
printf '[Merko]\r\nRelease=20141231\r\n' > "$R/Setup/Merko/Merko.ini"
soubor "$R/Setup/Merko/Merko.dll" "knihovna 20141231"
soubor "$R/SetupCommon/System/spolecne.dll" "společné komponenty 20141231"
# The release's files carry its date, as a build of it would; the installation's are older.
find "$R" -type f -exec touch -d '2014-12-31 12:00:00' {} +
soubor "$D/novy-zevlon" "novější program aktualizace, který se nesmí stáhnout"
mkdir -p "$D/www/aktualizace-online"
zevlon-publikovat servirovat --port 0 --log "$D/pristupy.log" "$D/www" 2> "$D/server.txt" &
SERVER_PID=$!
for _ in $(seq 50); do grep -q naslouchá "$D/server.txt" 2>/dev/null && break; sleep 0.1; done
PORT=$(sed -n 's/.*127.0.0.1:\([0-9]*\).*/\1/p' "$D/server.txt")
ADRESA=http://127.0.0.1:$PORT/aktualizace-online/
mkdir -m 700 "$D/klic"
(cd "$D" && zevlon-publikovat klic --bez-hesla klic/vydavatel.key)
zevlon-publikovat vydat --vydani 20141231 --adresa "$ADRESA" --klic "$D/klic/vydavatel.key" \
  --verze-zevlonu 99 --zevlon "$D/novy-zevlon" "$R" "$D/www/aktualizace-online"
KLIC=$(sed -n 2p "$D/klic/vydavatel.key.pub")
# The publisher's transfer log goes to the user's state folder (here root's).
rm -rf /root/.local/state/zevlon/Zevlon.log
printf '<aplikace><UpdateOnLine protocol="ftp" server="127.0.0.1" port="1" user="u" password="p" remoteLocation="x" snapshot="master.snapshot"/></aplikace>\n' \
  > "$D/manifest.xml"
zevlon-publikovat nahrat "$D/manifest.xml" "$D/www" > "$D/nahrat.txt" 2>&1 || true
ocekavat "záznam vydavatele v ~/.local/state/zevlon" \
  grep -q "Záznam o přenosu: /root/.local/state/zevlon/Zevlon.log" "$D/nahrat.txt"
ocekavat "záznam vydavatele ne v /usr/bin ani /var/log/zevlon" \
  test ! -e /usr/bin/Zevlon.log -a ! -e /var/log/zevlon/Zevlon.log

echo "== Instalace se starším vydáním 20140301"
P=$D/data/Firma
soubor "$P/Setup/Merko/Merko.exe" "Merko 20140301"
printf '[Merko]\r\nRelease=20140301\r\n' > "$P/Setup/Merko/Merko.ini"
cp -p "$R/Setup/Merko/Merko.dll" "$P/Setup/Merko/Merko.dll"  # unchanged: copied, not downloaded
soubor "$P/SetupCommon/System/spolecne.dll" "společné komponenty 20140301"
printf '[Merko]\r\nRelease=20140301\r\n' > "$P/Merko.ini"
mkdir -p "$D/merko12"
printf '[Profily]\r\nFirma=%s/\r\n' "$P" > "$D/merko12/Merko.ini"
printf 'REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\12.0\\Aplikace]\r\n"Slozka_Merka"="%s/"\r\n' \
  "$D/merko12" > "$D/registry.reg"
printf '[Server]\r\nAdresa=%s\r\nVerejnyKlic=%s\r\n[Nastaveni]\r\nSlozkaDat=%s/\r\n' \
  "$ADRESA" "$KLIC" "$P" > /etc/zevlon/Zevlon.ini

echo "== Naplánování na terminálu (zevlon --moznosti)"
# The questions: the profile folder (kept), the office's mirror, proxy and hosts without it
# (none), automatic updating, time, weekly, Wednesday. A question left without an answer
# would wait: a minute at most.
printf '\n\n\n\n1\n06:00\n2\n3\n' | env -u DISPLAY -u WAYLAND_DISPLAY DUNMOR_REGISTRY="$D/registry.reg" \
  timeout 60 script -qec "zevlon --moznosti" /dev/null > "$D/moznosti.txt" 2>&1 || true
ocekavat "úloha v /etc/cron.d/zevlon-1" test -f /etc/cron.d/zevlon-1
ocekavat "úloha spouští nainstalovaný program, jen je-li nainstalován, po náhodném zpoždění" \
  grep -q "^0 6 \* \* 3 root test -x '/usr/lib/zevlon/Zevlon' && '/usr/lib/zevlon/Zevlon' --zpozdeni 30$" /etc/cron.d/zevlon-1

echo "== Bez veřejného klíče naplánovaná aktualizace nic neinstaluje"
cp -p /etc/zevlon/Zevlon.ini "$D/Zevlon.ini.s-klicem"
grep -v '^VerejnyKlic=' "$D/Zevlon.ini.s-klicem" > /etc/zevlon/Zevlon.ini
set +e
env -u DISPLAY -u WAYLAND_DISPLAY DUNMOR_REGISTRY="$D/registry.reg" zevlon < /dev/null > "$D/bez-klice.txt" 2>&1
NAVRAT=$?
set -e
ocekavat "bez klíče zevlon skončil s kódem 1 (je $NAVRAT)" test "$NAVRAT" -eq 1
ocekavat "bez klíče důvod v online_errors.log" \
  grep -q "není nastaven veřejný klíč" /var/log/zevlon/online_errors.log
ocekavat "bez klíče nic nestaženo ani obnoveno" sh -c \
  "grep -q 'Merko 20140301' '$P/Setup/Merko/Merko.exe' && ! grep -qs download.ini '$D/pristupy.log'"
cp -p "$D/Zevlon.ini.s-klicem" /etc/zevlon/Zevlon.ini
rm -f /var/log/zevlon/online_errors.log

echo "== Kontrola nastavení (zevlon --kontrola)"
PRED=$(cat /var/log/zevlon/* /var/lib/zevlon/* 2>/dev/null | sha256sum)
set +e
DUNMOR_REGISTRY="$D/registry.reg" zevlon --kontrola < /dev/null > "$D/kontrola.txt" 2>&1
NAVRAT=$?
set -e
ocekavat "kontrola skončila s kódem 0 (je $NAVRAT)" test "$NAVRAT" -eq 0
ocekavat "kontrola ověřila podpis a našla co obnovit" sh -c \
  "grep -q 'podpis ověřen' '$D/kontrola.txt' && grep -q 'Výsledek: aktualizace by proběhla.' '$D/kontrola.txt'"
ocekavat "kontrola nezměnila instalaci, logy ani stav" sh -c \
  "grep -q 'Merko 20140301' '$P/Setup/Merko/Merko.exe' &&
   test \"\$(cat /var/log/zevlon/* /var/lib/zevlon/* 2>/dev/null | sha256sum)\" = '$PRED'"
sed 's/^/    /' "$D/kontrola.txt"

echo "== Aktualizace bez obsluhy (jako z cronu)"
set +e
env -u DISPLAY -u WAYLAND_DISPLAY DUNMOR_REGISTRY="$D/registry.reg" zevlon < /dev/null > "$D/beh.txt" 2>&1
NAVRAT=$?
set -e
ocekavat "zevlon skončil s kódem 0 (je $NAVRAT)" test "$NAVRAT" -eq 0
ocekavat "Merko.exe obnoven" grep -q "Merko 20141231" "$P/Setup/Merko/Merko.exe"
ocekavat "záloha Merko_old" grep -q "Merko 20140301" "$P/Setup/Merko_old/Merko.exe"
ocekavat "společné komponenty obnoveny" grep -q 20141231 "$P/SetupCommon/System/spolecne.dll"
ocekavat "nezměněná Merko.dll nestažena" sh -c "! grep -q 'Merko.dll.zip' '$D/pristupy.log'"
ocekavat "novější program aktualizace nestažen" sh -c "! grep -q 'SetupCommon/Zevlon.zip' '$D/pristupy.log'"
ocekavat "v /usr/lib/zevlon jen Zevlon" test "$(ls /usr/lib/zevlon)" = Zevlon
ocekavat "Zevlon.log v /var/log/zevlon s řádkem o novějším programu" \
  grep -q "novější program aktualizace (ZevlonVerze 99)" /var/log/zevlon/Zevlon.log
ocekavat "žádná chyba v /var/log/zevlon/online_errors.log" test ! -s /var/log/zevlon/online_errors.log
ocekavat "zámek /run/Zevlon-beh.lock" test -f /run/Zevlon-beh.lock
ocekavat "informace o vydání v /var/cache/zevlon" test -f /var/cache/zevlon/download.ini
ocekavat "záznam běhu v Zevlon.log" grep -q "	aktualizováno	návratový kód 0" /var/log/zevlon/Zevlon.log
ocekavat "stav běhu /var/lib/zevlon/stav.json 0644 root" \
  test "$(stat -c '%a %U' /var/lib/zevlon/stav.json)" = "644 root"
ocekavat "zevlon --stav --json vypíše stav.json" sh -c \
  "zevlon --stav --json | cmp -s - /var/lib/zevlon/stav.json"
# A monitoring account reads root's state without any rights but reading.
ocekavat "zevlon --stav jako nobody: kód 0" setpriv --reuid=nobody --regid=nogroup --clear-groups \
  env HOME=/nonexistent XDG_STATE_HOME=/nonexistent zevlon --stav
echo "Zevlon.log:"
sed 's/^/    /' /var/log/zevlon/Zevlon.log
echo "Cesty běhu:"
for f in /etc/zevlon/Zevlon.ini /var/log/zevlon/* /run/Zevlon-beh.lock /var/cache/zevlon/* /etc/cron.d/zevlon-*; do
  [ -e "$f" ] && echo "  $(stat -c '%A %U:%G' "$f") $f"
done

echo "== Okno na displeji (Xvfb)"
# The installed program with nothing but the package's dependencies opens its options
# window on a real X server; it stays open until it is closed, here by a signal.
xvfb-run -a sh -c 'zevlon --moznosti < /dev/null > /dev/null 2>&1 & p=$!
  for _ in $(seq 50); do xwininfo -root -tree | grep -q "Možnosti aktualizací" && break; sleep 0.2; done
  xwininfo -root -tree > "$1"; kill $p' sh "$D/okna.txt" || true
ocekavat "okno Možnosti aktualizací na displeji" grep -q '"Možnosti aktualizací": ("Zevlon"' "$D/okna.txt"

echo "== Displej, který není (Qt nenajde server X)"
set +e
DISPLAY=:99 zevlon --moznosti < /dev/null > "$D/displej.txt" 2>&1
NAVRAT=$?
set -e
ocekavat "bez displeje i terminálu kód 1 se zprávou (je $NAVRAT)" \
  sh -c "[ $NAVRAT -eq 1 ] && grep -q 'jen v okně' '$D/displej.txt'"

echo "== apt-get remove"
kill "$SERVER_PID" 2>/dev/null || true
apt-get remove -y -qq zevlon > "$D/remove.txt" 2>&1 || { cat "$D/remove.txt"; exit 1; }
ocekavat "po odebrání zůstaly volby, úloha, rotace logů a záznamy" \
  test -f /etc/zevlon/Zevlon.ini -a -f /etc/cron.d/zevlon-1 -a -f /etc/logrotate.d/zevlon \
  -a -d /var/lib/zevlon
ocekavat "po odebrání není program ani /var/cache/zevlon" test ! -e /usr/lib/zevlon -a ! -e /var/cache/zevlon
# What cron runs from the job that outlived the program: silent, so no mail.
prikaz=$(sed -n 's/^[^#][^ ]* [^ ]* [^ ]* [^ ]* [^ ]* root //p' /etc/cron.d/zevlon-1)
ocekavat "úloha bez programu nic nevypíše" test -z "$(sh -c "$prikaz" 2>&1)"

echo "== apt-get purge"
# The timer units a run with systemd would have written (here laid by hand: no systemd
# runs this machine).
mkdir -p /etc/systemd/system/timers.target.wants
printf '[Timer]\nOnCalendar=daily\n' > /etc/systemd/system/zevlon-7.timer
printf '[Service]\nExecStart=/usr/lib/zevlon/Zevlon\n' > /etc/systemd/system/zevlon-7.service
ln -sf ../zevlon-7.timer /etc/systemd/system/timers.target.wants/zevlon-7.timer
apt-get purge -y -qq zevlon zevlon-publikovat > "$D/purge.txt" 2>&1 || { cat "$D/purge.txt"; exit 1; }
while read -r f; do
  [ -e "$f" ] || [ -L "$f" ] && selhani "po odebrání zůstalo $f"
done < "$D/soubory-balicku"
for f in /etc/zevlon /var/log/zevlon /var/cache/zevlon /var/lib/zevlon /run/Zevlon-beh.lock /usr/lib/zevlon; do
  ocekavat "po vyčištění není $f" test ! -e "$f"
done
ocekavat "po vyčištění žádná úloha /etc/cron.d/zevlon-*" sh -c '! ls /etc/cron.d/zevlon-* 2>/dev/null | grep -q .'
ocekavat "po vyčištění žádný časovač zevlon-* v /etc/systemd/system" sh -c \
  '! ls /etc/systemd/system/zevlon-* /etc/systemd/system/timers.target.wants/zevlon-* 2>/dev/null | grep -q .'
ocekavat "instalace Merka zůstala" grep -q "Merko 20141231" "$P/Setup/Merko/Merko.exe"
ocekavat "dpkg o balíčcích nic neví" sh -c '! dpkg-query -W zevlon zevlon-publikovat 2>/dev/null'

rm -rf "$D"
if [ "$chyby" -ne 0 ]; then echo "Zkouška balíčků: $chyby chyb." >&2; exit 1; fi
echo "Zkouška balíčků prošla."
