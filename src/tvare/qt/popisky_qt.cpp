#include "tvare/qt/popisky_qt.h"

#include <QLabel>
#include <QStringList>
#include <algorithm>

namespace zevlon {

namespace {

constexpr int kBezMeze = 1 << 20;

int SirkaTextu(const QFontMetrics& pismo, const QString& text) {
  return pismo.boundingRect(QRect(0, 0, kBezMeze, kBezMeze), 0, text).width();
}

QString Zkratit(const QString& text, const QFontMetrics& pismo, int sirka) {
  return SirkaTextu(pismo, text) > sirka ? pismo.elidedText(text, Qt::ElideMiddle, sirka) : text;
}

// Words too wide for a line shortened; the spaces between them kept.
QString ZkratitSlova(const QString& text, const QFontMetrics& pismo, int sirka) {
  QStringList slova = text.split(u' ');
  for (QString& slovo : slova)
    slovo = Zkratit(slovo, pismo, sirka);
  return slova.join(u' ');
}

QString ZkratitRadek(const QString& radek, const QFontMetrics& pismo, int sirka) {
  const QStringList slova = radek.split(u' ');
  const auto prvni =
      std::find_if(slova.begin(), slova.end(), [](const QString& s) { return s.contains(u'/'); });
  if (prvni == slova.end()) return ZkratitSlova(radek, pismo, sirka);
  const auto posledni = std::find_if(slova.rbegin(), slova.rend(), [](const QString& s) {
                          return s.contains(u'/');
                        }).base();
  const QString cesta = QStringList(prvni, posledni).join(u' ');
  if (SirkaTextu(pismo, cesta) <= sirka) return ZkratitSlova(radek, pismo, sirka);
  const QString pred = QStringList(slova.begin(), prvni).join(u' ');
  const QString za = QStringList(posledni, slova.end()).join(u' ');
  QString vysledek;
  if (prvni != slova.begin()) vysledek = ZkratitSlova(pred, pismo, sirka) + u'\n';
  vysledek += pismo.elidedText(cesta, Qt::ElideMiddle, sirka);
  if (posledni != slova.end()) vysledek += u' ' + ZkratitSlova(za, pismo, sirka);
  return vysledek;
}

}  // namespace

void ZalamovanyPopisek(QLabel* l) {
  l->setTextFormat(Qt::PlainText);
  l->setWordWrap(true);
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QString ZkratitCesty(const QString& text, const QFontMetrics& pismo, int sirka) {
  QStringList radky = text.split(u'\n');
  for (QString& radek : radky)
    radek = ZkratitRadek(radek, pismo, sirka);
  return radky.join(u'\n');
}

int NastavitText(QLabel* l, const QString& text, int nejmene, const QString& dovetek) {
  const QMargins okraje = l->contentsMargins();
  const int sirka = l->width() - okraje.left() - okraje.right() - 2 * l->margin();
  const QString zobrazeny = ZkratitCesty(text, l->fontMetrics(), sirka) + dovetek;
  l->setText(zobrazeny);
  l->setToolTip(zobrazeny == text + dovetek ? QString() : text + dovetek);
  const int zarovnani = static_cast<int>(l->alignment()) | Qt::TextWordWrap;
  const int radky =
      l->fontMetrics().boundingRect(QRect(0, 0, sirka, kBezMeze), zarovnani, zobrazeny).height();
  const int vyska = std::max(nejmene, radky + okraje.top() + okraje.bottom() + 2 * l->margin());
  l->resize(l->width(), vyska);
  return vyska;
}

}  // namespace zevlon
