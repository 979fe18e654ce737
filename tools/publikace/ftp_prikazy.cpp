#include "tools/publikace/ftp_prikazy.h"

#include <cstdio>

#include "aplikace/instalacni_slozka.h"
#include "common/chyba.h"
#include "rozhrani/pomucky.h"
#include "server/manifest.h"
#include "soubory/cesty.h"
#include "soubory/operace_slozek.h"
#include "tools/publikace/publikace.h"

namespace zevlon::publikace {

namespace {

int Nedorucene(const SeznamSouboru& s) {
  int n = 0;
  for (const auto& p : s)
    n += p.hodnota->Downloaded ? 0 : 1;
  return n;
}

}  // namespace

int Nahrat(const std::string& manifest, const std::string& slozka) {
  Manifest m(manifest);
  auto server = m.UpdateServer();
  const std::string zdroj = PridatLomitko(slozka);
  InstalacniSlozka sl;
  sl.NacistObsahSlozky(zdroj);
  SeznamSouboru soubory;
  for (const auto& p : *sl.DejObsahSlozky(VsechnySoubory))
    soubory.Pridat(p.klic, p.hodnota->Clone());
  DoplnitSha256(soubory, zdroj);
  server->UploadovatSoubory(soubory, zdroj);

  // The snapshot travels as it is, for mirrors to read; its checksums let a signed
  // download.ini beside the files vouch for them.
  SeznamSouboru snapshot;
  auto z = std::make_shared<InstalovanySoubor>();
  z->Cesta = ZDratoveCesty(server->snapshot);
  snapshot.Pridat(z->Cesta, z);
  std::string slozkaSnapshotu, jmeno;
  RozdelitCestu(server->TempFolder() + z->Cesta, slozkaSnapshotu, jmeno);
  VytvoritSlozku(slozkaSnapshotu, false);
  sl.UlozitSnapshot(server->TempFolder() + z->Cesta, soubory);
  server->FTPUpload(snapshot, server->TempFolder(), "");
  SmazatSlozku(BezLomitka(server->TempFolder()), false);

  int chybi = Nedorucene(soubory) + Nedorucene(snapshot);
  std::printf("Nahráno %zu souborů a snímek, nenahráno %d.\n",
              soubory.Pocet() - static_cast<std::size_t>(Nedorucene(soubory)), chybi);
  return chybi;
}

int Zrcadlit(const std::string& manifest, const std::string& slozka) {
  Manifest m(manifest);
  auto server = m.UpdateServer();
  std::string cesta = server->StahnoutSnapshot();
  if (!ExistujeSoubor(cesta)) VyvolatChybu("Snímek serveru se nepodařilo stáhnout.");
  InstalacniSlozka sl;
  SeznamSouboru soubory = sl.NacistSnapshot(cesta);
  VytvoritSlozku(PridatLomitko(slozka), true);
  server->AktualizovatSoubory(soubory, slozka);
  int chybi = 0;
  for (const auto& p : soubory)
    chybi += p.hodnota->Unzipped ? 0 : 1;
  std::printf(chybi == 0 ? "Zrcadlo aktualizováno: %zu souborů.\n"
                         : "Zrcadlo nebylo aktualizováno (%zu souborů, viz Zevlon.log).\n",
              soubory.Pocet());
  return chybi;
}

}  // namespace zevlon::publikace
