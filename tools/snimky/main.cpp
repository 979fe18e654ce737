// Pictures of the three windows for the documentation, drawn without a display:
//   zevlon_snimky <folder>
// writes okno-prubehu.png (during a run), okno-prubehu-konec.png (the closing
// heading), okno-prubehu-chyba.png (an error), volba.png and moznosti.png into the
// folder, each with the longest texts of its kind, and terminal.txt: the terminal's
// status line for the reports of a run at 80 and 50 columns.
#include <QApplication>
#include <QImage>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/nahrady/platforma.h"
#include "platform/planovani/planovac.h"
#include "rozhrani/prubeh.h"
#include "tvare/qt/moznosti_okno.h"
#include "tvare/qt/okno_prubehu.h"
#include "tvare/qt/volba_dialog.h"
#include "tvare/terminal/stavovy_radek.h"

namespace {

namespace fs = std::filesystem;

// A profile of a long name whose data lie deeper than any of the windows is wide.
constexpr const char* kDlouhyProfil =
    "Stavební společnost Novák a synové, s. r. o., pobočka Olomouc – účetnictví 2014";
const std::string kHlubokaSlozka =
    "/srv/merko/Stavební společnost Novák a synové/Účetnictví a mzdy/Archiv let 2009 až "
    "2014/Setup14/Upravy/Doplnky/Tiskové sestavy pro finanční úřad/";

// A demo installation in a temporary folder, removed with the object: the program
// file and its options, and a registry file naming an installed suite.
class Ukazka : public zevlon::Platforma {
 public:
  Ukazka() {
    std::string vzor = (fs::temp_directory_path() / "zevlon-snimky.XXXXXX").string();
    if (::mkdtemp(vzor.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    slozka_ = vzor;
    fs::create_directories(slozka_ / "Zevlon");
    fs::create_directories(slozka_ / "cron");
    Zapsat("Zevlon/Zevlon", "");
    Zapsat("Zevlon/Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=" + kHlubokaSlozka +
                                    "\r\nCas=06:00\r\nCetnost=Týdně\r\nDen=Středa\r\n");
    Zapsat("registry.reg",
           "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
           "\"Slozka_Merka\"=\"/opt/Merko14\"\r\n");
    zevlon::NastavitPlatformu(this);
  }
  ~Ukazka() override {
    zevlon::NastavitPlatformu(nullptr);
    std::error_code e;
    fs::remove_all(slozka_, e);
  }
  Ukazka(const Ukazka&) = delete;
  Ukazka& operator=(const Ukazka&) = delete;

  std::string CestaProgramu() override { return (slozka_ / "Zevlon/Zevlon").string(); }
  std::string CestaRegistru() override { return (slozka_ / "registry.reg").string(); }
  std::string Cron() const { return (slozka_ / "cron").string(); }

 private:
  void Zapsat(const char* cesta, const std::string& obsah) {
    std::ofstream(slozka_ / cesta, std::ios::binary) << obsah;
  }
  fs::path slozka_;
};

// Keeps the message line of the last progress report.
class PosledniZprava : public zevlon::TicheRozhrani {
 public:
  PosledniZprava() { zevlon::NastavitUi(this); }
  ~PosledniZprava() override { zevlon::NastavitUi(nullptr); }
  PosledniZprava(const PosledniZprava&) = delete;
  PosledniZprava& operator=(const PosledniZprava&) = delete;
  void Prubeh(const zevlon::HlaseniPrubehu& h) override { zprava = h.zprava; }
  std::string zprava;
};

// The message of a report as the run makes it, with the progress of a download when
// prijato is above 0.
std::string Zprava(const std::string& nadpis, const std::string& zprava, std::int64_t prijato,
                   std::int64_t celkem, double rychlost) {
  PosledniZprava ui;
  zevlon::ZobrazPrubeh(nadpis, zprava, 0, 0, -1, true, false);
  if (prijato > 0) zevlon::ZobrazPrubehSouboru(prijato, celkem, rychlost);
  return ui.zprava;
}

bool Ulozit(QWidget& okno, const std::string& soubor) {
  okno.show();
  if (!QTest::qWaitForWindowExposed(&okno)) return false;
  QApplication::processEvents();
  const bool ok = okno.grab().save(QString::fromStdString(soubor), "PNG");
  std::printf("%s %s\n", ok ? "zapsáno" : "CHYBA", soubor.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Použití: zevlon_snimky <složka>\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const std::string slozka = argv[1];
  QApplication aplikace(argc, argv);

  Ukazka ukazka;
  zevlon::Planovac planovac(ukazka.Cron());
  zevlon::NastavitPlanovac(&planovac);

  bool ok = true;
  // The progress window with the longest texts of a run: a file being downloaded into a
  // folder deeper than the window is wide, the closing heading, and an error that ends
  // the run.
  const std::string nadpis = "Aktualizace sdílených komponent Dunmor Merko";
  const std::string stahovani =
      Zprava(nadpis, "Stahuje se nový soubor " + kHlubokaSlozka + "Priznani_k_dani_2014.rpt",
             12'345'678, 130'000'000, 1'048'576);
  const zevlon::HlaseniPrubehu hlaseni[] = {
      {nadpis, stahovani, true, 420, 1000, true, false},
      {"Aktualizace byla stažena, nainstaluje se při příštím spuštění Merka.", "", true, 0, 0,
       false, true},
      {"Příprava aktualizace",
       "Nepodařilo se stáhnout informace o aktualizacích. Prosím zkontrolujte firewall, "
       "připojení k internetu a případně ověřte dostupnost služby.",
       true, 0, 0, false, true},
  };
  const char* const soubory[] = {"okno-prubehu.png", "okno-prubehu-konec.png",
                                 "okno-prubehu-chyba.png"};
  for (std::size_t k = 0; k < std::size(hlaseni); ++k) {
    zevlon::AktualizaceMerka okno;
    okno.ZobrazHlaseni(hlaseni[k]);
    ok = Ulozit(okno, slozka + "/" + soubory[k]) && ok;
  }
  {
    zevlon::MsgVolbaDialog dialog;
    zevlon::ParametryVolby p;
    p.zprava = "Aktualizovat Merko v profilu " + std::string(kDlouhyProfil) +
               "?@Vydání v profilu 20131201. Na internetu je vydání 20140301.";
    p.volby = "Ano - stáhnout aktualizaci@Stáhne se jen to, co se změnilo;Ne - nyní nestahovat";
    p.poznamka = "Aktualizace se nainstaluje při příštím spuštění Merka.";
    p.textZaskrtavatka = "Na tento profil se příště neptat";
    dialog.Sestavit(p);
    ok = Ulozit(dialog, slozka + "/volba.png") && ok;
  }
  {
    zevlon::MoznostiAktualizace moznosti;
    ok = Ulozit(moznosti, slozka + "/moznosti.png") && ok;
  }
  {
    // The terminal: the same download of a short path and of a deep one, and the folder
    // being read.
    const std::string zpravy[] = {
        Zprava(nadpis, "Stahuje se nový soubor Common/Merko.Data.dll", 1'234'567, 30'000'000, 1e6),
        stahovani,
        Zprava(nadpis, "Načítání obsahu instalační složky " + kHlubokaSlozka, 0, 0, 0),
    };
    std::ofstream text(slozka + "/terminal.txt", std::ios::binary);
    for (const int sirka : {80, 50}) {
      text << sirka << " sloupců:\n";
      for (const std::string& zprava : zpravy)
        text << zevlon::StavovyRadek(nadpis, zprava, true, 420, 1000, sirka) << "\n";
    }
    ok = text.flush().good() && ok;
    std::printf("%s %s/terminal.txt\n", ok ? "zapsáno" : "CHYBA", slozka.c_str());
  }
  zevlon::NastavitPlanovac(nullptr);
  return ok ? 0 : 1;
}
