// Pictures of the three windows for the documentation, drawn without a display:
//   zevlon_snimky <folder>
// writes okno-prubehu.png, volba.png and moznosti.png into the folder.
#include <QApplication>
#include <QImage>
#include <QTest>
#include <cstdio>
#include <string>

#include "platform/planovac.h"
#include "support/falesna_platforma.h"
#include "support/sandbox.h"
#include "ui/qt/moznosti_okno.h"
#include "ui/qt/okno_prubehu.h"
#include "ui/qt/volba_dialog.h"

namespace {

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

  // An installed suite with two profiles and saved options, all in a sandbox.
  zevlon::test::Sandbox s;
  zevlon::test::FalesnaPlatforma platforma;
  platforma.program = s.Zapsat("Zevlon/Zevlon", "");
  platforma.registr =
      s.Zapsat("registry.reg",
               "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Dunmor\\Merko\\14.0\\Aplikace]\r\n"
               "\"Slozka_Merka\"=\"/opt/Merko14\"\r\n");
  s.Zapsat("Zevlon/Zevlon.ini",
           "[Nastaveni]\r\nSlozkaDat=/srv/merko/Firma/\r\nCas=06:00\r\nCetnost=Týdně\r\n"
           "Den=Středa\r\n");
  zevlon::Planovac planovac(s.Vytvorit("cron"));
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
