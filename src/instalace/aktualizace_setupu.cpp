#include "instalace/aktualizace_setupu.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/adresa.h"
#include "common/cas.h"
#include "common/chyba.h"
#include "instalace/aktualizace_profilu.h"
#include "instalace/kontrola_po_aktualizaci.h"
#include "instalace/navrat.h"
#include "instalace/vymena.h"
#include "platform/nahrady/platforma.h"
#include "platform/procesy/ucty.h"
#include "platform/soubory/souborovy_system.h"
#include "platform/soubory/soukromy_temp.h"
#include "prenos/podpisy/klice_webu.h"
#include "prenos/podpisy/overeni.h"
#include "prenos/stahovani/informace_vydani.h"
#include "prenos/stahovani/stahovani.h"
#include "prenos/stahovani/zrcadlo.h"
#include "rozhrani/pomucky.h"
#include "rozhrani/prubeh.h"
#include "rozhrani/rozhrani.h"
#include "rozhrani/stav.h"
#include "soubory/cesty.h"
#include "soubory/duvera.h"
#include "soubory/log.h"
#include "soubory/operace_slozek.h"
#include "soubory/operace_souboru.h"
#include "soubory/pravo.h"
#include "soubory/volby.h"
#include "soubory/zamky_slozek.h"

namespace zevlon {

namespace {

constexpr const char* kNeovereno =
    "Vydání z aktualizačního webu nejsou ověřována: v Zevlon.ini není nastaven veřejný klíč "
    "(VerejnyKlic v sekci Server).";

// Whether the site's updater version is a whole number above this updater's. Anything
// else (empty, text, a sign, a lower number) starts no self-update.
bool NovejsiZevlon(const std::string& verze) {
  if (verze.empty() || verze.find_first_not_of("0123456789") != std::string::npos) return false;
  const std::size_t cislice = verze.find_first_not_of('0');
  if (cislice == std::string::npos) return false;
  if (verze.size() - cislice > 9) return true;
  return std::stol(verze.substr(cislice)) > kVerzeZevlonu;
}

// The release of the program folders of the setup folders, the highest of them; empty
// when none carries one.
std::string NainstalovaneVydani(const std::vector<std::string>& setupy) {
  std::string nejvyssi;
  for (const std::string& s : setupy) {
    std::string v = CistIni(s + "Merko/Merko.ini", "Merko", "Release");
    if (!v.empty() && (nejvyssi.empty() || PorovnatVydani(v, nejvyssi) > 0)) nejvyssi = v;
  }
  return nejvyssi;
}

// A site that offers an older release than the installed one (a replayed or frozen site)
// installs nothing, unless the options allow it: the refusal goes to the transfer log and,
// when someone can read it, to a message. Answers whether it refused.
bool OdmitnoutStarsi(const std::string& vydani, const std::string& nainstalovano) {
  if (nainstalovano.empty() || PorovnatVydani(vydani, nainstalovano) >= 0) return false;
  if (CistIni(CestaVolebIni(), "Server", "PovolitStarsi") == "1") return false;
  const std::string text = "Vydání " + vydani +
                           " na aktualizačním webu je starší než nainstalované vydání " +
                           nainstalovano + ", aktualizace nebyla provedena.";
  ZapsatDoLogu(kPrenosovyLog, text);
  ZobrazZpravu(text, mb::kOk | mb::kInformace, kTitulekAktualizace);
  return true;
}

// "dwnld_" + local year, month, day, hour, minute, minute, second + ".8": the minute
// twice, as the sibling folders of earlier runs were named.
std::string NazevBehu(Okamzik kdy) {
  std::string r = MistniRazitko14(kdy);  // YYYYMMDDHHNNSS
  return "dwnld_" + r.substr(0, 12) + r.substr(10, 2) + r.substr(12, 2) + ".8";
}

// The run's folder in the private temp folder, always made anew: a folder of the name
// (an earlier run of the same second) is never taken over, the next second's name is
// tried instead. Answers the folder and sets the run name.
std::string NovaSlozkaBehu(const std::string& temp, std::string& beh) {
  const Okamzik ted = platforma().Ted();
  for (int i = 0; i < 100; ++i) {
    beh = NazevBehu(ted + std::chrono::seconds(i));
    const std::string slozka = temp + beh + "/";
    ss::Vysledek v = ss::VytvoritSlozku(slozka);
    if (v.kod == EEXIST) continue;
    // Any other failure gets the usual message and retry question.
    if (!v.Uspech()) VytvoritSlozku(slozka, true);
    return slozka;
  }
  AktualniPolozka = temp;
  VyvolatChybu("Ve složce " + temp + " se nepodařilo vytvořit novou složku pro stahování.");
}

void SmazatJeLiTam(const std::string& soubor) {
  if (!ExistujeSoubor(soubor)) return;
  AktualniPolozka = soubor;
  SmazatSoubor(soubor, true);
  AktualniPolozka.clear();
}

void Uklid() {
  for (const std::string& slozka : DocasneSlozky) {
    try {
      if (ExistujeSlozka(slozka)) SmazatSlozku(BezLomitka(slozka), !RezimSystem);
    } catch (...) {
      // Clean-up never fails the run.
    }
  }
}

bool Samoaktualizace(const std::string& ini, const std::string& temp,
                     const NastaveniOvereni& overeni) {
  const std::string adresa = CistIni(ini, "Merko", "Url");
  const std::string n = JmenoProgramu() + kPriponaSpustitelna;
  const std::string p = SlozkaProgramu();
  ZobrazPrubeh("", "Stahuje se nový soubor " + n, 0, 100, 0, true, false);
  SmazatJeLiTam(temp + n);
  const std::string url = adresa + "SetupCommon/" + n + ".zip";
  ZeZrcadla(url, false, [&](const std::string& odkud, bool) {
    StahnoutARozbalit(odkud, temp, n, "");
    if (!overeni.Zapnuto()) return;
    // Nothing unverified is copied beside the program, made executable or started.
    AktualniPolozka = BezPristupovychUdaju(odkud);
    const std::string soucet = CistIni(ini, "Merko", "ZevlonSha256");
    if (soucet.empty())
      VyvolatChybu("Podepsané informace o vydání neuvádějí kontrolní součet souboru " +
                   AktualniPolozka + ".");
    OveritKontrolniSoucet(temp + n, soucet, AktualniPolozka);
    AktualniPolozka.clear();
  });
  // The new updater must keep to what this one verified, and take this program's place.
  ZapsatIni(ini, "Merko", kKlicOvereno, overeni.Zapnuto() ? "1" : "0");
  ZapsatIni(ini, "Merko", kKlicPuvodnihoProgramu, n);
  const std::string novy = p + "/" + kNovyZevlon + kPriponaSpustitelna;
  SmazatJeLiTam(novy);
  AktualniPolozka = temp + n + "->" + novy;
  KopirovatSoubor(temp + n, novy, true);
  AktualniPolozka.clear();
  // A program file must be executable here, whatever the archive said.
  ::chmod(novy.c_str(), 0755);
  if (std::error_code e = platforma().SpustitProces(novy, {ini}))
    VyvolatChybu("Nový program " + novy +
                 " se nepodařilo spustit: " + ss::ChybaSystemu(e.value(), novy).popis);
  try {
    // The release information may lie in the run's fresh temp folder: the new updater
    // takes the folder over with it.
    PredatTempBehu(ini);
    Ui().Zavrit();
  } catch (...) {
    // From the start of the new updater on, nothing may stop this one from ending.
  }
  return false;
}

// Starts the site's newer updater in this one's place when it is due; answers whether it
// did. A new updater never starts another one: a site whose version is above its own
// would otherwise have each start the next.
bool SpustitNovejsiZevlon(const std::string& ini, const std::string& temp,
                          const NastaveniOvereni& overeni) {
  const std::string verzeZevlonu = CistIni(ini, "Merko", "ZevlonVerze");
  if (JmenoProgramu() == kNovyZevlon || !NovejsiZevlon(verzeZevlonu)) return false;
  // The package manager updates a packaged program; the site's newer one is only noted.
  if (!platforma().ZBalicku()) {
    Samoaktualizace(ini, temp, overeni);
    return true;
  }
  ZapsatDoLogu(kPrenosovyLog, "Aktualizační web nabízí novější program aktualizace (ZevlonVerze " +
                                  verzeZevlonu +
                                  "); program nainstalovaný z balíčku se sám nenahrazuje, "
                                  "aktualizuje jej správce balíčků.");
  return false;
}

bool Provest(const std::string& ini, const PredaniVlastnikovi& predat, ZamkySlozek& zamky,
             SouhrnObnovy& souhrn) {
  ZobrazPrubeh("Příprava aktualizace", "Kontrola instalačních složek", 0, 100, 0, true, false);
  // Download folders of this user's earlier runs that were killed; the run's lock keeps
  // any other run of this user out of the private folder.
  SmazatZbytkyBehu(SlozkaTempBehu() + "/", "");
  std::string beh;
  const std::string temp = NovaSlozkaBehu(SlozkaTempBehu() + "/", beh);
  DocasneSlozky.push_back(temp);
  const std::string profil = CistIni(ini, "Merko", "SlozkaProfilu");
  const std::string vydani = CistIni(ini, "Merko", "Release");
  const NastaveniOvereni overeni = NastaveniOvereniWebu();
  // Root renews only a profile that only root can change; nothing of another user's
  // profile is read here: its owner's process takes it over, once root has seen to its
  // own program.
  if (const uid_t vlastnik = KdoAktualizuje(profil); vlastnik != ::geteuid()) {
    if (SpustitNovejsiZevlon(ini, temp, overeni)) {
      souhrn.novyProgram = true;
      return false;
    }
    if (!predat)
      VyvolatChybu("Profil " + profil + " patří uživateli " + JmenoUctu(vlastnik) +
                   ", proto jej root neaktualizuje.");
    return predat(vlastnik, ini, souhrn);
  }
  if (!overeni.Zapnuto()) {
    // A new updater that lost the keys of the one that started it (another options file,
    // a build without the built-in key) never installs what that one would have checked.
    if (JmenoProgramu() == kNovyZevlon && CistIni(ini, "Merko", kKlicOvereno) == "1")
      VyvolatChybu("Informace o vydání byly ověřeny podpisem, ale nový program " +
                   platforma().CestaProgramu() + " nemá v " + CestaVolebIni() +
                   " veřejný klíč, proto aktualizaci neprovede.");
    ZapsatDoLogu(kPrenosovyLog, kNeovereno);
  }

  const SlozkySetupu slozky = NajitSlozkySetupu(profil);
  const std::string &setup = slozky.setup, &setup14 = slozky.setup14;
  std::string sdilena = slozky.sdilena;
  OveritSlozkyProfilu(profil, KontrolovaneSlozky(profil, slozky), platforma().ZaVlastnika());
  // Every folder the run may change is locked before anything in them is removed or
  // built, and stays locked until the last sibling is gone: another run that reached the
  // same installation another way (another user's run, another profile naming the same
  // shared folder) waits or stops, and never takes this run's siblings for leftovers.
  {
    std::vector<std::string> zamknout{sdilena};
    for (const std::string& sl : {setup, setup14, setup + "Upravy/", setup14 + "Upravy/",
                                  profil + "Setup/Upravy/", profil + "Setup14/Upravy/"})
      if (ExistujeSlozka(sl) || ExistujeSlozka(BezLomitka(sl) + "_old/")) zamknout.push_back(sl);
    zamky.Zamknout(zamknout);
  }

  // An older run that was stopped in the middle of a swap may have left a program or
  // shared folder only under its backup's name, and its sibling folders behind. The
  // add-ons are optional (a missing folder may have been removed on purpose), so their
  // backup is put back only where a sibling folder shows that a run was renewing them.
  for (const std::string& sl : {setup, setup14}) {
    if (!ExistujeSlozka(sl)) continue;
    ObnovitPrerusenouVymenu(sl + "Merko/", sl + "Merko_old/");
    SmazatZbytkyBehu(sl, "Merko");
  }
  for (const std::string& sl : {setup, setup14, profil + "Setup/", profil + "Setup14/"})
    if (ExistujeSlozka(sl) && MaZbytkyBehu(sl, "Upravy")) {
      // The backup goes back before the leftovers that show it was being renewed go, so
      // that a run stopped in between still finds the sign next time.
      ObnovitPrerusenouVymenu(sl + "Upravy/", sl + "Upravy_old/");
      SmazatZbytkyBehu(sl, "Upravy");
    }
  // The shared folder's backup lies in the profile folder or, across file systems, beside it.
  if (!ObnovitPrerusenouVymenu(sdilena, profil + "SetupCommon_old/"))
    ObnovitPrerusenouVymenu(sdilena, BezLomitka(sdilena) + "_old/");
  {
    std::string rodic, jmeno;
    RozdelitCestu(BezLomitka(sdilena), rodic, jmeno);
    if (!rodic.empty()) SmazatZbytkyBehu(rodic, jmeno);
  }
  // A way back that a stopped run left half done is completed before anything else.
  DokoncitNavrat(profil, slozky);
  // Only now does the program folder show the release installed, when an interrupted
  // swap had left it under its backup's name.
  souhrn.vydaniPred = souhrn.vydaniPo = NainstalovaneVydani({setup, setup14});
  if (OdmitnoutStarsi(vydani, souhrn.vydaniPred)) {
    souhrn.odmitnuto = true;
    return false;
  }
  // A release that a way back refused, and any below it, waits for a newer one.
  if (const std::string r = OdmitnuteVydani(slozky); !r.empty() && PorovnatVydani(vydani, r) <= 0) {
    ZapsatDoLogu(kPrenosovyLog, "Vydání " + r + " bylo vráceno, čeká se na novější; vydání " +
                                    vydani + " z aktualizačního webu nebylo nainstalováno.");
    souhrn.vraceno = r;
    return false;
  }
  if (SpustitNovejsiZevlon(ini, temp, overeni)) {
    souhrn.novyProgram = true;
    return false;
  }

  const bool s = ExistujeSlozka(setup), s14 = ExistujeSlozka(setup14);
  if (!s && !s14)
    VyvolatChybu("Nelze aktualizovat profil " + profil +
                 ", protože v něm nebyla nalezena instalace Merka.");
  const std::string bezPrava =
      "Nelze stáhnout aktualizaci, protože chybí oprávnění k aktualizaci složky ";
  if (s && !MaPravoAktualizovat(setup)) VyvolatChybu(bezPrava + setup);
  if (s14 && !MaPravoAktualizovat(setup14)) VyvolatChybu(bezPrava + setup14);
  if (!ExistujeSlozka(sdilena)) {
    AktualniPolozka = sdilena;
    VytvoritSlozku(sdilena, true);
    AktualniPolozka.clear();
  }
  if (!MaPravoAktualizovat(sdilena)) VyvolatChybu(bezPrava + sdilena);
  if (!ExistujeSlozka(sdilena + "System/")) {
    AktualniPolozka = sdilena + "System/";
    VytvoritSlozku(sdilena + "System/", true);
    AktualniPolozka.clear();
  }

  if (s) {
    AktualizaceProfilu(profil, setup, vydani, temp, ini, beh, sdilena, overeni, &souhrn);
    sdilena.clear();  // the shared components are renewed by the first call only
  }
  if (s14 && !StopPrislaPozde())
    AktualizaceProfilu(profil, setup14, vydani, temp, ini, beh, sdilena, overeni, &souhrn);
  souhrn.vydaniPo = NainstalovaneVydani({setup, setup14});
  if (!StopPrislaPozde()) KontrolovatPoAktualizaci(profil, slozky, souhrn);
  // A release above the refused one is installed: the refusal has done its work.
  if (!StopPrislaPozde()) ZrusitOdmitnutiVydani(profil);
  return true;
}

}  // namespace

SlozkySetupu NajitSlozkySetupu(const std::string& profil) {
  auto slozka = [&](const char* klic, const char* vychozi) {
    std::string s = PridatLomitko(CistIni(profil + "Merko.ini", "Merko", klic));
    return s.empty() ? profil + vychozi : s;
  };
  return {slozka("Slozka_Setup", "Setup/"), slozka("Slozka_Setup14", "Setup14/"),
          slozka("Slozka_Setup_Common", "SetupCommon/")};
}

std::vector<std::string> KontrolovaneSlozky(const std::string& profil, const SlozkySetupu& s) {
  // The live folders that the run renames or rebuilds, and the profile's own setup folders,
  // whose customisation is renewed too, with the setup folders themselves.
  return {s.setup,
          s.setup14,
          s.sdilena,
          s.setup + "Merko/",
          s.setup + "Upravy/",
          s.setup14 + "Merko/",
          s.setup14 + "Upravy/",
          profil + "Setup/",
          profil + "Setup14/",
          profil + "Setup/Upravy/",
          profil + "Setup14/Upravy/"};
}

bool AktualizaceSetupDunmor(const std::string& iniAktualizace, const PredaniVlastnikovi& predat,
                            SouhrnObnovy* souhrn) {
  DocasneSlozky.clear();
  // Held until the run's own siblings are gone.
  ZamkySlozek zamky;
  SouhrnObnovy bezSouhrnu;
  try {
    bool vysledek = Provest(iniAktualizace, predat, zamky, souhrn ? *souhrn : bezSouhrnu);
    Uklid();
    return vysledek;
  } catch (const std::exception& e) {
    Chyba c = JakoChyba(e);
    Uklid();
    throw Chyba(c.Cislo(), c.Popis(), "mMain::AktualizaceSetupDunmor");
  }
}

}  // namespace zevlon
