// Fuzzes the unzip half of the zip layer through mZip32's RozzipovatJednoduse with
// the input as the archive, unpacked into a fresh target folder deep inside the work
// folder. Whatever the archive holds, nothing may be written outside the target: the
// work folder keeps exactly its own files (the archive and a canary file unchanged, a
// sibling folder empty; the error log is allowed), a path that an entry would reach
// outside the work folder keeps its state, and an archive with an entry that is
// absolute or climbs out with ".." is refused as a whole: nothing at all is written.
// The target holds only folders and regular files (no links).
//
// The seeds are archives made with Info-ZIP zip (folders, stored and deflated
// entries, a PKWARE-encrypted one with the password "tajne", symbolic links) and with
// ZazipovatJednoduse (plain and encrypted), and hand-made zip-slip archives.
#include <sys/stat.h>
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/chyba.h"
#include "pomucky.h"
#include "prenos/zip/mzip32.h"

namespace {

namespace fs = std::filesystem;
using namespace zevlon;
using fuzz::Pracoviste;
using fuzz::Ukazat;

constexpr std::string_view kHeslo = "tajne";
constexpr std::string_view kKanar = "kanár: nesmí se změnit\n";
// Archives that declare more than this in all are skipped: their extraction is only
// a matter of disk space and time.
constexpr std::uint64_t kNejviceDat = 64u << 20;

// The folders of the work folder; the target lies three levels down, so that an
// entry climbing out with a few ".." still lands inside the work folder.
constexpr const char* kSlozky[] = {"a", "a/b", "a/b/c", "a/b/c/cil", "a/b/c/vedle"};
constexpr const char* kCil = "a/b/c/cil";
constexpr const char* kKanarSoubor = "a/b/c/vedle.txt";
constexpr const char* kArchiv = "archiv.zip";

// How an entry name resolves below the target: the path relative to it, or no value
// when it is absolute or climbs out of it (the file system path it would reach is
// then in `venku`).
std::optional<std::string> Relativni(const std::string& jmeno, const std::string& cil,
                                     std::string& venku) {
  std::string n = jmeno;
  for (char& c : n)
    if (c == '\\') c = '/';
  fs::path p = fs::path(n).lexically_normal();
  if (p.is_absolute()) {
    venku = p.string();
    return std::nullopt;
  }
  fs::path plna = (fs::path(cil) / p).lexically_normal();
  fs::path vztah = plna.lexically_relative(cil);
  if (vztah.empty() || *vztah.begin() == "..") {
    venku = plna.string();
    return std::nullopt;
  }
  return vztah.string();
}

// A path's state without following links: whether it exists, its type, size and time
// (a folder's time changes with what others write into it: only its being counts).
std::string Stav(const std::string& cesta) {
  struct stat st {};
  if (::lstat(cesta.c_str(), &st) != 0) return "-";
  if (S_ISDIR(st.st_mode)) return "složka";
  return std::to_string(st.st_mode) + ":" + std::to_string(st.st_size) + ":" +
         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

// Everything below a folder, as paths relative to it, without following links.
std::set<std::string> Obsah(const std::string& slozka) {
  std::set<std::string> vse;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(slozka, ec), konec; !ec && it != konec; it.increment(ec))
    vse.insert(it->path().lexically_relative(slozka).string());
  OVERIT(!ec, "nelze projít " + slozka + ": " + ec.message());
  return vse;
}

struct Jmena {
  std::vector<std::string> vse;
  std::uint64_t velikost = 0;  // declared uncompressed size of all entries
};

// The entry names as libzip reads them, or no value when it cannot open the archive.
std::optional<Jmena> JmenaVArchivu(const std::string& archiv) {
  int chyba = 0;
  zip_t* za = zip_open(archiv.c_str(), ZIP_RDONLY, &chyba);
  if (!za) return std::nullopt;
  Jmena j;
  zip_int64_t pocet = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < pocet; ++i) {
    const char* jmeno = zip_get_name(za, static_cast<zip_uint64_t>(i), 0);
    if (jmeno) j.vse.emplace_back(jmeno);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
      j.velikost += st.size;
  }
  zip_discard(za);
  return j;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Pracoviste& p = Pracoviste::Instance();
  p.Vycistit();
  const std::string_view vstup(reinterpret_cast<const char*>(data), size);
  const std::string archiv = p.Cesta(kArchiv);
  fuzz::Zapsat(archiv, vstup);

  auto jmena = JmenaVArchivu(archiv);
  if (jmena && jmena->velikost > kNejviceDat) {
    p.Vycistit();
    return 0;
  }

  for (const char* s : kSlozky)
    fs::create_directory(p.Cesta(s));
  fuzz::Zapsat(p.Cesta(kKanarSoubor), kKanar);
  const std::string cil = p.Cesta(kCil);
  const std::set<std::string> pred = Obsah(p.Slozka());

  // The paths outside the work folder that an entry would reach, with their state.
  bool nebezpecny = false;
  std::map<std::string, std::string> venku;
  for (const std::string& j : jmena ? jmena->vse : std::vector<std::string>()) {
    std::string kam;
    if (Relativni(j, cil, kam)) continue;
    nebezpecny = true;
    fs::path vztah = fs::path(kam).lexically_relative(p.Slozka());
    if (vztah.empty() || *vztah.begin() == "..") venku.emplace(kam, Stav(kam));
  }

  std::int32_t kod = -1;
  const auto prepsat = static_cast<std::int16_t>(size % 2);
  try {
    kod = RozzipovatJednoduse(archiv, cil + "/", prepsat, std::string(kHeslo));
  } catch (const Chyba&) {
    // Logged and raised again by the module; the checks below still hold.
  }

  // Nothing outside the target.
  std::set<std::string> po = Obsah(p.Slozka());
  std::set<std::string> navic;
  for (const std::string& s : po)
    if (!pred.count(s) && s != "online_errors.log" && !s.starts_with(std::string(kCil) + "/"))
      navic.insert(s);
  OVERIT(navic.empty(), "zapsáno mimo cíl: " + Ukazat(*navic.begin()));
  for (const std::string& s : pred)
    OVERIT(po.count(s), "smazáno mimo cíl: " + Ukazat(s));
  OVERIT(fs::is_empty(p.Cesta("a/b/c/vedle")), "sousední složka není prázdná");
  OVERIT(fuzz::Precist(p.Cesta(kKanarSoubor)) == std::string(kKanar), "kanár se změnil");
  OVERIT(fuzz::Precist(archiv) == std::string(vstup), "archiv se změnil");
  for (const auto& [cesta, stav] : venku)
    OVERIT(Stav(cesta) == stav, "změněno mimo pracovní složku: " + Ukazat(cesta));

  // Inside the target: folders and regular files only, and nothing at all from an
  // archive with a dangerous entry.
  for (const std::string& s : Obsah(cil)) {
    auto typ = fs::symlink_status(cil + "/" + s).type();
    OVERIT(typ == fs::file_type::directory || typ == fs::file_type::regular,
           "v cíli je něco jiného než složka nebo soubor: " + Ukazat(s));
    OVERIT(!nebezpecny, "z archivu s nebezpečnou položkou se rozbalilo " + Ukazat(s) + " (kód " +
                            std::to_string(kod) + ")");
  }
  if (nebezpecny) OVERIT(kod != 0, "archiv s nebezpečnou položkou prošel s kódem 0");

  p.Vycistit();
  return 0;
}
