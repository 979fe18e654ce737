// Remote listings of CFTPManager: FtpDir, which reads a folder's listing (MLSD or
// LIST, see ftp_seznam.h) and keeps the entries matching a mask, and FtpFileExist
// on top of it.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/chyba.h"
#include "common/text.h"
#include "platform/nahrady/platforma.h"
#include "prenos/ftp/ftp.h"
#include "prenos/ftp/ftp_seznam.h"
#include "prenos/ftp/ftp_spojeni.h"
#include "prenos/ftp/ftp_vnitrni.h"

namespace zevlon {

void CFTPManager::FtpDir(const std::string& strMask) {
  FtpSuccess = false;
  FtpSeznamSouboru = KlicovanySeznam<CFTPFile>();
  std::string slozka;
  if (!Pripojeno() || !AbsolutniCesta(ftp::SlozkaZCesty(strMask), slozka)) return;
  const std::string maska = ftp::JmenoZCesty(strMask);

  std::string data;
  Spojeni::Vysledek v = spojeni_->Vypsat(slozka, data);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return;
  }
  std::vector<ftp::PolozkaSeznamu> polozky =
      spojeni_->UmiMlsd()
          ? ftp::ParsovatMlsd(data)
          : ftp::ParsovatList(data, std::chrono::system_clock::to_time_t(platforma().Ted()));
  for (ftp::PolozkaSeznamu& p : polozky) {
    if (!maska.empty() && !OdpovidaMasceSouboru(p.nazev, maska)) continue;
    auto soubor = std::make_shared<CFTPFile>();
    soubor->Nazev = std::move(p.nazev);
    soubor->Velikost = p.velikost;
    soubor->DatumPosledniZmeny = p.zmena;
    soubor->DatumPoslednihoPristupu = p.zmena;
    soubor->DatumVzniku = p.vznik;
    PodZdrojem(std::string(ftp::kZdroj) + "::FtpDir",
               [&] { FtpSeznamSouboru.Pridat(soubor->Nazev, soubor); });
  }
  FtpSuccess = true;
}

bool CFTPManager::FtpFileExist(const std::string& strSoubor, std::int64_t iSize) {
  FtpDir(strSoubor);
  if (FtpSeznamSouboru.Prazdny()) return false;
  const CFTPFile& prvni = *FtpSeznamSouboru.begin()->hodnota;
  bool odpoved = StejnyText(prvni.Nazev, ftp::JmenoZCesty(strSoubor));
  if (iSize > 0) odpoved = odpoved && prvni.Velikost == iSize;
  return odpoved;
}

}  // namespace zevlon
