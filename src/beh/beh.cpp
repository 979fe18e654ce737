#include "beh/beh.h"
#include "soubory/volby.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>

#include "beh/drzeni.h"
#include "beh/kontrola_voleb.h"
#include "beh/metriky.h"
#include "beh/nasazeni.h"
#include "beh/nastaveni_prenosu.h"
#include "beh/profily.h"
#include "beh/vlastnik/vlastnik.h"
#include "beh/vydani.h"
#include "beh/zamek.h"
#include "beh/zaznam_behu.h"
#include "common/adresa.h"
#include "common/chyba.h"
#include "common/text.h"
#include "instalace/aktualizace_setupu.h"
#include "instalace/navrat.h"
#include "platform/http/http.h"
#include "platform/nahrady/ini.h"
#include "platform/nahrady/platforma.h"
#include "platform/procesy/ukonceni.h"
#include "platform/soubory/soubor.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/soukromy_temp.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/podpisy/overeni.h"
#include "prenos/stahovani/stahovani.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "rozhrani/stav.h"
#include "soubory/cesty.h"
#include "soubory/duvera.h"
#include "soubory/log.h"
#include "soubory/operace_souboru.h"
#include "soubory/pravo.h"
#include "soubory/zamky_slozek.h"

namespace zevlon {

namespace {

constexpr const char* kPriprava = "Příprava aktualizace";
constexpr const char* kStazeno =
    "Aktualizace byla stažena, nainstaluje se při příštím spuštění Merka.";
constexpr const char* kNebylaVybrana =
    "Nebyla vybrána žádná složka k aktualizaci. Otevřete možnosti, nastavte složku dat a potom "
    "spusťte program znovu.";
constexpr const char* kNeniInternet =
    "Nepodařilo se vyhledat aktualizace, protože není připojen internet. Prosím připojte se k "
    "internetu a opakujte vyhledání.";
constexpr const char* kNespusteno = "Dočasnou kopii programu se nepodařilo spustit: ";
constexpr const char* kNestazeno =
    "Nepodařilo se stáhnout informace o aktualizacích. Prosím zkontrolujte firewall, připojení "
    "k internetu a případně ověřte dostupnost služby.";

// The new updater has carried out the install step: it takes the place of the program
// that started it (named in the release information it was handed) for good, in one
// rename, so that the next run does not fetch it again. A failure leaves the old
// program in place and goes to the error log.
void ZaujmoutMisto(const std::string& ini) {
  std::string jmeno = CistIni(ini, "Merko", kKlicPuvodnihoProgramu);
  if (jmeno.empty() || jmeno.find('/') != std::string::npos || jmeno == "." || jmeno == ".." ||
      jmeno == std::string(kNovyZevlon) + kPriponaSpustitelna)
    jmeno = std::string(kTitulProgramu) + kPriponaSpustitelna;
  const std::string novy = platforma().CestaProgramu();
  const std::string cil = SlozkaProgramu() + "/" + jmeno;
  if (::rename(novy.c_str(), cil.c_str()) != 0) {
    ZapsatChybuBehu("Nový program " + novy + " se nepodařilo přejmenovat na " + cil + ": " +
                        ss::ChybaSystemu(errno, novy).popis,
                    novy);
    return;
  }
  // The new program keeps its place after a power cut only once the file and its folder
  // are on the disk.
  Popisovac f(::open(cil.c_str(), O_RDONLY | O_CLOEXEC));
  ss::Vysledek v = f.Platny() && ::fsync(f.Fd()) == 0 ? ss::ZapsatSlozkuNaDisk(SlozkaProgramu())
                                                      : ss::ChybaSystemu(errno, cil);
  if (!v.Uspech())
    ZapsatChybuBehu("Nový program " + cil + " se nepodařilo zapsat na disk: " + v.popis, cil);
}

// The profile's folder that the saved options name, ending with "/"; "" when none.
std::string SlozkaDatZVoleb() {
  std::string slozkaDat = CistIni(CestaVolebIni(), "Nastaveni", "SlozkaDat");
  if (!slozkaDat.empty()) {
    if (slozkaDat.back() != '/')
      slozkaDat += '/';
    else if (KonciNa(slozkaDat, "//"))
      slozkaDat.pop_back();
  }
  return slozkaDat;
}

class Beh {
 public:
  Beh(const AktualizaceSetup& aktualizaceSetup, std::optional<VolbyNavratu> navrat = {})
      : aktualizaceSetup_(aktualizaceSetup), vratit_(navrat) {}
  int Spustit(const std::string& prikazovyRadek);

 private:
  // Runs one step of the run. An error goes to the handler: on Opakovat the step
  // runs again; otherwise the run ends and the answer is false.
  template <typename F>
  bool Krok(F&& krok);
  // Decides what an error does; true when the user asked to repeat the step.
  bool Osetrit(const Chyba& c);
  bool Beh_(const std::string& prikazovyRadek);
  // The run's line in Zevlon.log and its state file; answers the line.
  std::string Zaznamenat();
  void Dokoncit();
  void Zavrit() { zavrit_ = true; }
  bool ZTempu() const { return StejnyText(SlozkaProgramu() + "/", temp_); }
  // Everything the run fetches, unpacks or starts lies in a folder that only this user
  // can change. A fresh folder (the usual one's name was taken) comes with the argument:
  // the copy started with "Hotovo" lies in it, a new updater gets a file in it.
  void ZvolitTemp(const std::string& predana);
  // Release information given on the command line is verified only as far as it lies in
  // the run's private temp folder, where the updater that verified it handed it over.
  void OveritPredaneInformace(const std::string& ini) const;
  // The way back from the last update instead of the install step.
  bool Vratit();

  const AktualizaceSetup& aktualizaceSetup_;
  const std::optional<VolbyNavratu> vratit_;
  TempBehu tempBehu_;
  ZamekBehu zamek_;
  std::string temp_;
  std::string chybovaZprava_;
  bool zavrit_ = false;
  int navrat_ = kNavratUspech;
  // For the run's record.
  bool zaznamenat_ = false;
  // The run's state file is another run's while that one holds the lock.
  bool stavJeJiny_ = false;
  Okamzik zacatek_{};
  std::string rezim_, profil_, vysledek_, chyba_, podrobnost_, vydaniWebu_;
  SouhrnObnovy souhrn_;
};

template <typename F>
bool Beh::Krok(F&& krok) {
  for (;;) {
    try {
      krok();
      return true;
    } catch (const std::exception& e) {
      if (!Osetrit(JakoChyba(e))) return false;
    }
  }
}

bool Beh::Osetrit(const Chyba& c) {
  // A stop asked from outside ends a question as Storno: whatever the box then answered
  // (a yes/no box has no Storno), the run was cancelled.
  const bool zruseni = c.JeZruseni() || UkonceniVyzadano();
  chyba_ = zruseni ? std::string() : c.Popis();
  if (RezimSystem) {
    chybovaZprava_ = c.Popis();
    ZapsatChybuBehu(c.Popis(), AktualniPolozka);
    navrat_ = zruseni ? kNavratZruseno : kNavratChyba;
    Zavrit();
    return false;
  }
  if (zruseni) {
    // Said where the run was watched, and logged as an unattended run logs it.
    chybovaZprava_ = kTextPreruseno;
    ZapsatChybuBehu(kTextPreruseno, AktualniPolozka);
    navrat_ = kNavratZruseno;
    Zavrit();
    return false;
  }
  chybovaZprava_ = c.Popis();
  navrat_ = kNavratChyba;
  // Logged as an unattended run logs it, before the box that may end the run.
  ZapsatChybuBehu(c.Popis(), AktualniPolozka);
  if (!AktualniPolozka.empty()) {
    chybovaZprava_ += "\r\nSoubor: " + AktualniPolozka;
    if (ZobrazZpravu(chybovaZprava_, mb::kOpakovatStorno | mb::kKriticka, kTitulekAktualizace) ==
        mb::kIdOpakovat) {
      chybovaZprava_.clear();
      chyba_.clear();
      navrat_ = kNavratUspech;
      return true;
    }
    return false;
  }
  ZobrazZpravu(chybovaZprava_, mb::kOk | mb::kKriticka, kTitulekAktualizace);
  return false;
}

void Beh::ZvolitTemp(const std::string& predana) {
  if (!tempBehu_.Prevzit(predana)) tempBehu_.Zvolit();
  temp_ = tempBehu_.Slozka() + "/";
}

void Beh::OveritPredaneInformace(const std::string& ini) const {
  if (!NastaveniOvereniWebu().Zapnuto()) return;
  std::string slozka, jmeno;
  RozdelitCestu(ini, slozka, jmeno);
  if (!StejnyText(PridatLomitko(slozka), temp_))
    VyvolatChybu("Soubor " + ini +
                 " neleží v soukromé dočasné složce běhu, proto jej nelze ověřit podpisem. "
                 "Aktualizace nebyla provedena.");
}

int Beh::Spustit(const std::string& prikazovyRadek) {
  zacatek_ = platforma().Ted();
  (void)Beh_(prikazovyRadek);
  if (zaznamenat_) {
    const std::string radek = Zaznamenat();
    // Where nobody watches, a failure says itself where administrators look (the journal,
    // cron's mail); a success says nothing.
    if (RezimSystem && navrat_ != kNavratUspech) std::fprintf(stderr, "%s\n", radek.c_str());
  }
  Dokoncit();
  return navrat_;
}

std::string Beh::Zaznamenat() {
  ZaznamBehu z;
  z.zacatek = zacatek_;
  z.konec = platforma().Ted();
  z.rezim = rezim_;
  z.profil = profil_;
  z.navrat = navrat_;
  z.souhrn = souhrn_;
  z.podrobnost = podrobnost_;
  z.vydaniWebu = vydaniWebu_;
  if (navrat_ == kNavratZruseno) {
    z.vysledek = vysledky::kZruseno;
  } else if (navrat_ != kNavratUspech && chyba_ == kUzBezi) {
    z.vysledek = vysledky::kJinyBeh;
  } else if (navrat_ != kNavratUspech) {
    z.vysledek = vysledky::kChyba;
    z.chyba = chyba_;
  } else if (!vysledek_.empty()) {
    z.vysledek = vysledek_;
  } else {
    z.vysledek = souhrn_.slozek > 0 ? vysledky::kAktualizovano : vysledky::kAktualni;
  }
  ZaznamenatBeh(z, !stavJeJiny_);
  if (!stavJeJiny_) ZapsatMetriky(z);
  return RadekZaznamu(z);
}

bool Beh::Beh_(const std::string& prikazovyRadek) {
  std::string prikaz(Orezat(prikazovyRadek, " \t"));
  if (!Krok([&] { ZobrazPrubeh(kPriprava, "", 0, 1, 0, false, false); })) return false;
  // Unattended: started as the system account, or with no one to ask (a user's own job
  // without a terminal and without a display).
  RezimSystem = StejnyText(JmenoUzivatele(), "System") || Ui().BezObsluhy();
  rezim_ = RezimSystem ? "bez obsluhy" : Ui().NaTerminalu() ? "na terminálu" : "v okně";

  if (StejnyText(prikaz, kHotovo)) {
    try {
      ZvolitTemp(SlozkaProgramu());
    } catch (const std::exception&) {
      // Only the Options button depends on it here.
    }
    if (ZTempu()) Ui().SkrytMoznosti();
    return Krok([&] { ZobrazPrubeh(kStazeno, "", 0, 0, 0, false, true); });
  }
  // A file named on the command line that does not exist: nothing is done, nothing recorded,
  // and the person who mistyped it is told.
  if (!prikaz.empty() && !ExistujeSoubor(prikaz)) {
    std::fprintf(stderr, "Soubor %s neexistuje, nic nebylo provedeno.\n", prikaz.c_str());
    Zavrit();
    return true;
  }
  // Every run from here on has its record, the copy giving the closing message alone not.
  zaznamenat_ = true;
  // Before anything is read or touched: root trusts only places that only root can change,
  // and a second run at the same time ends here.
  if (!Krok([] { OveritMistaRoota(); })) return false;
  OznamitNeznameVolby();
  if (!Krok([] { OveritPovinnyKlic(); })) return false;
  if (!Krok([] {
        if (const std::string z = ChybaZrcadla(CestaVolebIni()); !z.empty()) VyvolatChybu(z);
        for (const std::string& z :
             {ChybaProxy(CestaVolebIni()), ChybaMaxRychlosti(CestaVolebIni())})
          if (!z.empty()) VyvolatChybu(z);
      }))
    return false;
  NastavitPrenosy();
  if (!Krok([&] { zamek_.Zamknout(kCekaniNaZamek); })) {
    stavJeJiny_ = true;
    return false;
  }
  // From here on the state file says that this run goes on.
  ZaznamenatZacatek(zacatek_);
  if (!Krok([&] {
        std::string slozka, jmeno;
        if (!prikaz.empty()) RozdelitCestu(prikaz, slozka, jmeno);
        ZvolitTemp(slozka);
      }))
    return false;
  if (ZTempu()) Ui().SkrytMoznosti();
  if (vratit_) return Vratit();

  const bool zPrikazoveRadky = !prikaz.empty();
  if (prikaz.empty()) {
    const std::string adresa = AdresaWebu();
    const std::string mistni = temp_ + kSouborVydani;
    std::string& vydaniWebu = vydaniWebu_;
    bool pripojeno = true;
    if (!Krok([&] { pripojeno = JePripojenInternet(adresa); })) return false;
    if (!pripojeno && RezimSystem && JenNaSiti()) {
      vysledek_ = vysledky::kBezPripojeni;
      return true;
    }
    if (!pripojeno && !Krok([] { VyvolatChybu(kNeniInternet); })) return false;
    if (ExistujeSoubor(mistni) && !Krok([&] {
          AktualniPolozka = mistni;
          SmazatSoubor(mistni, true);
          AktualniPolozka.clear();
        }))
      return false;
    if (!Krok([&] { StahnoutInformace(adresa, mistni); })) return false;
    if (!Krok([&] {
          if (!ExistujeSoubor(mistni)) VyvolatChybu(kNestazeno);
          AktualniPolozka.clear();
          vydaniWebu = CistVydaniWebu(mistni);
          // The release notes' link follows only release information that was verified.
          if (NastaveniOvereniWebu().Zapnuto())
            if (const auto odkaz = OdkazZmen(mistni)) Ui().NastavitOdkazZmen(*odkaz);
        }))
      return false;

    std::string slozkaDat;
    bool zruseno = false;
    if (!Krok([&] {
          // Saved options decide; an options file that only names the update site
          // leaves the choice to the profile list.
          const std::string volby = CestaVolebIni();
          if (ExistujeSoubor(volby) && ini::CistSekci(volby, "Nastaveni")) {
            slozkaDat = SlozkaDatZVoleb();
            return;
          }
          VolbaProfilu v = VybratProfil(vydaniWebu);
          zruseno = v.druh == VolbaProfilu::Druh::kZruseno;
          slozkaDat = v.slozka;
        }))
      return false;
    if (zruseno) {
      navrat_ = kNavratZruseno;
      Zavrit();
      return false;
    }
    // Unattended, no profile to update is a fault of the configuration, not a success.
    if (slozkaDat.empty() && RezimSystem) return Krok([] { VyvolatChybu(kNebylaVybrana); });
    if (slozkaDat.empty()) {
      vysledek_ = vysledky::kBezProfilu;
      return Krok([&] { ZobrazPrubeh("", kNebylaVybrana, 0, 1, 0, false, true); });
    }
    ZapsatIni(mistni, "Merko", "SlozkaProfilu", slozkaDat);
    prikaz = mistni;
  }

  // The install step.
  if (prikaz.empty() || !ExistujeSoubor(prikaz)) {
    vysledek_ = vysledky::kNicNeprovedeno;
    return true;
  }
  profil_ = CistIni(prikaz, "Merko", "SlozkaProfilu");
  if (vydaniWebu_.empty()) vydaniWebu_ = CistIni(prikaz, "Merko", "Release");
  if (zPrikazoveRadky && !Krok([&] { OveritPredaneInformace(prikaz); })) return false;
  // Root decides whether this machine takes the release (its hold, its wave) before anything
  // else is done, and before it starts an owner's process.
  const std::string vydani = CistIni(prikaz, "Merko", "Release");
  std::string duvod, drzeno;
  const std::string vProfilu = profil_.empty() ? std::string() : VydaniProfilu(profil_, duvod);
  int procento = 100;
  bool mimoVlnu = false;
  if (!Krok([&] {
        drzeno = DrzeneVydani();
        procento = ProcentoNasazeni(prikaz);
        // Release information handed over on the command line (by the updater that decided,
        // before it started the new one) is past its wave.
        mimoVlnu = !zPrikazoveRadky && procento < 100 && PorovnatVydani(vydani, vProfilu) > 0 &&
                   MistoNasazeni(IdentitaStroje(), vydani) >= procento;
      }))
    return false;
  if (!drzeno.empty() && PorovnatVydani(vydani, drzeno) > 0) {
    vysledek_ = vysledky::kDrzeno;
    podrobnost_ = drzeno;
    souhrn_.vydaniPred = souhrn_.vydaniPo = vProfilu;
    return Krok([&] {
      ZobrazPrubeh("",
                   "Počítač je držen na vydání " + drzeno + " (" + kKlicDrzetVydani +
                       " v Zevlon.ini), vydání " + vydani + " se neinstaluje.",
                   0, 1, 0, false, true);
    });
  }
  const std::string vlna = "Vydání " + vydani + " se nasazuje postupně (vlna nasazení " +
                           std::to_string(procento) + " %) a tento počítač na ně ještě nepřišel";
  if (mimoVlnu && RezimSystem) {
    vysledek_ = vysledky::kOdlozenoVlna;
    podrobnost_ = std::to_string(procento) + " %";
    souhrn_.vydaniPred = souhrn_.vydaniPo = vProfilu;
    return true;
  }
  // Add-ons whose own wave has not come stay as they are; only root's word counts, in every
  // run that fetched the release information itself.
  if (!zPrikazoveRadky && !Krok([&] {
        ZapsatIni(prikaz, "Merko", kKlicMimoVlnu,
                  RezimSystem ? DoplnkyMimoVlnu(prikaz, [] { return IdentitaStroje(); }) : "");
      }))
    return false;
  // A person who started the run installs at once, told that the machine's turn has not come.
  if (mimoVlnu && !Krok([&] {
        ZobrazZpravu(vlna + " na řadu; instaluje se hned, protože aktualizaci spustil uživatel.",
                     mb::kOk | mb::kInformace, kTitulekAktualizace);
      }))
    return false;
  bool pokracovat = true;
  if (!Krok([&] { pokracovat = VarovaniZmenyDat(prikaz); })) return false;
  if (!pokracovat) {
    vysledek_ = vysledky::kBezZmenyDat;
    Zavrit();
    return false;
  }
  if (!aktualizaceSetup_) return true;
  if (!Krok([&] { pokracovat = aktualizaceSetup_(prikaz, souhrn_); })) return false;
  if (!pokracovat) {
    vysledek_ = !souhrn_.vraceno.empty() ? vysledky::kVracenoCeka
                : souhrn_.odmitnuto      ? vysledky::kOdmitnuto
                                         : vysledky::kNovyProgram;
    Zavrit();
    return false;
  }
  if (JmenoProgramu() == kNovyZevlon) ZaujmoutMisto(prikaz);
  if (RezimSystem) return true;
  if (ZTempu()) return Krok([&] { ZobrazPrubeh(kStazeno, "", 1, 0, 0, true, false); });
  // A packaged program file is the package manager's to replace, so nothing needs it
  // free: this process gives the closing message itself.
  if (platforma().ZBalicku())
    return Krok([&] { ZobrazPrubeh(kStazeno, "", 0, 0, 0, false, true); });

  // Handover to a copy in the temp folder, so that the program file is free.
  const std::string program = platforma().CestaProgramu();
  const std::string kopie = temp_ + JmenoProgramu() + kPriponaSpustitelna;
  if (ExistujeSoubor(kopie)) {
    try {
      SmazatSoubor(kopie, true);
    } catch (const Chyba&) {
      // A copy that is still running keeps its file; checked just below.
    }
  }
  if (ExistujeSoubor(kopie)) {
    Zavrit();
    return false;
  }
  if (!Krok([&] {
        AktualniPolozka = program + "->" + kopie;
        KopirovatSoubor(program, kopie, true);
        AktualniPolozka.clear();
      }))
    return false;
  // At a terminal the copy speaks there, and the prompt comes back after its closing
  // message; elsewhere it shows its own window and nothing waits for it.
  const std::error_code e = Ui().NaTerminalu() ? platforma().SpustitNaTerminalu(kopie, {kHotovo})
                                               : platforma().SpustitProces(kopie, {kHotovo});
  if (e) {
    // The copy cannot run (a temp folder mounted noexec, say): the download is done all
    // the same, so this process gives the closing message and keeps the reason.
    ZapsatChybuBehu(kNespusteno + ss::ChybaSystemu(e.value(), kopie).popis, kopie);
    return Krok([&] { ZobrazPrubeh(kStazeno, "", 0, 0, 0, false, true); });
  }
  PredatTempBehu(kopie);
  Zavrit();
  return true;
}

bool Beh::Vratit() {
  profil_ = SlozkaDatZVoleb();
  if (profil_.empty()) return Krok([] { VyvolatChybu(kNebylaVybrana); });
  const std::string ini = temp_ + "vratit.ini";
  if (!Krok([&] {
        const std::string text = std::string("[Merko]\r\nSlozkaProfilu=") + profil_ + "\r\n[" +
                                 kSekceNavratu + "]\r\n" + kKlicAno + "=" +
                                 (vratit_->ano ? "1" : "0") + "\r\n" + kKlicPresZmenuDat + "=" +
                                 (vratit_->presZmenuDat ? "1" : "0") + "\r\n";
        if (int e = ZapsatSouborAtomicky(ini, text))
          VyvolatChybu("Soubor " + ini +
                       " se nepodařilo zapsat: " + ss::ChybaSystemu(e, ini).popis);
        aktualizaceSetup_(ini, souhrn_);
      }))
    return false;
  vysledek_ = vysledky::kVraceno;
  return Krok([&] {
    ZobrazPrubeh("", "Profil byl vrácen na vydání " + souhrn_.vydaniPo + ".", 0, 0, 0, false, true);
  });
}

void Beh::Dokoncit() {
  if (!chybovaZprava_.empty()) {
    try {
      ZobrazPrubeh("", chybovaZprava_, -1, 0, 0, false, true);
    } catch (const Chyba&) {
      // A Storno pressed earlier must not hide the error; the window shows it anyway.
    }
  }
  if (zavrit_ || RezimSystem) {
    Ui().Zavrit();
  } else {
    Ui().Obnovit();
    Ui().CekatNaZavreni();
  }
}

}  // namespace

int Main(const std::string& prikazovyRadek, const AktualizaceSetup& aktualizaceSetup) {
  // A file-size limit fails the write that crosses it, as a full disk does, instead of
  // killing the run in the middle of building a folder.
  std::signal(SIGXFSZ, SIG_IGN);
  // SIGTERM (and SIGINT where the face does not take it) stops the run as Storno does.
  ZachytavatUkonceni();
  return Beh(aktualizaceSetup).Spustit(prikazovyRadek);
}

int MainNavratu(const VolbyNavratu& volby, const AktualizaceSetup& navrat) {
  std::signal(SIGXFSZ, SIG_IGN);
  ZachytavatUkonceni();
  return Beh(navrat, volby).Spustit("");
}

}  // namespace zevlon
