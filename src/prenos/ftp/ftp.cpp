// The session of CFTPManager and the operations that are one command on the server:
// opening and closing, the current folder, folder creation and deletion. The rest of
// the client: listings in ftp_vypis.cpp, transfers in ftp_prenosy.cpp, remote paths
// in ftp_cesty.cpp, error texts in ftp_chyby.cpp, the port text in ftp_port.cpp; all
// of them talk to the server through the libcurl session of ftp_spojeni.cpp.
#include "prenos/ftp/ftp.h"

#include <exception>
#include <memory>
#include <string>

#include "common/chyba.h"
#include "common/text.h"
#include "prenos/ftp/ftp_spojeni.h"
#include "prenos/ftp/ftp_vnitrni.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/rozhrani.h"

namespace zevlon {

CFTPManager::CFTPManager() = default;

CFTPManager::~CFTPManager() = default;

bool CFTPManager::Pripojeno() {
  if (spojeni_) return true;
  Zaznamenat(ftpkod::kNeplatnyPopisovac);
  return false;
}

void CFTPManager::Zaznamenat(std::int32_t kod, const std::string& odpovedServeru) {
  FtpError = ZakrytPrihlasovaciUdaje(TextChybyFtp(kod, odpovedServeru), Uzivatel, Heslo);
  FtpSuccess = false;
}

bool CFTPManager::FtpOpen() {
  FtpSuccess = false;
  const std::int32_t port = CisloPortu(Port);
  spojeni_.reset();
  slozka_ = "/";
  auto spojeni = std::make_unique<Spojeni>();
  Spojeni::Udaje udaje;
  udaje.server = URL;
  udaje.port = static_cast<std::uint16_t>(port);
  udaje.uzivatel = Uzivatel;
  udaje.heslo = Heslo;
  udaje.pasivni = PasivniRezim;
  Spojeni::Vysledek v = spojeni->Prihlasit(udaje);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return FtpSuccess;
  }
  slozka_ = spojeni->VychoziSlozka();
  spojeni_ = std::move(spojeni);
  FtpSuccess = true;
  return FtpSuccess;
}

bool CFTPManager::FtpClose() {
  spojeni_.reset();
  slozka_ = "/";
  FtpSuccess = true;
  return true;
}

std::string CFTPManager::FtpCurrDir() {
  FtpSuccess = false;
  if (!Pripojeno()) return {};
  FtpSuccess = true;
  return slozka_;
}

void CFTPManager::FtpCurrDir(const std::string& strDir) {
  FtpSuccess = false;
  std::string cesta;
  if (!Pripojeno() || !AbsolutniCesta(strDir, cesta)) return;
  Spojeni::Vysledek v = spojeni_->OveritSlozku(cesta);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return;
  }
  slozka_ = cesta;
  FtpSuccess = true;
}

bool CFTPManager::FtpFolderExists(const std::string& strDir) {
  const std::string slozka = slozka_;
  const bool uspech = FtpSuccess;
  FtpCurrDir(strDir);
  const bool existuje = FtpSuccess;
  // Going back needs no look at the server: the folder was current a moment ago.
  slozka_ = slozka;
  FtpSuccess = uspech;
  return existuje;
}

bool CFTPManager::FtpMkDir(const std::string& strDir) {
  FtpSuccess = false;
  std::string cesta;
  if (!Pripojeno() || !AbsolutniCesta(strDir, cesta)) return FtpSuccess;
  Spojeni::Vysledek v = spojeni_->Prikaz("MKD " + cesta);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return FtpSuccess;
  }
  FtpSuccess = true;
  return FtpSuccess;
}

void CFTPManager::FtpMkDirExtended(const std::string& Slozka) {
  // Runs one step; an error raised in it is shown, and the step runs again when the
  // user answers Opakovat. False when the operation is to end.
  auto krok = [](auto&& f) {
    for (;;) {
      try {
        f();
        return true;
      } catch (const std::exception& e) {
        Chyba c = JakoChyba(e);
        if (ZobrazChybu(Chyba(c.Cislo(), c.Popis(),
                              std::string(ftp::kZdroj) + "::FtpMkDirExtended")) != mb::kIdOpakovat)
          return false;
      }
    }
  };

  std::string cesta = Slozka;
  if (!cesta.empty() && cesta.back() == '/') cesta.pop_back();
  if (!cesta.empty() && cesta.front() == '/') cesta.erase(0, 1);

  bool existuje = false;
  if (!krok([&] { existuje = FtpFolderExists("/" + cesta); }) || existuje) return;
  std::string predpona;
  for (const std::string& cast : Rozdelit(cesta, '/')) {
    predpona += "/" + cast;
    if (!krok([&] {
          if (!FtpFolderExists(predpona)) FtpMkDir(predpona);
        }))
      return;
  }
}

bool CFTPManager::FtpDelete(const std::string& strSoubor) {
  FtpSuccess = false;
  const bool existuje = FtpFileExist(strSoubor);
  if (!FtpSuccess) return false;  // the listing failed: its error stands
  if (!existuje) return FtpSuccess = true;

  // The name as the server lists it, which may differ from strSoubor in case.
  std::string slozka;
  if (!AbsolutniCesta(ftp::SlozkaZCesty(strSoubor), slozka)) return false;
  const std::string cesta = ftp::Spojit(slozka, FtpSeznamSouboru.begin()->hodnota->Nazev);
  FtpSuccess = false;
  Spojeni::Vysledek v = spojeni_->Prikaz("DELE " + cesta);
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return FtpSuccess;
  }
  const bool zustal = FtpFileExist(strSoubor);
  if (!FtpSuccess) return false;
  FtpSuccess = !zustal;
  return FtpSuccess;
}

bool CFTPManager::FtpRename(const std::string& strZ, const std::string& strDo) {
  FtpSuccess = false;
  std::string z, c;
  if (!Pripojeno() || !AbsolutniCesta(ftp::SlozkaZCesty(strZ), z) ||
      !AbsolutniCesta(ftp::SlozkaZCesty(strDo), c))
    return false;
  z = ftp::Spojit(z, ftp::JmenoZCesty(strZ));
  c = ftp::Spojit(c, ftp::JmenoZCesty(strDo));
  Spojeni::Vysledek v = spojeni_->Prikazy({"RNFR " + z, "RNTO " + c});
  if (!v.Uspech()) {
    if (!FtpDelete(strDo)) return false;
    v = spojeni_->Prikazy({"RNFR " + z, "RNTO " + c});
  }
  FtpSuccess = false;
  if (!v.Uspech()) {
    Zaznamenat(v.kod, v.odpoved);
    return false;
  }
  const bool stary = FtpFileExist(strZ);
  if (!FtpSuccess) return false;
  FtpSuccess = !stary && FtpFileExist(strDo);
  return FtpSuccess;
}

}  // namespace zevlon
