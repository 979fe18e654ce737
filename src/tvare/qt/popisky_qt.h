// Labels that carry the program's texts: plain text wrapped at words to the label's
// width and the label made as high as its lines. A path wider than the label (on each
// line, from the first word with a "/" to the last one, spaces included) goes on a
// line of its own shortened in the middle, as does any other word too wide for a
// line; the tooltip then holds the whole text.
#pragma once

#include <QFontMetrics>
#include <QString>

class QLabel;

namespace zevlon {

// Makes l a label of wrapped plain text, aligned to the top left.
void ZalamovanyPopisek(QLabel* l);

// Puts text into l, which keeps its width and takes the height the wrapped text
// needs, at least nejmene pixels; `dovetek` follows the text as it is, its paths never
// shortened nor taken for a part of the text's. Answers the new height.
int NastavitText(QLabel* l, const QString& text, int nejmene, const QString& dovetek = {});

// The text as a label sirka pixels wide shows it: paths and words wider than that
// shortened in the middle ("…").
QString ZkratitCesty(const QString& text, const QFontMetrics& pismo, int sirka);

}  // namespace zevlon
