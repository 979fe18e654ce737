// Pictures of the three windows for the documentation, drawn without a display:
//   zevlon_snimky <folder>
// writes okno-prubehu.png, volba.png and moznosti.png into the folder.
#include <QApplication>
#include <QImage>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/planovac.h"
#include "platform/platforma.h"
#include "tvare/qt/moznosti_okno.h"
#include "tvare/qt/okno_prubehu.h"
#include "tvare/qt/volba_dialog.h"

namespace {

namespace fs = std::filesystem;

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
    Zapsat("Zevlon/Zevlon.ini",
           "[Nastaveni]\r\nSlozkaDat=/srv/merko/Firma/\r\nCas=06:00\r\nCetnost=Týdně\r\n"
           "Den=Středa\r\n");
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
  {
    zevlon::AktualizaceMerka okno;
    zevlon::HlaseniPrubehu h;
    h.podnadpis = "Stahování aktualizace programu Merko";
    h.zprava = "Setup14/Merko/Merko.exe";
    h.zmenitMetr = true;
    h.hotovo = 420;
    h.celkem = 1000;
    h.stornoZobrazeno = true;
    okno.ZobrazHlaseni(h);
    ok = Ulozit(okno, slozka + "/okno-prubehu.png") && ok;
  }
  {
    zevlon::MsgVolbaDialog dialog;
    zevlon::ParametryVolby p;
    p.zprava =
        "Aktualizovat Merko v profilu Firma?@Vydání v profilu 20131201. Na internetu je vydání "
        "20140301.";
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
  zevlon::NastavitPlanovac(nullptr);
  return ok ? 0 : 1;
}
