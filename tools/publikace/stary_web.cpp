#include "tools/publikace/stary_web.h"

#include <stdlib.h>

#include <algorithm>
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
#include "tools/publikace/slozky_vydani.h"

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

std::string SlozkaVydaniWebu(const std::string& web) {
  std::string url = ini::CistKlic(web + "/download.ini", "Merko", "Url").value_or("");
  if (!url.ends_with("/")) return "";
  url.pop_back();
  const std::size_t lomitko = url.rfind('/');
  if (lomitko == std::string::npos) return "";
  const std::string jmeno = url.substr(lomitko + 1);
  if (!url.substr(0, lomitko).ends_with(std::string("/") + kVydani) || jmeno.empty() ||
      jmeno[0] == '.' || !JeBezpecnaRelativniCesta(jmeno) ||
      !fs::is_directory(fs::symlink_status(web + "/" + kVydani + "/" + jmeno)))
    return "";
  return std::string(kVydani) + "/" + jmeno + "/";
}

std::vector<SlozkaWebu> SlozkyWebu(const std::string& web) {
  const std::string ini = web + "/download.ini";
  const std::string vydani = SlozkaVydaniWebu(web);
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
    SlozkaWebu slozka{s, vydani + s, {}, delty.has_value(), {}};
    const std::string snapshot = docasna.cesta + "/master.snapshot";
    if (int e = ZapsatSouborAtomicky(snapshot,
                                     NacistSeznam(web, slozka.kde, "master.snapshot", docasna)))
      NeniWeb(web, "nelze zapsat dočasný soubor (" + std::to_string(e) + ")");
    try {
      slozka.soubory = InstalacniSlozka().NacistSnapshot(snapshot);
      if (delty)
        slozka.delty = NacistSeznamDelt(NacistSeznam(web, slozka.kde, kSeznamDelt, docasna), s);
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
  const std::string vydani = SlozkaVydaniWebu(web);
  if (!vydani.empty()) smi.insert(vydani + "download.ini");
  for (const SlozkaWebu& s : SlozkyWebu(web)) {
    smi.insert(s.kde + "master.snapshot.zip");
    for (const auto& p : s.soubory)
      smi.insert(s.kde + p.hodnota->Cesta + ".zip");
    if (s.seznamDelt) smi.insert(s.kde + kSeznamDelt + ".zip");
    for (const Delta& d : s.delty)
      smi.insert(s.kde + d.Soubor);
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
  // What a stopped run left (removed once the checks pass) is no part of the site; nor is a
  // folder of vydani/ that another made, which is left as it is.
  const ZaznamSlozek zaznam = NacistZaznamSlozek(w.string());
  const auto pracovni = [](const std::string& jmeno) { return jmeno.starts_with(kPrefixPrace); };
  std::vector<std::string> soubory;
  for (auto e = fs::recursive_directory_iterator(w); e != fs::recursive_directory_iterator(); ++e) {
    const std::string relativni = fs::relative(e->path(), w).string();
    const fs::file_status s = e->symlink_status();
    const std::string jmeno = e->path().filename().string();
    const bool veVydani = e.depth() == 1 && relativni.starts_with(std::string(kVydani) + "/");
    if ((e.depth() == 0 || veVydani) && pracovni(jmeno)) {
      e.disable_recursion_pending();
      continue;
    }
    if (e.depth() == 0 && fs::is_directory(s) &&
        std::count(zaznam.stare.begin(), zaznam.stare.end(), jmeno)) {
      e.disable_recursion_pending();  // the former layout's, checked when it was converted
      continue;
    }
    if (veVydani && fs::is_directory(s) &&
        !std::count(zaznam.vydani.begin(), zaznam.vydani.end(), jmeno)) {
      e.disable_recursion_pending();
      continue;
    }
    if (fs::is_directory(s)) continue;
    if (!fs::is_regular_file(s)) NeniWeb(w.string(), relativni + " není soubor");
    soubory.push_back(relativni);
  }
  if (soubory.empty()) return;
  if (!fs::is_regular_file(fs::symlink_status(w / "download.ini")))
    NeniWeb(w.string(), "chybí download.ini");
  // The live release, or the site of the former layout, and each release folder this tool
  // made, each with the updater's archive directly in its SetupCommon, under its program's
  // name.
  std::set<std::string> smi = SouboryWebu(w.string());
  std::vector<std::string> archivyZevlonu;
  if (ini::CistKlic((w / "download.ini").string(), "Merko", "ZevlonSha256"))
    archivyZevlonu.push_back(SlozkaVydaniWebu(w.string()) + "SetupCommon/");
  smi.insert(std::string(kVydani) + "/" + kZaznamSlozek);
  for (const std::string& v : zaznam.vydani) {
    const std::string slozka = std::string(kVydani) + "/" + v + "/";
    if (!fs::is_directory(fs::symlink_status(w / slozka))) continue;
    if (!fs::is_regular_file(fs::symlink_status(w / slozka / "download.ini")))
      NeniWeb(w.string(), "chybí " + slozka + "download.ini");
    for (const std::string& s : SouboryWebu((w / kVydani / v).string()))
      smi.insert(slozka + s);
    if (ini::CistKlic((w / slozka / "download.ini").string(), "Merko", "ZevlonSha256"))
      archivyZevlonu.push_back(slozka + "SetupCommon/");
  }
  for (const std::string& s : soubory) {
    const bool archivZevlonu =
        s.ends_with(".zip") &&
        std::any_of(archivyZevlonu.begin(), archivyZevlonu.end(), [&](const std::string& a) {
          return s.starts_with(a) && s.find('/', a.size()) == std::string::npos;
        });
    if (!smi.count(s) && !archivZevlonu) NeniWeb(w.string(), "obsahuje " + s);
  }
}

}  // namespace zevlon::publikace
