#include "tools/publikace/delty.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>

#include "aplikace/seznam_delt.h"
#include "common/chyba.h"
#include "platform/soubory/soubor.h"
#include "prenos/delty/zstd_delta.h"
#include "prenos/podpisy/sha256.h"
#include "prenos/zip/mzip32.h"
#include "tools/publikace/stary_web.h"

namespace fs = std::filesystem;

namespace zevlon::publikace {

namespace {

// The earlier content of a file from its archive, when it is what the earlier snapshot
// lists (else none: no delta is made against it).
std::optional<std::string> Rozbalit(const std::string& archiv, const std::string& cesta,
                                    const std::string& sha256, const DocasnaSlozka& kam) {
  const std::string jmeno = fs::path(cesta).filename().string();
  const JedinaPolozka jen{jmeno, static_cast<std::uint64_t>(kMaxDelta), false};
  std::optional<std::string> obsah;
  if (RozzipovatJednoduse(archiv, kam.cesta + "/", 1, "", &jen) == 0)
    obsah = NacistSoubor(kam.cesta + "/" + jmeno);
  std::error_code e;
  fs::remove(kam.cesta + "/" + jmeno, e);
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
          verze.push_back({z.Sha256, web + "/" + s.kde + z.Cesta + ".zip"});
      }
    }
}

RozpracovaneDelty PredchoziWeby::Zacit(const std::string& slozka, const std::string& zdroj,
                                       const SeznamSouboru& soubory) const {
  RozpracovaneDelty vysledek;
  const auto s = slozky_.find(slozka);
  if (s == slozky_.end()) return vysledek;
  const std::size_t naraz = std::max(1u, std::thread::hardware_concurrency());
  DocasnaSlozka rozbaleni;
  if (rozbaleni.cesta.empty()) VyvolatChybu("Nelze vytvořit dočasnou složku pro rozdíly.");
  for (const auto& p : soubory) {
    const InstalovanySoubor& z = *p.hodnota;
    const auto v = s->second.find(z.Cesta);
    if (v == s->second.end() || z.Velikost > kMaxDelta) continue;
    for (const Verze& verze : v->second) {
      const std::string jmeno = JmenoDelty(z.Cesta, verze.sha256);
      if (verze.sha256 == z.Sha256 || !JeJmenoDelty(jmeno)) continue;
      std::optional<std::string> zaklad = Rozbalit(verze.archiv, z.Cesta, verze.sha256, rozbaleni);
      if (!zaklad) continue;
      // No more at once than the machine has cores, so no more bases in memory either.
      if (vysledek.prace_.size() >= naraz)
        vysledek.prace_[vysledek.prace_.size() - naraz].bajty.wait();
      vysledek.prace_.push_back(
          {{z.Cesta, verze.sha256, jmeno, 0, z.Sha256},
           std::async(std::launch::async,
                      [zaklad = std::move(*zaklad),
                       novy = zdroj + z.Cesta]() -> std::optional<std::string> {
                        const std::optional<std::string> obsah = NacistSoubor(novy);
                        if (!obsah) return std::nullopt;
                        return VytvoritDeltu(zaklad, *obsah);
                      })});
    }
  }
  return vysledek;
}

RozpracovaneDelty::~RozpracovaneDelty() {
  for (Prace& p : prace_)
    if (p.bajty.valid()) p.bajty.wait();
}

std::string RozpracovaneDelty::Dokoncit(const std::string& cil, int* pocet) {
  std::vector<Delta> delty;
  for (Prace& p : prace_) {
    const std::optional<std::string> delta = p.bajty.get();
    std::error_code e;
    const std::uintmax_t archiv = fs::file_size(cil + p.delta.Cesta + ".zip", e);
    if (!delta || e || delta->size() >= archiv) continue;
    ZapsatSoubor(cil + p.delta.Soubor, *delta);
    p.delta.Velikost = static_cast<std::int64_t>(delta->size());
    delty.push_back(p.delta);
  }
  prace_.clear();
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
