#include "tools/publikace/stary_web.h"

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <set>
#include <system_error>

#include "aplikace/instalacni_slozka.h"
#include "common/chyba.h"
#include "platform/nahrady/ini.h"
#include "platform/soubory/soubor.h"
#include "prenos/zip/mzip32.h"
#include "soubory/cesty.h"
#include "tools/publikace/preruseni.h"

namespace fs = std::filesystem;

namespace zevlon::publikace {

namespace {

// Whether `uvnitr` is `slozka` or lies below it.
bool Pod(const fs::path& uvnitr, const fs::path& slozka) {
  auto [a, b] = std::mismatch(slozka.begin(), slozka.end(), uvnitr.begin(), uvnitr.end());
  return a == slozka.end();
}

}  // namespace

DocasnaSlozka::DocasnaSlozka() : cesta(ZalozitPracovniSlozku(fs::temp_directory_path())) {}

DocasnaSlozka::~DocasnaSlozka() {
  if (!cesta.empty()) Dokoncit(cesta, true);
}

namespace {

[[noreturn]] void NeniWeb(const std::string& web, const std::string& proc) {
  VyvolatChybu("Složka " + web + " není web vytvořený tímto nástrojem (" + proc +
               "), proto se do ní nepublikuje. Zvolte prázdnou nebo neexistující složku.");
}

}  // namespace

namespace {

// The list `jmeno` ("master.snapshot" or "master.delty") of the site's folder `s`, unpacked.
std::string NacistSeznam(const std::string& web, const std::string& s, const std::string& jmeno,
                         const DocasnaSlozka& docasna) {
  const std::string archiv = web + "/" + s + jmeno + ".zip";
  const std::string seznam = docasna.cesta + "/" + jmeno;
  fs::remove(seznam);
  const JedinaPolozka jen{jmeno, std::uint64_t{64} << 20, false};
  std::optional<std::string> bajty;
  if (fs::is_regular_file(fs::symlink_status(archiv)) &&
      RozzipovatJednoduse(archiv, docasna.cesta + "/", 1, "", &jen) == 0)
    bajty = NacistSoubor(seznam);
  if (!bajty) NeniWeb(web, "chybí nebo je poškozen " + s + jmeno + ".zip");
  fs::remove(seznam);
  return *bajty;
}

}  // namespace

std::vector<SlozkaWebu> SlozkyWebu(const std::string& web) {
  const std::string ini = web + "/download.ini";
  // Each folder with the key of its delta list.
  std::vector<std::pair<std::string, std::optional<std::string>>> slozky;
  for (const char* setup : {"Setup", "Setup14", "SetupCommon"})
    if (ini::CistKlic(ini, "Merko", std::string("Sha256") + setup))
      slozky.emplace_back(std::string(setup) + "/",
                          ini::CistKlic(ini, "Merko", std::string("Sha256Delty") + setup));
  for (const std::string& sekce : ini::CistNazvySekci(ini).value_or(std::vector<std::string>{}))
    if (sekce != "Merko" && ini::CistKlic(ini, sekce, "Url"))
      slozky.emplace_back(ZDratoveCesty(sekce), ini::CistKlic(ini, sekce, "Sha256Delty"));
  DocasnaSlozka docasna;
  if (docasna.cesta.empty()) NeniWeb(web, "nelze vytvořit dočasnou složku");
  std::vector<SlozkaWebu> vysledek;
  for (const auto& [s, delty] : slozky) {
    if (!JeBezpecnaRelativniCesta(s.substr(0, s.size() - 1))) NeniWeb(web, "sekce " + s);
    SlozkaWebu slozka{s, {}, delty.has_value(), {}};
    const std::string snapshot = docasna.cesta + "/master.snapshot";
    if (int e = ZapsatSouborAtomicky(snapshot, NacistSeznam(web, s, "master.snapshot", docasna)))
      NeniWeb(web, "nelze zapsat dočasný soubor (" + std::to_string(e) + ")");
    try {
      slozka.soubory = InstalacniSlozka().NacistSnapshot(snapshot);
      if (delty) slozka.delty = NacistSeznamDelt(NacistSeznam(web, s, kSeznamDelt, docasna), s);
    } catch (const Chyba&) {
      NeniWeb(web, "nečitelný seznam složky " + s);
    }
    vysledek.push_back(std::move(slozka));
  }
  return vysledek;
}

std::optional<std::string> VydaniWebu(const std::string& web) {
  const std::string ini = web + "/download.ini";
  if (!fs::is_regular_file(fs::symlink_status(ini))) return std::nullopt;
  return ini::CistKlic(ini, "Merko", "Release").value_or("");
}

std::set<std::string> SouboryWebu(const std::string& web) {
  std::set<std::string> smi{"download.ini", "download.ini.minisig"};
  for (const SlozkaWebu& s : SlozkyWebu(web)) {
    smi.insert(s.slozka + "master.snapshot.zip");
    for (const auto& p : s.soubory)
      smi.insert(s.slozka + p.hodnota->Cesta + ".zip");
    if (s.seznamDelt) smi.insert(s.slozka + kSeznamDelt + ".zip");
    for (const Delta& d : s.delty)
      smi.insert(s.slozka + d.Soubor);
  }
  return smi;
}

void OveritCilWebu(const std::string& web, const std::string& vydani, const std::string& klic) {
  const fs::path w = fs::weakly_canonical(web), v = fs::weakly_canonical(vydani);
  if (w == w.root_path()) VyvolatChybu("Do kořenové složky se web nepublikuje.");
  if (Pod(w, v) || Pod(v, w))
    VyvolatChybu("Složka webu " + w.string() + " je složkou vydání " + v.string() +
                 ", leží v ní nebo ji obsahuje, proto se do ní nepublikuje.");
  if (!klic.empty() && Pod(fs::weakly_canonical(klic), w))
    VyvolatChybu("Složka webu " + w.string() + " obsahuje tajný klíč " + klic +
                 ", proto se do ní nepublikuje.");
  const fs::file_status st = fs::symlink_status(w);
  if (!fs::exists(st)) return;
  if (!fs::is_directory(st)) NeniWeb(w.string(), "není to složka");
  std::vector<std::string> soubory;
  for (const auto& e : fs::recursive_directory_iterator(w)) {
    const fs::file_status s = e.symlink_status();
    if (fs::is_directory(s)) continue;
    const std::string relativni = fs::relative(e.path(), w).string();
    if (!fs::is_regular_file(s)) NeniWeb(w.string(), relativni + " není soubor");
    soubory.push_back(relativni);
  }
  if (soubory.empty()) return;
  if (!fs::is_regular_file(fs::symlink_status(w / "download.ini")))
    NeniWeb(w.string(), "chybí download.ini");
  const std::set<std::string> smi = SouboryWebu(w.string());
  // The updater's archive lies directly in SetupCommon, under its program's name.
  const bool zevlon =
      ini::CistKlic((w / "download.ini").string(), "Merko", "ZevlonSha256").has_value();
  for (const std::string& s : soubory) {
    const bool archivZevlonu = zevlon && s.starts_with("SetupCommon/") && s.ends_with(".zip") &&
                               s.find('/', 12) == std::string::npos;
    if (!smi.count(s) && !archivZevlonu) NeniWeb(w.string(), "obsahuje " + s);
  }
}

}  // namespace zevlon::publikace
