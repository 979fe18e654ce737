#include "tools/publikace/ftp_prikazy.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "aplikace/instalacni_slozka.h"
#include "common/chyba.h"
#include "common/text.h"
#include "rozhrani/pomucky.h"
#include "server/manifest.h"
#include "soubory/cesty.h"
#include "soubory/log.h"
#include "soubory/operace_slozek.h"
#include "tools/publikace/port.h"
#include "tools/publikace/preruseni.h"
#include "tools/publikace/publikace.h"
#include "tools/publikace/stary_web.h"

namespace zevlon::publikace {

namespace {

// Removes the server's temporary folder however the command ends, a stop included, and
// TEMP/Zevlon when nothing else lies in it.
class UklidTempu {
 public:
  explicit UklidTempu(const UpdateServer& server) : slozka_(BezLomitka(server.TempFolder())) {
    Zaznamenat(slozka_);
  }
  ~UklidTempu() {
    if (ExistujeSlozka(slozka_)) SmazatSlozku(slozka_, false);
    Dokoncit(slozka_, false);
    ::rmdir(slozka_.substr(0, slozka_.rfind('/')).c_str());  // fails while not empty
  }
  UklidTempu(const UklidTempu&) = delete;
  UklidTempu& operator=(const UklidTempu&) = delete;

 private:
  std::string slozka_;
};

// The manifest's server with its port checked (1 to 65535, or 0 for the default FTP
// port) and passive transfers unless active ones are asked for.
std::unique_ptr<UpdateServer> NacistServer(const std::string& manifest, bool aktivni) {
  Manifest m(manifest);
  if (pugi::xml_attribute a = m.ElementAktualizace().attribute("port")) {
    if (!PortZTextu(Orezat(a.value())))
      VyvolatChybu(std::string("Port FTP serveru „") + a.value() + "“ není číslo od 1 do 65535.");
  }
  auto server = m.UpdateServer();
  server->PasivniRezim = !aktivni;
  return server;
}

int Nedorucene(const SeznamSouboru& s) {
  int n = 0;
  for (const auto& p : s)
    n += p.hodnota->Downloaded ? 0 : 1;
  return n;
}

// Names what did not travel: the session once when it could not be opened, else each
// record with its cause.
void VypsatPriciny(const UpdateServer& server, const SeznamSouboru& soubory,
                   const char* neprenesen) {
  const ZpravaPrenosu& z = server.Zprava();
  if (!z.spojeni.empty()) {
    const std::string adresa =
        server.server + (server.Port != 0 ? ":" + std::to_string(server.Port) : "");
    std::fprintf(stderr, "Spojení s FTP serverem %s se nezdařilo: %s\n", adresa.c_str(),
                 z.spojeni.c_str());
    return;
  }
  for (const auto& p : soubory) {
    auto pricina = z.priciny.find(p.hodnota->Cesta);
    if (!p.hodnota->Downloaded && pricina != z.priciny.end())
      std::fprintf(stderr, "Soubor %s %s: %s\n", p.hodnota->Cesta.c_str(), neprenesen,
                   pricina->second.c_str());
  }
}

void VypsatMistoLogu() {
  std::fprintf(stderr, "Záznam o přenosu: %s\n", CestaLogu(kPrenosovyLog).c_str());
}

}  // namespace

int Nahrat(const std::string& manifest, const std::string& slozka, bool aktivni, bool prazdny) {
  auto server = NacistServer(manifest, aktivni);
  UklidTempu uklid(*server);
  const std::string zdroj = PridatLomitko(slozka);
  // A mistyped folder must not empty the server: checked before any connection.
  if (!ExistujeSlozka(zdroj)) VyvolatChybu("Složka " + zdroj + " neexistuje, nic nebylo nahráno.");
  InstalacniSlozka sl;
  sl.NacistObsahSlozky(zdroj);
  // Of a site whose releases lie in folders of their own, the live release's folder goes
  // up whole (a server without hard links gets every file of it), the others stay.
  const std::string vydani = SlozkaVydaniWebu(BezLomitka(zdroj));
  // download.ini and its signature go up last, once everything they vouch for is there.
  SeznamSouboru soubory, posledni;
  for (const auto& p : *sl.DejObsahSlozky(VsechnySoubory)) {
    const std::string jmeno = SlozitVelikost(p.hodnota->Cesta);
    if (!vydani.empty() && !p.hodnota->Cesta.starts_with(vydani) && jmeno != "download.ini" &&
        jmeno != "download.ini.minisig")
      continue;
    (jmeno == "download.ini" || jmeno == "download.ini.minisig" ? posledni : soubory)
        .Pridat(p.klic, p.hodnota->Clone());
  }
  if (soubory.Pocet() + posledni.Pocet() == 0 && !prazdny)
    VyvolatChybu("Složka " + zdroj +
                 " neobsahuje žádný soubor; prázdný snímek, který by vyprázdnil server, se "
                 "nahraje jen s volbou --prazdny.");
  DoplnitSha256(soubory, zdroj);
  DoplnitSha256(posledni, zdroj);
  server->UploadovatSoubory(soubory, zdroj);
  VypsatPriciny(*server, soubory, "nebyl nahrán");

  // The snapshot travels as it is, for mirrors to read; its checksums let a signed
  // download.ini beside the files vouch for them. It lists what arrived and the files that
  // go up last, so that the server mirrors whole; a server that could not be reached, or
  // that received nothing, gets none (unless an empty one was asked for).
  SeznamSouboru nahrane;
  for (const auto* seznam : {&soubory, &posledni})
    for (const auto& p : *seznam)
      if (seznam == &posledni || p.hodnota->Downloaded) nahrane.Pridat(p.klic, p.hodnota);
  SeznamSouboru snapshot;
  auto z = std::make_shared<InstalovanySoubor>();
  z->Cesta = ZDratoveCesty(server->snapshot);
  snapshot.Pridat(z->Cesta, z);
  const bool nic = nahrane.Pocet() == 0 && soubory.Pocet() > 0;
  if (server->Zprava().spojeni.empty() && !nic) {
    std::string slozkaSnapshotu, jmeno;
    RozdelitCestu(server->TempFolder() + z->Cesta, slozkaSnapshotu, jmeno);
    VytvoritSlozku(slozkaSnapshotu, false);
    sl.UlozitSnapshot(server->TempFolder() + z->Cesta, nahrane);
    server->FTPUpload(snapshot, server->TempFolder(), "");
    VypsatPriciny(*server, snapshot, "(snímek) nebyl nahrán");
  }
  if (Nedorucene(soubory) == 0 && z->Downloaded && posledni.Pocet() > 0) {
    server->UploadovatSoubory(posledni, zdroj);
    VypsatPriciny(*server, posledni, "nebyl nahrán");
  }

  const int chybi = Nedorucene(soubory) + Nedorucene(posledni);
  const std::size_t nahrano = soubory.Pocet() + posledni.Pocet() - static_cast<std::size_t>(chybi);
  const std::string kolik = Pocet(static_cast<long long>(nahrano), "soubor", "soubory", "souborů");
  if (z->Downloaded)
    std::printf("Nahráno: %s a snímek, nenahráno %d.\n", kolik.c_str(), chybi);
  else
    std::printf("Nahráno: %s, snímek nenahrán, nenahráno %d.\n", kolik.c_str(), chybi);
  std::fflush(stdout);
  if (chybi == 0 && z->Downloaded) return 0;
  VypsatMistoLogu();
  return chybi + (z->Downloaded ? 0 : 1);
}

int Zrcadlit(const std::string& manifest, const std::string& slozka, bool aktivni) {
  auto server = NacistServer(manifest, aktivni);
  UklidTempu uklid(*server);
  std::string cesta = server->StahnoutSnapshot();
  if (!ExistujeSoubor(cesta)) {
    SeznamSouboru snapshot;
    auto z = std::make_shared<InstalovanySoubor>();
    z->Cesta = ZDratoveCesty(server->snapshot);
    snapshot.Pridat(z->Cesta, z);
    VypsatPriciny(*server, snapshot, "(snímek) nebyl stažen");
    VypsatMistoLogu();
    VyvolatChybu("Snímek serveru se nepodařilo stáhnout.");
  }
  InstalacniSlozka sl;
  SeznamSouboru soubory = sl.NacistSnapshot(cesta);
  VytvoritSlozku(PridatLomitko(slozka), true);
  server->AktualizovatSoubory(soubory, slozka);
  VypsatPriciny(*server, soubory, "nebyl stažen");
  int chybi = 0;
  for (const auto& p : soubory)
    chybi += p.hodnota->Unzipped ? 0 : 1;
  const std::string kolik =
      Pocet(static_cast<long long>(soubory.Pocet()), "soubor", "soubory", "souborů");
  std::printf(chybi == 0 ? "Zrcadlo aktualizováno: %s.\n"
                         : "Zrcadlo nebylo aktualizováno (%s, viz Zevlon.log).\n",
              kolik.c_str());
  std::fflush(stdout);
  if (chybi != 0) VypsatMistoLogu();
  return chybi;
}

}  // namespace zevlon::publikace
