#include "OperatorLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

QString OneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" / "));
    for (QChar& c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char('/');
    return text;
}

} // namespace

TOperatorLog::TOperatorLog(QString fileName, qint64 maxBytes, int keep)
    : FFileName(std::move(fileName)), FMaxBytes(std::max<qint64>(maxBytes, 1)),
      FKeep(std::max(keep, 1)) {}

QString TOperatorLog::Line(const QDateTime& when, const QString& action, const QString& details) {
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QStringLiteral("  ") +
           OneLine(action) + QStringLiteral("  ") + OneLine(details) + QLatin1Char('\n');
}

bool TOperatorLog::Rotate() {
    auto name = [this](int k) {
        return k == 0 ? FFileName : FFileName + QLatin1Char('.') + QString::number(k);
    };
    QFile::remove(name(FKeep - 1));
    for (int k = FKeep - 2; k >= 0; --k)
        if (QFile::exists(name(k)) && !QFile::rename(name(k), name(k + 1)))
            return false;
    return true;
}

bool TOperatorLog::Append(const QString& action, const QString& details) {
    const QByteArray bytes = Line(Now(), action, details).toUtf8();
    const QFileInfo info(FFileName);
    if (info.exists() && info.size() > 0 && info.size() + bytes.size() > FMaxBytes && !Rotate()) {
        Fail(QStringLiteral("cannot rotate it"));
        return false;
    }
    QFile f(FFileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        Fail(f.errorString());
        return false;
    }
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        Fail(f.errorString());
        return false;
    }
    return true;
}

void TOperatorLog::Fail(const QString& why) {
    if (FReported)
        return;
    FReported = true;
    if (OnFailure)
        OnFailure(why);
}
