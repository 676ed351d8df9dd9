#include "OperatorLog.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    if (info.isFile() && info.size() > 0 && info.size() + bytes.size() > FMaxBytes && !Rotate()) {
        Fail(QStringLiteral("cannot rotate it"));
        return false;
    }
    // Opened without blocking and kept only when it is a regular file: a FIFO
    // or a device named as the log must never stall the GUI thread.
    const int fd = ::open(QFile::encodeName(FFileName).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(QStringLiteral("not a regular file"));
        return false;
    }
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t w = ::write(fd, p, static_cast<std::size_t>(left));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            const int err = errno;
            ::close(fd);
            Fail(QString::fromLocal8Bit(std::strerror(w < 0 ? err : ENOSPC)));
            return false;
        }
        p += w;
        left -= w;
    }
    if (::close(fd) != 0) {
        Fail(QString::fromLocal8Bit(std::strerror(errno)));
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
