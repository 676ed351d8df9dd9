#include "Look.h"

#include <QStringList>

void InstallFontSubstitutions() {
    const QStringList sans{QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")};
    const QStringList mono{QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitutions(QStringLiteral("Small Fonts"), sans);
    QFont::insertSubstitutions(QStringLiteral("Verdana"), sans);
    QFont::insertSubstitutions(QStringLiteral("Courier New"), {QStringLiteral("Liberation Mono"),
                                                               QStringLiteral("DejaVu Sans Mono")});
    QFont::insertSubstitutions(QStringLiteral("Lucida Console"), mono);
}

QFont MakeFont(const char* family, int pixelHeight, bool bold) {
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(pixelHeight);
    f.setBold(bold);
    return f;
}
