#include "tools/publikace/delty.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "aplikace/seznam_delt.h"
#include "common/chyba.h"
#include "platform/soubor.h"
#include "prenos/delty/zstd_delta.h"
#include "prenos/podpisy/sha256.h"
#include "prenos/zip/mzip32.h"
#include "tools/publikace/stary_web.h"

namespace fs = std::filesystem;

namespace zevlon::publikace {

namespace {

// A private folder for the earlier contents unpacked, removed with the object.
struct Rozbaleni {
  Rozbaleni() {
    std::string sablona = (fs::temp_directory_path() / "zevlon-delty.XXXXXX").string();
    if (!::mkdtemp(sablona.data())) VyvolatChybu("Nelze vytvořit dočasnou složku " + sablona + ".");
    cesta = sablona + "/";
  }
  ~Rozbaleni() {
    std::error_code e;
    fs::remove_all(cesta, e);
  }
  Rozbaleni(const Rozbaleni&) = delete;
  Rozbaleni& operator=(const Rozbaleni&) = delete;
  std::string cesta;
};

// The earlier content of a file from its archive, when it is what the earlier snapshot
// lists (else none: no delta is made against it).
std::optional<std::string> Rozbalit(const std::string& archiv, const std::string& cesta,
                                    const std::string& sha256, const Rozbaleni& kam) {
  const std::string jmeno = fs::path(cesta).filename().string();
  const JedinaPolozka jen{jmeno, static_cast<std::uint64_t>(kMaxDelta), false};
  std::optional<std::string> obsah;
  if (RozzipovatJednoduse(archiv, kam.cesta, 1, "", &jen) == 0)
    obsah = NacistSoubor(kam.cesta + jmeno);
  std::error_code e;
  fs::remove(kam.cesta + jmeno, e);
  if (obsah && Sha256(*obsah) != sha256) obsah.reset();
  return obsah;
}

void ZapsatSoubor(const std::string& cesta, const std::string& obsah) {
  if (int e = ZapsatSouborAtomicky(cesta, obsah))
    VyvolatChybu("Nelze zapsat soubor " + cesta + " (chyba " + std::to_string(e) + ").");
}

}  // namespace

PredchoziWeby::PredchoziWeby(const std::vector<std::string>& weby) {
  for (const std::string& web : weby)
    for (SlozkaWebu& s : SlozkyWebu(web)) {
      auto& slozka = slozky_[s.slozka];
      for (const auto& p : s.soubory) {
        const InstalovanySoubor& z = *p.hodnota;
        if (!JeSha256(z.Sha256)) continue;
        auto& verze = slozka[z.Cesta];
        if (std::none_of(verze.begin(), verze.end(),
                         [&](const Verze& v) { return v.sha256 == z.Sha256; }))
          verze.push_back({z.Sha256, web + "/" + s.slozka + z.Cesta + ".zip"});
      }
    }
}

std::string PredchoziWeby::Vytvorit(const std::string& slozka, const std::string& zdroj,
                                    const SeznamSouboru& soubory, const std::string& cil,
                                    int* pocet) const {
  const auto s = slozky_.find(slozka);
  if (s == slozky_.end()) return "";
  Rozbaleni rozbaleni;
  std::vector<Delta> delty;
  for (const auto& p : soubory) {
    const InstalovanySoubor& z = *p.hodnota;
    const auto v = s->second.find(z.Cesta);
    if (v == s->second.end() || z.Velikost > kMaxDelta) continue;
    std::optional<std::string> novy;
    for (const Verze& verze : v->second) {
      const std::string jmeno = JmenoDelty(z.Cesta, verze.sha256);
      if (verze.sha256 == z.Sha256 || !JeJmenoDelty(jmeno)) continue;
      const std::optional<std::string> zaklad =
          Rozbalit(verze.archiv, z.Cesta, verze.sha256, rozbaleni);
      if (!zaklad) continue;
      if (!novy) novy = NacistSoubor(zdroj + z.Cesta);
      if (!novy) VyvolatChybu("Soubor " + zdroj + z.Cesta + " nelze přečíst.");
      const std::optional<std::string> delta = VytvoritDeltu(*zaklad, *novy);
      std::error_code e;
      const std::uintmax_t archiv = fs::file_size(cil + z.Cesta + ".zip", e);
      if (!delta || e || delta->size() >= archiv) continue;
      ZapsatSoubor(cil + jmeno, *delta);
      delty.push_back(
          {z.Cesta, verze.sha256, jmeno, static_cast<std::int64_t>(delta->size()), z.Sha256});
    }
  }
  if (delty.empty()) return "";
  const std::string seznam = cil + kSeznamDelt;
  const std::string bajty = ZapsatSeznamDelt(delty);
  ZapsatSoubor(seznam, bajty);
  if (std::int32_t kod = ZazipovatJednoduse(seznam, seznam + ".zip", true, "", false))
    VyvolatChybu("Soubor " + seznam + " se nepodařilo zazipovat (kód " + std::to_string(kod) +
                 ").");
  fs::remove(seznam);
  *pocet += static_cast<int>(delty.size());
  return Sha256(bajty);
}

}  // namespace zevlon::publikace
