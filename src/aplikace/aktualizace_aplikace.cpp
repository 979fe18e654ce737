#include "aplikace/aktualizace_aplikace.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "aplikace/instalacni_slozka.h"
#include "aplikace/nezmenene_predem.h"
#include "aplikace/zaznam_souctu.h"
#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "prenos/podpisy/overeni.h"
#include "prenos/podpisy/sha256.h"
#include "prenos/stahovani/stahovani.h"
#include "prenos/stahovani/zrcadlo.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/stav.h"
#include "soubory/cesty.h"
#include "soubory/operace_slozek.h"
#include "soubory/operace_souboru.h"
#include "soubory/volby.h"

namespace zevlon {

namespace {

constexpr const char* kSnapshot = "master.snapshot";

void Hlasit(const std::string& zprava, std::int32_t hodnota, std::int32_t celkem) {
  ZobrazPrubeh("", zprava, hodnota, celkem, -1, true, false);
}

void SmazatJeLiTam(const std::string& soubor) {
  if (!ExistujeSoubor(soubor)) return;
  AktualniPolozka = soubor;
  SmazatSoubor(soubor, true);
  AktualniPolozka.clear();
}

// The snapshot is the one that the signed release information lists for this folder:
// not another folder's, not another release's.
void OveritSnapshot(const std::string& snapshot, const std::string& sha256,
                    const std::string& urlServeru) {
  const std::string nazev = BezPristupovychUdaju(urlServeru) + kSnapshot + ".zip";
  AktualniPolozka = nazev;
  if (sha256.empty())
    VyvolatChybu("Podepsané informace o vydání neuvádějí kontrolní součet souboru " + nazev + ".");
  OveritKontrolniSoucet(snapshot, sha256, nazev);
  AktualniPolozka.clear();
}

// Every file of a verified snapshot carries its checksum, so that no download escapes it.
void OveritSoucty(const SeznamSouboru& server, const std::string& urlServeru) {
  for (const auto& polozka : server) {
    if (JeSha256(polozka.hodnota->Sha256)) continue;
    AktualniPolozka = BezPristupovychUdaju(urlServeru) + kSnapshot + ".zip";
    VyvolatChybu("Soubor " + AktualniPolozka + " neuvádí platný kontrolní součet souboru " +
                 polozka.hodnota->Cesta + ".");
  }
}

// A private folder beside the download folder for downloads ahead, removed with it.
std::string SlozkaPredstihu(const std::string& TempSlozka, const char* pripona) {
  const std::string slozka = BezLomitka(TempSlozka) + pripona;
  if (!ExistujeSlozka(slozka)) {
    DocasneSlozky.push_back(slozka);
    VytvoritSlozku(slozka, true);
  }
  return slozka;
}

// Whether the local file `r` holds what the line `s` lists: the same bytes where the line
// carries a SHA-256 (as recorded, or read now), else the same size and a time less than
// 30 seconds apart.
bool Nezmeneny(const InstalovanySoubor& s, const InstalovanySoubor& r, const std::string& slozka,
               ZaznamSouctu& zaznam) {
  if (r.Velikost != s.Velikost) return false;
  if (!JeSha256(s.Sha256)) return StejnyCas(s.Datum, r.Datum);
  // The file as the scan saw it; a file that changed since is looked at again when copied.
  if (const auto h = zaznam.Zname(r.Stav)) return *h == s.Sha256;
  const std::string cesta = slozka + r.Cesta;
  struct stat st {};
  Popisovac fd(::open(cesta.c_str(), kCteniMistnich));
  if (!fd.Platny() || ::fstat(fd.Fd(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return zaznam.Soucet(fd.Fd(), st) == s.Sha256;
}

// Notes the local file `r` for reading ahead when its bytes decide whether the line `s` is
// unchanged (the line has a SHA-256, the file its size) and the record does not know them.
void KeSpocitani(const InstalovanySoubor& s, const InstalovanySoubor* r, const std::string& slozka,
                 const ZaznamSouctu& zaznam, std::vector<ZaznamSouctu::Videny>& kam) {
  if (r && r->Velikost == s.Velikost && JeSha256(s.Sha256) && !zaznam.Zna(r->Stav))
    kam.push_back({slozka + r->Cesta, r->Stav});
}

// Copies the local file `odkud` (its name in its open folder, or its path from AT_FDCWD) into
// the new folder when it still holds what the line lists; false, with nothing placed, when its
// bytes no longer match the line's SHA-256 or it was written to while it was copied. The copy
// takes the line's time and is recorded with its SHA-256.
bool Zkopirovat(const InstalovanySoubor& s, const ss::CilVeSlozce& odkud,
                const ss::CilVeSlozce& kam, ZaznamSouctu& zaznam) {
  const bool soucet = JeSha256(s.Sha256);
  const std::string& zdroj = odkud.cesta;
  Popisovac fd(::openat(odkud.slozka, odkud.jmeno.c_str(), kCteniMistnich));
  struct stat pred {};
  if (!fd.Platny() || ::fstat(fd.Fd(), &pred) != 0) {
    if (soucet) return false;
    AktualniPolozka = zdroj + "->" + kam.cesta;
    KopirovatSouborDo(zdroj, kam, true);  // fails as a copy fails
  } else {
    if (soucet && (!S_ISREG(pred.st_mode) || zaznam.Soucet(fd.Fd(), pred) != s.Sha256))
      return false;
    AktualniPolozka = zdroj + "->" + kam.cesta;
    // A source written to while it was read is not placed: its bytes may be a mixture.
    if (!KopirovatOtevrenyDo(fd.Fd(), pred, zdroj, kam,
                             soucet ? std::optional<UtcCas>(s.Datum) : std::nullopt, true)) {
      AktualniPolozka.clear();
      return false;
    }
    struct stat hotovo {};
    if (soucet && ::fstatat(kam.slozka, kam.jmeno.c_str(), &hotovo, AT_SYMLINK_NOFOLLOW) == 0)
      zaznam.Zapsat(hotovo, s.Sha256);
  }
  AktualniPolozka.clear();
  return true;
}

// Fetches the folder's snapshot (the one started ahead, when it was), checks it against the
// checksum the signed release information lists and reads it; the installed folder's content
// goes into `slozka` beside it.
SeznamSouboru PripravitSnapshot(const std::string& TempSlozka, const std::string& UrlServeru,
                                const std::string& PuvodniSlozka,
                                const std::vector<std::string>& JenSlozky,
                                const std::optional<std::string>& Sha256Snapshotu,
                                PredstihStahovani* predem, InstalacniSlozka& slozka) {
  Hlasit("Stahování informací o aktualizaci", 0, 100);
  const std::string snapshot = TempSlozka + kSnapshot;
  SmazatJeLiTam(snapshot);
  SmazatJeLiTam(snapshot + ".zip");
  const std::string url = UrlServeru + kSnapshot + ".zip";
  ZeZrcadla(url, predem && predem->Zacato(0), [&](const std::string& adresa, bool znovu) {
    StahnoutARozbalit(adresa, TempSlozka, kSnapshot,
                      "Nepodařilo se stáhnout informace o aktualizaci z internetu.",
                      kBalicekSnapshotu, nullptr, znovu ? nullptr : predem, 0);
    if (Sha256Snapshotu) OveritSnapshot(snapshot, *Sha256Snapshotu, UrlServeru);
  });

  Hlasit("Načítání obsahu instalační složky", 0, 100);
  SeznamSouboru server = slozka.NacistSnapshot(snapshot);
  if (Sha256Snapshotu) OveritSoucty(server, UrlServeru);
  slozka.NacistObsahSlozky(PuvodniSlozka, JenSlozky.empty() ? nullptr : &JenSlozky);
  return server;
}

}  // namespace

SouhrnObnovy OdhadnoutAplikaci(const std::string& TempSlozka, const std::string& UrlServeru,
                               const std::string& PuvodniSlozka,
                               const std::vector<std::string>& JenSlozky,
                               const std::optional<std::string>& Sha256Snapshotu) {
  return PodZdrojem("mMain::OdhadnoutAplikaci", [&] {
    InstalacniSlozka slozka;
    const SeznamSouboru server = PripravitSnapshot(TempSlozka, UrlServeru, PuvodniSlozka, JenSlozky,
                                                   Sha256Snapshotu, nullptr, slozka);
    SmazatJeLiTam(TempSlozka + kSnapshot);
    const auto mistni = slozka.DejObsahSlozky(VsechnySoubory);
    // Files are hashed as a run would hash them; the record is read, never written.
    ZaznamSouctu zaznam(BezLomitka(PuvodniSlozka));
    std::vector<ZaznamSouctu::Videny> precist;
    for (const auto& polozka : server)
      KeSpocitani(*polozka.hodnota, mistni->Najit(polozka.hodnota->Cesta).get(), PuvodniSlozka,
                  zaznam, precist);
    zaznam.SpocitatNaraz(precist);
    SouhrnObnovy s;
    for (const auto& polozka : server) {
      const auto r = mistni->Najit(polozka.hodnota->Cesta);
      if (r && Nezmeneny(*polozka.hodnota, *r, PuvodniSlozka, zaznam)) {
        ++s.zkopirovano;
      } else {
        ++s.stazeno;
        s.bajtu = std::min(
            s.bajtu + std::clamp<std::int64_t>(polozka.hodnota->Velikost, 0, std::int64_t{1} << 50),
            std::int64_t{1} << 50);
      }
    }
    return s;
  });
}

PredstihSnapshotu::PredstihSnapshotu(std::string TempSlozka, const std::string& UrlServeru)
    : temp_(std::move(TempSlozka)), url_(UrlServeru + kSnapshot + ".zip") {}

PredstihSnapshotu::~PredstihSnapshotu() = default;

void PredstihSnapshotu::Zacit() {
  if (zacato_) return;
  zacato_ = true;
  stahovani_ = std::make_unique<PredstihStahovani>(SlozkaPredstihu(temp_, ".snapshot/"), nullptr);
  if (!stahovani_->Zacit(0, AdresaZeZrcadla(url_), kBalicekSnapshotu)) stahovani_.reset();
}

PredstihStahovani* PredstihSnapshotu::Pro(const std::string& UrlServeru) {
  return UrlServeru + kSnapshot + ".zip" == url_ ? stahovani_.get() : nullptr;
}

void AktualizaceAplikace(const std::string& TempSlozka, const std::string& UrlServeru,
                         const std::string& PuvodniSlozka, const std::string& NovaSlozka,
                         const std::vector<std::string>& JenSlozky,
                         const std::optional<std::string>& Sha256Snapshotu,
                         PredstihSnapshotu* snapshotPredem, PredstihSnapshotu* dalsiSnapshot,
                         const UvedeneDelty& uvedeneDelty, SouhrnObnovy* souhrn) {
  SouhrnObnovy bezSouhrnu;
  SouhrnObnovy& pocty = souhrn ? *souhrn : bezSouhrnu;
  PodZdrojem("mMain::AktualizaceAplikace", [&] {
    InstalacniSlozka slozka;
    SeznamSouboru server =
        PripravitSnapshot(TempSlozka, UrlServeru, PuvodniSlozka, JenSlozky, Sha256Snapshotu,
                          snapshotPredem ? snapshotPredem->Pro(UrlServeru) : nullptr, slozka);
    auto mistni = slozka.DejObsahSlozky(VsechnySoubory);

    const auto n = static_cast<std::int32_t>(server.Pocet());
    // What the packages of this snapshot may bring in (sizes capped so as not to
    // overflow; the budget caps them again).
    constexpr std::int64_t kStrop = std::int64_t{1} << 50;
    std::int64_t soucet = 0;
    for (const auto& polozka : server)
      soucet =
          std::min(soucet + std::clamp<std::int64_t>(polozka.hodnota->Velikost, 0, kStrop), kStrop);
    RozpocetStahovani rozpocet(soucet, n);
    // What was received counts whatever the outcome.
    struct Prijato {
      const RozpocetStahovani& r;
      std::int64_t& bajtu;
      ~Prijato() { bajtu += r.Celkem() - r.Zbyva(); }
    } prijato{rozpocet, pocty.bajtu};

    // Which files are downloaded: those the installation has not with the same content
    // (the same bytes where the snapshot lists their SHA-256, else the same time and size).
    // Their downloads go ahead of their turn, in the snapshot's order, several at once;
    // each is placed, reported and checked when its turn comes.
    std::vector<const InstalovanySoubor*> soubory;
    std::vector<std::shared_ptr<InstalovanySoubor>> mistniZaznamy;
    for (const auto& polozka : server) {
      soubory.push_back(polozka.hodnota.get());
      mistniZaznamy.push_back(mistni->Najit(polozka.hodnota->Cesta));
    }
    ZaznamSouctu zaznam(BezLomitka(PuvodniSlozka));
    const bool odkazy = Orezat(CistIni(CestaVolebIni(), "Server", kKlicObnovaOdkazy), " \t") == "1";
    // What was hashed is kept whatever the outcome: a failed run's hashing is not repeated.
    struct Ulozeni {
      ZaznamSouctu& z;
      ~Ulozeni() { z.Ulozit(); }
    } ulozeni{zaznam};
    // A first run reads the whole folder here, on a few threads.
    std::vector<ZaznamSouctu::Videny> precist;
    for (std::size_t i = 0; i < soubory.size(); ++i)
      KeSpocitani(*soubory[i], mistniZaznamy[i].get(), PuvodniSlozka, zaznam, precist);
    zaznam.SpocitatNaraz(precist);
    std::vector<char> kopirovat(soubory.size());
    for (std::size_t i = 0; i < soubory.size(); ++i) {
      OveritPreruseni();
      kopirovat[i] =
          mistniZaznamy[i] && Nezmeneny(*soubory[i], *mistniZaznamy[i], PuvodniSlozka, zaznam);
    }
    // Files the installation has an earlier version of may come as deltas against it.
    DeltySlozky delty(TempSlozka, UrlServeru, uvedeneDelty);
    std::vector<const Delta*> delta(soubory.size());
    for (std::size_t i = 0; i < soubory.size(); ++i)
      if (!kopirovat[i] && mistniZaznamy[i])
        delta[i] = delty.Vybrat(*soubory[i], *mistniZaznamy[i], PuvodniSlozka, zaznam);
    auto archiv = [&](std::size_t i) {
      return UrlServeru + KodovatProUrl(soubory[i]->Cesta, true) + ".zip";
    };
    auto adresa = [&](std::size_t i) {
      return delta[i] ? UrlServeru + KodovatProUrl(delta[i]->Soubor, true) : archiv(i);
    };
    auto meze = [&](std::size_t i) {
      return BalicekSouboru(delta[i] ? delta[i]->Velikost : soubory[i]->Velikost);
    };
    PredstihStahovani predstih(SlozkaPredstihu(TempSlozka, ".predstih/"), &rozpocet);
    std::size_t dalsi = 0;  // the next turn whose download may start ahead
    auto doplnit = [&] {
      for (; dalsi < soubory.size(); ++dalsi)
        if (!kopirovat[dalsi] &&
            !predstih.Zacit(dalsi, AdresaZeZrcadla(adresa(dalsi)), meze(dalsi)))
          break;
      // All of this folder's downloads are under way: the next folder's snapshot may take
      // a place that is free.
      if (dalsiSnapshot && dalsi == soubory.size() && predstih.Probiha() < predstih.Okno())
        dalsiSnapshot->Zacit();
      predstih.Pokracovat();
    };
    predstih.NastavitDoplneni(doplnit);

    // Everything goes into the new folder through descriptors: the folder is opened once,
    // every folder below it is reached without following a link, and each file is placed
    // by its name in its open folder.
    if (!ExistujeSlozka(NovaSlozka)) VytvoritSlozku(NovaSlozka, true);
    const Popisovac koren = OtevritPodslozku(AT_FDCWD, NovaSlozka, "", true);
    std::int32_t k = 0;
    std::string hotovaSlozka = "\n";  // the folder below the new one that is open
    Popisovac slozkaCile;
    // Local files are reached the same way, from their open folder.
    const Popisovac zdrojovyKoren(
        ::open(BezLomitka(PuvodniSlozka).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string zdrojovaSlozka = "\n";
    Popisovac slozkaZdroje;
    // The unchanged files are placed first, on a few threads, while the first downloads run.
    doplnit();
    const std::vector<PolozenoPredem> predem = PolozitNezmenenePredem(
        soubory, mistniZaznamy, kopirovat, PuvodniSlozka,
        zdrojovyKoren.Platny() ? zdrojovyKoren.Fd() : -1, NovaSlozka, koren.Fd(), odkazy);
    for (std::size_t i = 0; i < soubory.size(); ++i) {
      const InstalovanySoubor& s = *soubory[i];
      ++k;
      const auto& r = mistniZaznamy[i];
      if (dalsi < i) dalsi = i;
      doplnit();

      const std::string cil = NovaSlozka + s.Cesta;
      std::string podslozka, jmeno;
      RozdelitCestu(s.Cesta, podslozka, jmeno);
      if (podslozka != hotovaSlozka) {
        slozkaCile = OtevritPodslozku(koren.Fd(), NovaSlozka, podslozka, true);
        hotovaSlozka = podslozka;
      }
      const ss::CilVeSlozce kam{slozkaCile.Fd(), jmeno, cil};

      // A local file that matches only up to letter case is copied from its real name; one
      // that changed since it was looked at is downloaded after all.
      if (kopirovat[i]) {
        Hlasit("Kopíruje se " + s.Cesta, k, n);
        if (predem[i].hotovo) {
          if (JeSha256(s.Sha256)) zaznam.Zapsat(predem[i].st, s.Sha256);
          ++pocty.zkopirovano;
          continue;
        }
        std::string odkud, jmenoZdroje;
        RozdelitCestu(r->Cesta, odkud, jmenoZdroje);
        if (odkud != zdrojovaSlozka && zdrojovyKoren.Platny()) {
          slozkaZdroje = OtevritZdrojovou(zdrojovyKoren.Fd(), odkud);
          zdrojovaSlozka = odkud;
        }
        const std::string zdroj = PuvodniSlozka + r->Cesta;
        const ss::CilVeSlozce ze = slozkaZdroje.Platny() && odkud == zdrojovaSlozka
                                       ? ss::CilVeSlozce{slozkaZdroje.Fd(), jmenoZdroje, zdroj}
                                       : ss::CilVeSlozce{AT_FDCWD, zdroj, zdroj};
        if (Zkopirovat(s, ze, kam, zaznam)) {
          ++pocty.zkopirovano;
          continue;
        }
      }
      Hlasit("Stahuje se nový soubor " + s.Cesta, k, n);
      SmazatJeLiTam(TempSlozka + jmeno);
      // A delta rebuilds the file from the installed one, checked against the line's
      // SHA-256; whatever fails, the whole file comes after it.
      bool zaplatano = false;
      if (delta[i]) {
        const std::string soubor = TempSlozka + jmeno + ".rozdil";
        SmazatJeLiTam(soubor);
        try {
          StahnoutVRozpoctu(AdresaZeZrcadla(adresa(i)), soubor, meze(i), &rozpocet, &predstih, i);
          zaplatano =
              delty.Pouzit(*delta[i], s, PuvodniSlozka + r->Cesta, soubor, TempSlozka + jmeno);
        } catch (const Chyba& c) {
          if (c.JeZruseni()) throw;
          AktualniPolozka.clear();
          SmazatJeLiTam(soubor);
          delty.Zalogovat(s.Cesta, c.what());
        }
      }
      const std::string url = archiv(i);
      // A file whose line lists its SHA-256 is checked against it, signed site or not: it is
      // recorded as having it. A rebuilt file was checked before it was written.
      const bool soucet = JeSha256(s.Sha256);
      const bool predem = !kopirovat[i] && !delta[i] && predstih.Zacato(i);
      if (!zaplatano)
        ZeZrcadla(url, predem, [&](const std::string& a, bool znovu) {
          StahnoutARozbalit(a, TempSlozka, jmeno, "", BalicekSouboru(s.Velikost), &rozpocet,
                            predem && !znovu ? &predstih : nullptr, i);
          if (!Sha256Snapshotu && !soucet) return;
          AktualniPolozka = BezPristupovychUdaju(a) + "->" + TempSlozka + jmeno;
          OveritKontrolniSoucet(
              TempSlozka + jmeno, s.Sha256, BezPristupovychUdaju(a),
              Sha256Snapshotu ? kZPodepsanychInformaci : kZNepodepsanehoSnapshotu);
        });
      AktualniPolozka = TempSlozka + jmeno + "->" + cil;
      PresunoutSouborDo(TempSlozka + jmeno, kam, true);
      AktualniPolozka.clear();
      ++(zaplatano ? pocty.zRozdilu : pocty.stazeno);
      struct stat st {};
      if (soucet && ::fstatat(kam.slozka, kam.jmeno.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        zaznam.Zapsat(st, s.Sha256);
    }
    if (dalsiSnapshot) dalsiSnapshot->Zacit();
  });
}

}  // namespace zevlon
