#include "aplikace/instalacni_slozka.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <unordered_map>

#include "common/text.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/znacka_slozky.h"
#include "rozhrani/prubeh.h"
#include "soubory/duvera.h"
#include "soubory/log.h"

namespace zevlon {

namespace {

constexpr const char* kZpravaNacitani = "Načítání obsahu instalační složky ";

struct ZavritAdresar {
  void operator()(DIR* d) const { closedir(d); }
};
using Adresar = std::unique_ptr<DIR, ZavritAdresar>;

// A file found by the listing, with what its stat said.
struct NalezenySoubor {
  std::size_t slozka;  // index into the folder work list
  std::string jmeno;
  UtcCas cas;
  std::int64_t velikost;
  KlicSouboru klic;
};

std::string SLomitkem(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

// Opens a folder for listing; a folder that does not exist lists as empty (no value
// and no error), any other failure is raised.
Adresar OtevritSlozku(const std::string& slozka) {
  Adresar d(::opendir(slozka.c_str()));
  if (!d && errno != ENOENT && errno != ENOTDIR) {
    ss::Vysledek v = ss::ChybaSystemu(errno, slozka, ss::Druh::kSlozka);
    throw Chyba(v.kod, v.popis);
  }
  return d;
}

// The kind of an entry, never followed: a symbolic link is neither a folder nor a file
// of the installation, so nothing behind it counts as an installed file.
enum class Druh { kSlozka, kSoubor, kJiny };

Druh DruhPolozky(DIR* d, const dirent* e, struct stat* st) {
  if (e->d_type == DT_DIR) return Druh::kSlozka;
  if (e->d_type != DT_REG && e->d_type != DT_UNKNOWN) return Druh::kJiny;
  if (::fstatat(::dirfd(d), e->d_name, st, AT_SYMLINK_NOFOLLOW) != 0) return Druh::kJiny;
  if (S_ISDIR(st->st_mode)) return Druh::kSlozka;
  return S_ISREG(st->st_mode) ? Druh::kSoubor : Druh::kJiny;
}

// Hidden entries and the folder's mark are nobody's content.
bool Skryty(std::string_view jmeno) {
  return !jmeno.empty() && (jmeno.front() == '.' || JeVlastniSouborZevlonu(jmeno));
}

bool VynechanaSlozka(std::string_view jmeno) {
  return jmeno.front() == '_' || KonciNa(jmeno, ".scc");
}

// The plain files of a folder as one listing found them, sorted by name.
struct SouborVypisu {
  std::string jmeno;
  UtcCas cas;
  std::int64_t velikost;
  KlicSouboru klic;
};
using Vypisy = std::unordered_map<std::string, std::vector<SouborVypisu>>;

void SeraditSoubory(std::vector<SouborVypisu>& soubory) {
  std::sort(soubory.begin(), soubory.end(),
            [](const SouborVypisu& a, const SouborVypisu& b) { return a.jmeno < b.jmeno; });
}

// Appends the subfolders of `slozka` level by level: all direct subfolders first,
// then the subtree of each in turn. Names are sorted so that scans repeat exactly.
// The same listing keeps each folder's plain files in `vypisy`, so that no folder is
// read twice.
void PridatSlozky(const std::string& slozka, std::vector<std::string>& seznam, Vypisy& vypisy) {
  SLogovanim("InstalacniSlozka::PridatSlozky", [&] {
    const std::string s = SLomitkem(slozka);
    std::vector<std::string> podslozky;
    std::vector<SouborVypisu> soubory;
    {
      Adresar d = OtevritSlozku(s);
      if (!d) return;
      struct stat st {};
      // Nothing is read from a folder that someone else than the acting user may change.
      if (::fstat(::dirfd(d.get()), &st) == 0) OveritSlozkuInstalace(s, st.st_uid, st.st_mode);
      while (dirent* e = ::readdir(d.get())) {
        std::string_view jmeno = e->d_name;
        if (jmeno == "." || jmeno == ".." || Skryty(jmeno)) continue;
        Druh druh = DruhPolozky(d.get(), e, &st);
        if (druh == Druh::kSoubor)
          soubory.push_back(
              {std::string(jmeno), st.st_mtim.tv_sec, st.st_size, KlicSouboru::Z(st)});
        else if (druh == Druh::kSlozka && !VynechanaSlozka(jmeno))
          podslozky.emplace_back(jmeno);
      }
    }  // the folder is closed before anything else happens to it
    SeraditSoubory(soubory);
    vypisy[s] = std::move(soubory);
    std::sort(podslozky.begin(), podslozky.end());
    std::size_t prvni = seznam.size();
    for (const std::string& p : podslozky)
      seznam.push_back(s + p);
    std::size_t konec = seznam.size();
    for (std::size_t i = prvni; i < konec; ++i)
      PridatSlozky(std::string(seznam[i]), seznam, vypisy);
  });
}

// Appends the plain files of one folder (hidden files, folders and special files
// are passed over), sorted by name: from the folder listing when it was read
// already, else from a listing of its own.
void PridatSoubory(const std::string& slozka, std::size_t index,
                   std::vector<NalezenySoubor>& seznam, Vypisy& vypisy) {
  SLogovanim("InstalacniSlozka::PridatSoubory", [&] {
    std::vector<SouborVypisu> soubory;
    if (auto it = vypisy.find(slozka); it != vypisy.end()) {
      soubory = std::move(it->second);
      vypisy.erase(it);
    } else {
      Adresar d = OtevritSlozku(slozka);
      if (!d) return;
      struct stat st {};
      while (dirent* e = ::readdir(d.get())) {
        std::string_view jmeno = e->d_name;
        if (jmeno == "." || jmeno == ".." || Skryty(jmeno)) continue;
        if (DruhPolozky(d.get(), e, &st) != Druh::kSoubor) continue;
        soubory.push_back({std::string(jmeno), st.st_mtim.tv_sec, st.st_size, KlicSouboru::Z(st)});
      }
      SeraditSoubory(soubory);
    }
    for (SouborVypisu& f : soubory)
      seznam.push_back({index, std::move(f.jmeno), f.cas, f.velikost, f.klic});
  });
}

}  // namespace

InstalacniSlozka::InstalacniSlozka()
    : vsechny_(std::make_shared<SeznamSouboru>()),
      jadro_(std::make_shared<SeznamSouboru>()),
      normalni_(std::make_shared<SeznamSouboru>()),
      vzorove_(std::make_shared<SeznamSouboru>()),
      manifesty_(std::make_shared<SeznamSouboru>()) {}

void InstalacniSlozka::NacistObsahSlozky(const std::string& CestaSlozky,
                                         const std::vector<std::string>* JenSlozky) {
  SLogovanim("InstalacniSlozka::NacistObsahSlozky", [&] {
    koren_ = CestaSlozky;
    vsechny_ = std::make_shared<SeznamSouboru>();
    jadro_ = std::make_shared<SeznamSouboru>();
    normalni_ = std::make_shared<SeznamSouboru>();
    vzorove_ = std::make_shared<SeznamSouboru>();
    manifesty_ = std::make_shared<SeznamSouboru>();
    const std::size_t delkaKorene = koren_.size();

    std::vector<std::string> slozky{koren_};
    Vypisy vypisy;
    if (!JenSlozky) {
      PridatSlozky(koren_, slozky, vypisy);
    } else {
      for (const std::string& j : *JenSlozky) {
        if (j.compare(0, delkaKorene, koren_) != 0)
          throw Chyba(kod::kNeplatnyArgument,
                      "Složka " + j + " neleží v instalační složce " + koren_ + ".");
        slozky.push_back(j);
        PridatSlozky(j, slozky, vypisy);
      }
    }

    std::vector<NalezenySoubor> soubory;
    std::vector<std::string> zpravy;
    zpravy.reserve(slozky.size());
    const auto n = static_cast<std::int32_t>(slozky.size());
    for (std::size_t k = 0; k < slozky.size(); ++k) {
      slozky[k] = SLomitkem(slozky[k]);
      PridatSoubory(slozky[k], k, soubory, vypisy);
      zpravy.push_back(kZpravaNacitani + slozky[k]);
      ZobrazPrubeh("", zpravy.back(), static_cast<std::int32_t>(k + 1), n, -1, true, false);
    }

    vsechny_->Rezervovat(soubory.size());
    const std::string korenMale = SlozitVelikost(koren_);
    const std::string jadroMale = korenMale + "merko/";
    std::size_t posledniSlozka = static_cast<std::size_t>(-1);
    std::string relativni, slozkaMale, podKorenem;
    bool jadro = false, data = false, normalni = false;
    const auto m = static_cast<std::int32_t>(soubory.size());
    for (std::size_t k = 0; k < soubory.size(); ++k) {
      NalezenySoubor& s = soubory[k];
      ZobrazPrubeh("", zpravy[s.slozka], static_cast<std::int32_t>(k + 1), m, -1, true, false);
      if (s.slozka != posledniSlozka) {
        // What depends on the folder alone is worked out once per folder.
        posledniSlozka = s.slozka;
        const std::string& slozka = slozky[s.slozka];
        relativni = slozka.substr(std::min(delkaKorene, slozka.size()));
        slozkaMale = SlozitVelikost(slozka);
        podKorenem = slozkaMale.compare(0, korenMale.size(), korenMale) == 0
                         ? slozkaMale.substr(korenMale.size())
                         : slozkaMale;
        jadro = slozkaMale == jadroMale;
        data =
            slozkaMale.size() >= 6 && slozkaMale.compare(slozkaMale.size() - 6, 6, "/data/") == 0;
        normalni = podKorenem.find("/data/") == std::string::npos;
      }
      auto z = std::make_shared<InstalovanySoubor>();
      z->Cesta = relativni + s.jmeno;
      z->Jmeno = std::move(s.jmeno);
      z->Datum = s.cas;
      z->Velikost = s.velikost;
      z->Stav = s.klic;
      const std::string klic = SlozitVelikost(z->Cesta);
      vsechny_->PridatSlozeny(z->Cesta, klic, z);

      // First match wins.
      const std::string& n = z->Jmeno;
      if (KonciNa(n, ".snapshot") || StejnyText(n, "merko.ini")) continue;
      if (z->JeManifest()) {
        manifesty_->PridatSlozeny(z->Cesta, klic, z);
      } else if (KonciNa(n, ".cfg") && data) {
        vzorove_->PridatSlozeny(z->Cesta, klic, z);
      } else if ((KonciNa(n, ".exe") || KonciNa(n, ".dll")) && jadro) {
        jadro_->PridatSlozeny(z->Cesta, klic, z);
      } else if (normalni) {
        normalni_->PridatSlozeny(z->Cesta, klic, z);
      }
    }
  });
}

std::shared_ptr<SeznamSouboru> InstalacniSlozka::DejObsahSlozky(std::int32_t typ) const {
  return SLogovanim("InstalacniSlozka::DejObsahSlozky", [&]() -> std::shared_ptr<SeznamSouboru> {
    switch (typ) {
      case VsechnySoubory:
        return vsechny_;
      case JadroSystemu:
        return jadro_;
      case NormalniSoubory:
        return normalni_;
      case VzoroveDatabaze:
        return vzorove_;
      case Manifesty:
        return manifesty_;
      default:
        return nullptr;
    }
  });
}

UtcCas FileDateTimeModifiedUTC(const std::string& cesta) {
  ss::UdajeSouboru u;
  if (!ss::CistUdaje(cesta, u).Uspech())
    throw Chyba(kChybaUzivatele, "GetFileAttributesEx Failed <" + cesta + ">",
                "mPomucky::FileDateTimeModifiedUTC");
  return u.casZmeny;
}

}  // namespace zevlon
