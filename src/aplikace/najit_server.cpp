#include "aplikace/najit_server.h"

#include <sys/stat.h>

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <vector>

#include "common/adresa.h"
#include "common/cas.h"
#include "common/chyba.h"
#include "common/text.h"
#include "platform/http/http.h"
#include "platform/nahrady/ini.h"
#include "platform/nahrady/platforma.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/soukromy_temp.h"
#include "prenos/podpisy/sha256.h"
#include "prenos/stahovani/informace_vydani.h"
#include "prenos/stahovani/stahovani.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/stav.h"
#include "soubory/cesty.h"
#include "soubory/duvera.h"
#include "soubory/operace_souboru.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

// Where the times of the vendors' signatures accepted for add-ons are kept.
constexpr const char* kZaznamPodpisuDoplnku = "podpisy-doplnku.ini";

struct Odkaz {
  std::string url;
  std::string urlIni;
  std::string verejnyKlic;  // the key that signs the release information, if named
  std::string manifest;     // the manifest that named them
};

// The manifests of the folder itself (no subfolders, no hidden files), in name order.
std::vector<std::string> Manifesty(const std::string& slozka) {
  std::vector<ss::PolozkaSlozky> polozky;
  std::vector<std::string> cesty;
  if (!ss::CistSlozku(slozka, polozky).Uspech()) return cesty;
  std::sort(polozky.begin(), polozky.end(),
            [](const auto& a, const auto& b) { return a.jmeno < b.jmeno; });
  for (const auto& p : polozky)
    if (!p.slozka && p.jmeno.front() != '.' && OdpovidaMasce(p.jmeno, "*.manifest.xml"))
      cesty.push_back(slozka + p.jmeno);
  return cesty;
}

// The first manifest that names a server ("url") or a release information file
// ("urlIni") in its "updateOnLine" element decides; files that do not parse are
// passed over. The parser reads no DTD and resolves no external entity.
Odkaz HledatVManifestech(const std::string& slozka) {
  Odkaz odkaz;
  for (const std::string& cesta : Manifesty(slozka)) {
    pugi::xml_document dokument;
    if (!dokument.load_file(cesta.c_str(), pugi::parse_default)) continue;
    pugi::xml_node prvek = dokument.document_element().child("updateOnLine");
    if (!prvek) continue;
    odkaz.url = prvek.attribute("url").as_string();
    if (!odkaz.url.empty()) {
      odkaz.urlIni.clear();
      return odkaz;
    }
    odkaz.urlIni = prvek.attribute("urlIni").as_string();
    odkaz.verejnyKlic = prvek.attribute("verejnyKlic").as_string();
    odkaz.manifest = cesta;
    if (!odkaz.urlIni.empty()) return odkaz;
  }
  return odkaz;
}

// The calendar day of a release's first eight characters (YYYYMMDD).
std::int64_t DenVydani(const std::string& vydani) {
  auto cislo = [&](std::size_t od, std::size_t delka) -> std::int64_t {
    std::string cast = vydani.substr(std::min(od, vydani.size()), delka);
    if (cast.empty() || cast.find_first_not_of("0123456789") != std::string::npos)
      throw Chyba(kod::kNeshodaTypu, "Nekompatibilní typ (" + vydani + ")");
    return std::stoll(cast);
  };
  return DnyOdEpochy(cislo(0, 4), cislo(4, 2), cislo(6, 2));
}

// Checks the application's release information: with the site's keys, within the age
// the options allow; or, when its manifest names a key, with that key alone, of any age
// (a vendor may leave its file signed once for years). Answers why it cannot be trusted,
// or "" when it can; the file is deleted when it cannot.
std::string Overit(const Odkaz& odkaz, const std::string& soubor, const NastaveniOvereni& overeni) {
  auto duvod = [&](const NastaveniOvereni& n) -> std::string {
    try {
      OveritInformace(odkaz.urlIni, soubor, n);
    } catch (const Chyba& c) {
      if (c.JeZruseni()) throw;
      return c.Popis();
    }
    return "";
  };
  // The check deletes a file that fails; a second check needs it again.
  const std::optional<std::string> obsah = NacistSoubor(soubor);
  std::string d = duvod(overeni);
  if (d.empty() || odkaz.verejnyKlic.empty() || !obsah) return d;
  // A key names whom to trust: only a manifest that nobody but this process's user (or
  // root) could have written may name one.
  if (!DuveryhodnySoubor(odkaz.manifest))
    return d + " Veřejný klíč z manifestu " + odkaz.manifest +
           " nebyl použit, protože manifest nebo složku na cestě k němu smí měnit i jiný "
           "uživatel.";
  std::optional<podpis::VerejnyKlic> k = podpis::CistVerejnyKlic(odkaz.verejnyKlic);
  if (!k) return d + " Manifest uvádí neplatný veřejný klíč " + odkaz.verejnyKlic + ".";
  if (ZapsatSouborAtomicky(soubor, *obsah) != 0) return d;
  return duvod(NastaveniOvereni{{*k}, overeni.platnostDni});
}

// The vendor's signature of an add-on's release information may not be older than the one
// accepted for that add-on before (a replayed site would roll it back), unless the options
// allow older releases; a signature without a time is accepted only while none has been
// recorded. The time of the one accepted is recorded, where only this user writes. Answers
// why it cannot be used, or "".
std::string PorovnatSPrijatym(const std::string& doplnek, const std::string& podpisSoubor) {
  const std::string zaznamy = platforma().SlozkaZaznamu();
  if (zaznamy.empty()) return "není kam zaznamenat čas přijatého podpisu.";
  const std::string zaznam = zaznamy + "/" + kZaznamPodpisuDoplnku;
  const std::optional<std::string> text = NacistSoubor(podpisSoubor);
  const std::optional<podpis::Podpis> p = text ? podpis::CistPodpis(*text) : std::nullopt;
  const std::optional<std::int64_t> kdy =
      p ? podpis::CasPodpisu(p->duveryhodnyKomentar) : std::nullopt;
  const bool maCas = kdy.has_value();
  const std::int64_t cas = kdy.value_or(0);
  const std::string drive = ini::CistKlic(zaznam, doplnek, "CasPodpisu").value_or("");
  std::int64_t prijaty = 0;
  const bool zaznamenano =
      !drive.empty() &&
      std::from_chars(drive.data(), drive.data() + drive.size(), prijaty).ec == std::errc();
  if (zaznamenano && CistIni(CestaVolebIni(), "Server", "PovolitStarsi") != "1") {
    if (!maCas)
      return "podpis jejích informací o vydání neuvádí, kdy byl vytvořen, a dříve přijatý "
             "podpis to uváděl (" +
             drive + ").";
    if (cas < prijaty)
      return "podpis jejích informací o vydání (" + std::to_string(cas) +
             ") je starší než podpis přijatý dříve (" + drive +
             "), dodavatelův web byl zřejmě nahrazen starším.";
  }
  if (maCas && (!ini::ZapsatKlic(zaznam, doplnek, "CasPodpisu", std::to_string(cas)) ||
                ::chmod(zaznam.c_str(), 0600) != 0))
    return "čas přijatého podpisu nelze zaznamenat do " + zaznam + ".";
  return "";
}

}  // namespace

ServerAplikace NajitServerAplikace(const std::string& ZakladniSlozka,
                                   const std::string& NazevAplikace,
                                   const std::string& CiloveVydani,
                                   const NastaveniOvereni& overeni) {
  Odkaz odkaz = HledatVManifestech(ZakladniSlozka + NazevAplikace);
  ServerAplikace server;
  if (odkaz.urlIni.empty()) {
    server.url = odkaz.url;
    if (overeni.Zapnuto() && !server.url.empty())
      server.neovereno = "manifest uvádí jen adresu serveru, bez podepsaných informací o vydání.";
    return server;
  }

  const std::string soubor = SlozkaTempBehu() + "/" + kSouborVydaniUprav;
  if (ExistujeSoubor(soubor)) {
    AktualniPolozka = soubor;
    SmazatSoubor(soubor, true);
    AktualniPolozka.clear();
  }
  AktualniPolozka = BezPristupovychUdaju(odkaz.urlIni + kSouborVydani) + "->" + soubor;
  StahnoutSoubor(AdresaInformaci(odkaz.urlIni), soubor, KlientHttp::kMaxInformaci);
  if (!ExistujeSoubor(soubor))
    VyvolatChybu(
        "Nepodařilo se stáhnout informace o aktualizacích. Prosím zkontrolujte firewall, "
        "připojení k internetu a případně ověřte dostupnost služby.");
  AktualniPolozka = soubor;
  if (overeni.Zapnuto()) {
    server.neovereno = Overit(odkaz, soubor, overeni);
    if (server.neovereno.empty())
      server.neovereno =
          PorovnatSPrijatym(ZakladniSlozka + NazevAplikace, soubor + kPriponaPodpisu);
    if (!server.neovereno.empty()) {
      (void)ss::SmazatSoubor(soubor);
      AktualniPolozka.clear();
      return server;
    }
  }

  const std::string sekce = NaDratovouCestu(NazevAplikace);
  std::string url = CistIni(soubor, sekce, "Url");
  if (overeni.Zapnuto() && !url.empty()) {
    server.sha256Snapshotu = CistIni(soubor, sekce, "Sha256");
    if (!JeSha256(*server.sha256Snapshotu)) {
      server.neovereno = "podepsané informace o vydání " + BezPristupovychUdaju(odkaz.urlIni) +
                         kSouborVydani + " neuvádějí kontrolní součet (Sha256) v sekci " + sekce +
                         ".";
      (void)ss::SmazatSoubor(soubor);
      AktualniPolozka.clear();
      return server;
    }
  }
  if (!url.empty()) {
    if (std::string delty = CistIni(soubor, sekce, "Sha256Delty"); !delty.empty())
      server.delty = {true, overeni.Zapnuto() ? std::optional<std::string>(delty) : std::nullopt};
    std::string vyzadovane = CistIni(soubor, sekce, "ReleaseMerko");
    if (!vyzadovane.empty() && !StejnyText(vyzadovane, CiloveVydani)) {
      std::int64_t dni = DenVydani(CiloveVydani) - DenVydani(vyzadovane);
      if (dni <= 190)
        VyvolatChybu("Nelze stáhnout aktualizace Merka, protože aplikace '" + sekce +
                     "' vyžaduje Merko vydání " + vyzadovane +
                     ". Zopakujte pokus o stažení později nebo se obraťte na dodavatele "
                     "aplikace.");
    }
  }
  SmazatSoubor(soubor, true);
  AktualniPolozka.clear();
  server.url = url;
  return server;
}

}  // namespace zevlon
