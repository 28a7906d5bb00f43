#include "app/ProgramFont.h"

#include <QString>

QFont ProgramFont() {
    QFont font(QStringLiteral("Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    font.setStretch(QFont::Condensed);
    return font;
}
