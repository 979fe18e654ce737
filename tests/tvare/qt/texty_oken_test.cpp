// The windows filled with the longest texts the program shows: every label shows its
// sentences whole, inside the window and clear of the other controls; a path wider
// than its label is shortened in the middle and whole in the tooltip.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QStringList>
#include <QTest>
#include <memory>
#include <string>

#include "tvare/moznosti_pripravka.h"
#include "tvare/qt/moznosti_okno.h"
#include "tvare/qt/okno_prubehu.h"
#include "tvare/qt/pole_cesty.h"
#include "tvare/qt/volba_dialog.h"

namespace zevlon {
namespace {

const QString kTriTecky = QStringLiteral("…");

// A folder deep enough to be wider than any of the windows.
const std::string kDlouhaCesta =
    "/srv/merko/Stavební společnost Novák a synové/Účetnictví a mzdy/Archiv let 2009 až "
    "2014/Setup14/Upravy/Doplnky/Tiskové sestavy pro finanční úřad/";

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Where w lies in the window's own coordinates.
QRect VOkne(const QWidget* w, const QWidget* okno) {
  return QRect(w->mapTo(okno, QPoint(0, 0)), w->size());
}

// Every shown label with a text: the text, wrapped as the label wraps it, fits the
// label's contents; the label lies inside the window and overlaps no other label with
// a text and no button.
void OveritPopisky(QWidget& okno) {
  okno.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&okno));
  QApplication::processEvents();
  std::vector<QWidget*> ostatni;
  for (QAbstractButton* b : okno.findChildren<QAbstractButton*>())
    if (b->isVisibleTo(&okno) && VOkne(b, &okno).intersects(okno.rect())) ostatni.push_back(b);
  std::vector<QLabel*> popisky;
  for (QLabel* l : okno.findChildren<QLabel*>())
    if (l->isVisibleTo(&okno) && !l->text().isEmpty()) popisky.push_back(l);
  ASSERT_FALSE(popisky.empty());
  for (QLabel* l : popisky) {
    const std::string jmeno = l->objectName().toStdString() + ": " + l->text().toStdString();
    const QRect obsah = l->contentsRect();
    const int zalomeni = l->wordWrap() ? Qt::TextWordWrap : 0;
    const QRect potreba = l->fontMetrics().boundingRect(
        obsah, static_cast<int>(l->alignment()) | zalomeni, l->text());
    EXPECT_LE(potreba.width(), obsah.width()) << jmeno;
    EXPECT_LE(potreba.height(), obsah.height()) << jmeno;
    EXPECT_TRUE(okno.rect().contains(VOkne(l, &okno))) << jmeno;
    for (QWidget* w : ostatni) {
      EXPECT_FALSE(VOkne(l, &okno).intersects(VOkne(w, &okno)))
          << jmeno << " / " << w->objectName().toStdString();
    }
    for (QLabel* jiny : popisky) {
      if (jiny == l) continue;
      EXPECT_FALSE(VOkne(l, &okno).intersects(VOkne(jiny, &okno)))
          << jmeno << " / " << jiny->objectName().toStdString();
    }
  }
}

// The label shows the whole text, with no tooltip of its own.
void OveritCele(const QLabel* l, const std::string& text) {
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->text(), Q(text));
  EXPECT_TRUE(l->toolTip().isEmpty()) << l->toolTip().toStdString();
}

// The shown text is the text with its paths cut in the middle (each on a line of its
// own); the tooltip holds the whole text.
void OveritZkracene(const QString& text, const QString& tip, const std::string& celyText) {
  EXPECT_EQ(tip, Q(celyText));
  auto jednotne = [](QString s) { return s.replace(u'\n', u' '); };
  const QString cely = jednotne(Q(celyText)), zobrazeny = jednotne(text);
  // What is left of the text between the "…" appears in it in order, from its start
  // to its end.
  const QStringList kusy = zobrazeny.split(kTriTecky);
  ASSERT_GE(kusy.size(), 2) << zobrazeny.toStdString();
  EXPECT_TRUE(cely.startsWith(kusy.front())) << zobrazeny.toStdString();
  EXPECT_TRUE(cely.endsWith(kusy.back())) << zobrazeny.toStdString();
  qsizetype kde = 0;
  for (const QString& kus : kusy) {
    kde = cely.indexOf(kus, kde);
    ASSERT_GE(kde, 0) << kus.toStdString();
    kde += kus.size();
  }
  EXPECT_LT(zobrazeny.size(), cely.size());
}
void OveritZkracene(const QLabel* l, const std::string& text) {
  ASSERT_NE(l, nullptr);
  OveritZkracene(l->text(), l->toolTip(), text);
}

// Storno and Zavřít, whichever is shown, end where the meter above them ends.
void OveritTlacitka(const QWidget& okno) {
  const int prava = VOkne(okno.findChild<QWidget*>("Metr"), &okno).right();
  for (const char* jmeno : {"cmdStorno", "cmdZavrit"}) {
    const auto* b = okno.findChild<QWidget*>(jmeno);
    if (b->isVisibleTo(&okno)) {
      EXPECT_EQ(VOkne(b, &okno).right(), prava) << jmeno;
    }
  }
}

TEST(TextyOkenTest, TheProgressWindowShowsTheClosingAndErrorTextsWholeAndShortensPaths) {
  const std::string podnadpisy[] = {
      "Aktualizace byla stažena, nainstaluje se při příštím spuštění Merka.",
      "Aktualizace sdílených komponent Dunmor Merko",
  };
  const std::string zpravy[] = {
      "Nebyla vybrána žádná složka k aktualizaci. Otevřete možnosti, nastavte složku dat a potom "
      "spusťte program znovu.",
      "Nepodařilo se vyhledat aktualizace, protože není připojen internet. Prosím připojte se k "
      "internetu a opakujte vyhledání.",
      "Nepodařilo se stáhnout informace o aktualizacích. Prosím zkontrolujte firewall, připojení "
      "k internetu a případně ověřte dostupnost služby.",
      "Program se pokouší přistupovat k INI souboru bez uvedení sekce. Nový formát INI souboru "
      "však zadání sekce vyžaduje. Prosím obraťte se na dodavatele se žádostí o aktualizaci.",
  };
  for (const std::string& podnadpis : podnadpisy) {
    for (const std::string& zprava : zpravy) {
      AktualizaceMerka okno;
      okno.ZobrazHlaseni({podnadpis, zprava, true, 420, 1000, false, true});
      OveritPopisky(okno);
      OveritTlacitka(okno);
      OveritCele(okno.findChild<QLabel*>("labPodnadpis"), podnadpis);
      OveritCele(okno.findChild<QLabel*>("labZprava"), zprava);
    }
  }

  // A path, alone or in a sentence, and the error of a step with the item it worked on.
  const std::string cesty[] = {
      kDlouhaCesta + "Merko.exe",
      "Stahuje se nový soubor " + kDlouhaCesta +
          "Merko.exe – 12,3\u00a0MB z 130,0\u00a0MB, 1,0\u00a0MB/s, zbývá 1\u00a0min 53\u00a0s",
      "Načítání obsahu instalační složky " + kDlouhaCesta,
      "Nelze zapsat do souboru " + kDlouhaCesta +
          "Zevlon.ini .\nZkontrolujte cestu a oprávnění pro zápis do tohoto souboru.\nSoubor: " +
          kDlouhaCesta + "Zevlon.ini",
  };
  for (const std::string& zprava : cesty) {
    AktualizaceMerka okno;
    okno.ZobrazHlaseni({"Stahování aktualizace programu Merko", zprava, true, 1, 3, true, false});
    OveritPopisky(okno);
    OveritTlacitka(okno);
    OveritZkracene(okno.findChild<QLabel*>("labZprava"), zprava);
    // A download's file name stays beside its sizes.
    if (zprava.find("MB/s") != std::string::npos) {
      EXPECT_TRUE(okno.findChild<QLabel*>("labZprava")->text().contains(u"Merko.exe – 12,3"));
    }
  }
  // The next short message is whole again, without the tooltip.
  AktualizaceMerka okno;
  okno.ZobrazHlaseni({"", cesty[0], true, 1, 3, true, false});
  okno.ZobrazHlaseni({"", "Dokončeno", true, 3, 3, false, true});
  OveritPopisky(okno);
  OveritCele(okno.findChild<QLabel*>("labZprava"), "Dokončeno");
}

TEST(TextyOkenTest, TheChoiceDialogShowsTheWholeQuestionForALongProfileName) {
  const std::string otazka =
      "Aktualizovat Merko v profilu Stavební společnost Novák a synové, s. r. o., pobočka "
      "Olomouc – účetnictví 2014?";
  const std::string vydani = "Vydání v profilu 20131201. Na internetu je vydání 20140301.";
  const ParametryVolby pripady[] = {
      {otazka + "@" + vydani, "", "Ano - stáhnout aktualizaci;Ne - nyní nestahovat", "", 0, "",
       false},
      {otazka + "@" + vydani, "",
       "Ano - stáhnout aktualizaci@Stáhne se jen to, co se změnilo@Potom se nainstaluje při "
       "příštím spuštění;Ne - nyní nestahovat",
       "Aktualizace se nainstaluje při příštím spuštění Merka. Do té doby pracujete s vydáním, "
       "které máte.",
       0, "Na tento profil se příště neptat", true},
  };
  for (const ParametryVolby& p : pripady) {
    MsgVolbaDialog d;
    d.Sestavit(p);
    OveritPopisky(d);
    OveritCele(d.findChild<QLabel*>("labHlavniInstrukce"), otazka);
    OveritCele(d.findChild<QLabel*>("labSekundarniInstrukce"), vydani);
  }
}

class TextyMoznostiTest : public test::MoznostiPripravka {};

TEST_F(TextyMoznostiTest, TheOptionsWindowShowsItsLabelsWholeAndALongFolderInTheTooltip) {
  s_.Zapsat("program/Zevlon.ini", "[Nastaveni]\r\nSlozkaDat=" + kDlouhaCesta +
                                      "\r\nCas=06:00\r\nCetnost=Týdně\r\nDen=Středa\r\n");
  MoznostiAktualizace okno;
  OveritPopisky(okno);
  const auto* profily = okno.findChild<QComboBox*>("comProfily");
  ASSERT_NE(profily, nullptr);
  EXPECT_EQ(profily->currentText(), Q(kDlouhaCesta));
  // Not being edited, the field shows the folder cut in the middle.
  const auto* pole = dynamic_cast<const PoleCesty*>(profily->lineEdit());
  ASSERT_NE(pole, nullptr);
  EXPECT_FALSE(pole->hasFocus());
  OveritZkracene(pole->ZobrazenyText(), profily->toolTip(), kDlouhaCesta);
}

}  // namespace
}  // namespace zevlon
