#include "beh/vydani.h"

#include "beh/profily.h"
#include "beh/vlastnik/vlastnik.h"
#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/http/http.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/souborovy_system.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/stahovani/stahovani.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/stav.h"
#include "rozhrani/volba.h"
#include "soubory/log.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

constexpr const char* kNeniProfil = "Nepodařilo se nalézt složku aplikací Dunmor Merko na cestě ";

std::size_t PocetProfilu(const std::string& slozkaAplikace) {
  if (slozkaAplikace.empty()) return 0;
  auto klice = CistSekciIni(PridatLomitko(slozkaAplikace) + kIniMerka, "Profily");
  return klice ? klice->Pocet() : 0;
}

}  // namespace

std::string HostitelAdresy(std::string_view adresa) {
  auto schema = adresa.find("://");
  if (schema != std::string_view::npos) adresa.remove_prefix(schema + 3);
  adresa = adresa.substr(0, adresa.find_first_of("/?#"));
  if (auto zavinac = adresa.rfind('@'); zavinac != std::string_view::npos)
    adresa.remove_prefix(zavinac + 1);
  if (!adresa.empty() && adresa.front() == '[')
    return std::string(adresa.substr(0, adresa.find(']') + 1));
  return std::string(adresa.substr(0, adresa.find(':')));
}

bool JePripojenInternet(const std::string& adresa) {
  return platforma().JePripojeno(HostitelAdresy(adresa));
}

bool JenNaSiti() {
  return Orezat(CistIni(CestaVolebIni(), "Server", kKlicJenNaSiti), " \t") == "1";
}

void StahnoutInformace(const std::string& adresa, const std::string& mistni) {
  auto stahnout = [&] {
    AktualniPolozka = BezPristupovychUdaju(adresa + kSouborVydani) + "->" + mistni;
    StahnoutSoubor(AdresaInformaci(adresa), mistni, KlientHttp::kMaxInformaci);
    // Not one value of the file is used before its signature is checked.
    OveritInformace(adresa, mistni, NastaveniOvereniWebu());
  };
  try {
    stahnout();
  } catch (const Chyba& c) {
    // The site replaces the file, then its signature: a pair read in between is read once
    // more a moment later, and fails then for good.
    if (c.Cislo() != kChybaPodpisNeodpovida) throw;
    Pockat(2);
    stahnout();
  }
  // The bytes the signature covers stay beside it, for a process that verifies them again
  // (the one acting for a profile's owner).
  if (NastaveniOvereniWebu().Zapnuto()) {
    const std::string overene = mistni + kPriponaOverenych;
    if (ss::Vysledek v = ss::ZkopirovatSoubor(mistni, overene); !v.Uspech()) {
      AktualniPolozka = overene;
      VyvolatChybu("Soubor " + overene + " se nepodařilo zapsat: " + v.popis);
    }
  }
}

std::string CistVydaniWebu(const std::string& mistniKopie) {
  std::string vydani = CistIni(mistniKopie, "Merko", "Release");
  if (vydani.empty()) VyvolatChybu("Nepodařilo se stáhnout informace o aktualizacích.");
  return vydani;
}

std::optional<std::string> OdkazZmen(const std::string& mistniKopie) {
  const std::string adresa(Orezat(CistIni(mistniKopie, "Merko", "UrlZmen"), " \t"));
  if (!JeAbsolutniAdresa(adresa, {"http://", "https://"})) return std::nullopt;
  return adresa;
}

VolbaProfilu VybratProfil(const std::string& vydaniWebu) {
  if (PocetProfilu(CistRegistr(kKoren, kKlicMerko12, kHodnotaSlozky)) == 0) {
    std::string slozka14 = CistRegistr(kKoren, kKlicMerko14, kHodnotaSlozky);
    if (PocetProfilu(slozka14) == 0) VyvolatChybu(kNeniProfil + slozka14);
    // Version 14.0 profiles are offered only beside version 12.0 ones.
    return {};
  }
  const std::string& s = vydaniWebu;
  std::vector<std::string> neprectene;
  const SeznamZaznamuProfilu profily = SeznamProfilu(&neprectene);
  for (const std::string& zprava : neprectene)
    ZapsatDoLogu(kPrenosovyLog, zprava);
  for (const auto& polozka : profily) {
    const ZaznamProfilu& p = *polozka.hodnota;
    int r = PorovnatVydani(p.Vydani, s);
    if (r > 0) {
      ZobrazZpravu("Vydání v profilu " + p.Nazev + " je novější než vydání na internetu. \r\n" +
                       "Vydání v profilu: " + p.Vydani + "\r\nNa internetu je vydání: " + s,
                   mb::kOk | mb::kVykricnik, kTitulekAktualizace);
    } else if (r == 0) {
      ZobrazZpravu("Vydání v profilu " + p.Nazev + "  " + p.Vydani + " je aktuální.",
                   mb::kOk | mb::kInformace, kTitulekAktualizace);
    } else if (!RezimSystem) {
      ParametryVolby otazka;
      otazka.zprava = "Aktualizovat Merko v profilu " + p.Nazev + "?@Vydání v profilu " + p.Vydani +
                      ". Na internetu je vydání " + s + ".";
      otazka.volby = "Ano - stáhnout aktualizaci;Ne - nyní nestahovat";
      std::int16_t odpoved = ZobrazVolbu(otazka, 0);
      if (odpoved == 1) return {VolbaProfilu::Druh::kSlozka, p.SlozkaDat};
      if (odpoved == 0) return {VolbaProfilu::Druh::kZruseno, {}};
    }
  }
  return {};
}

bool VarovaniZmenyDat(const std::string& souborVydani) {
  std::string zmenaDat = CistIni(souborVydani, "Merko", "ReleaseZmenyDat");
  if (zmenaDat.empty() || RezimSystem) return true;
  std::string profil = CistIni(souborVydani, "Merko", "SlozkaProfilu");
  std::string duvod;
  const std::string vydani = VydaniProfilu(profil, duvod);
  if (!duvod.empty())
    ZapsatDoLogu(kPrenosovyLog, "Profil " + profil + " nelze přečíst: " + duvod + ".");
  if (vydani.empty()) return true;
  if (PorovnatVydani(vydani, zmenaDat) >= 0) return true;
  return ZobrazZpravu(
             "Vydání, které chcete stáhnout, obsahuje změnu datové struktury. Jeho instalace bude "
             "zřejmě vyžadovat, aby uživatelé ukončili práci ve Merku. Prosím počítejte s tím, že "
             "instalace bude trvat déle než obvykle.\r\n\r\nPřejte si pokračovat ve stahování "
             "aktualizace?",
             mb::kAnoNe | mb::kVykricnik, kTitulekAktualizace) == mb::kIdAno;
}

}  // namespace zevlon
