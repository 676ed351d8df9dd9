#include "QuotedInput.h"

QString QuotedInput(const QString& text, int maxChars) {
    QString out;
    int shown = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (shown >= maxChars)
            return out + QStringLiteral("...");
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\x%1").arg(static_cast<unsigned>(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
        ++shown;
    }
    return out;
}
