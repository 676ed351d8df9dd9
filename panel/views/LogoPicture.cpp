#include "LogoPicture.h"

#include "LogCategories.h"
#include "SafeFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>

namespace logo {

QImage Decode(const QString& path, const QSize& size, QString* why) {
    auto fail = [&](const QString& reason) {
        if (why)
            *why = reason;
        return QImage();
    };
    std::string bytes, error;
    if (path.isEmpty())
        return fail(QStringLiteral("no file named"));
    // Only a regular file of bounded size: a FIFO named here must not block.
    if (!safefile::ReadRegular(path.toStdString(), MaxBytes, bytes, &error))
        return fail(QString::fromStdString(error));
    QByteArray data = QByteArray::fromStdString(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize declared = reader.size();
    if (!declared.isValid())
        return fail(QStringLiteral("not a picture this program can read"));
    if (qint64(declared.width()) * declared.height() > MaxPixels)
        return fail(QStringLiteral("%1 x %2 pixels, more than %3")
                        .arg(declared.width())
                        .arg(declared.height())
                        .arg(MaxPixels));
    if (size.isValid())
        reader.setScaledSize(size);
    QImage picture = reader.read();
    if (picture.isNull())
        return fail(reader.errorString());
    return picture;
}

bool TCache::Holds(const QString& path, const QSize& size) const {
    const auto found = FEntries.find(path);
    if (found == FEntries.end() || found->Size != size)
        return false;
    const QFileInfo info(path);
    return found->Modified == info.lastModified().toMSecsSinceEpoch() &&
           found->Bytes == (info.exists() ? info.size() : -1);
}

QImage TCache::Get(const QString& path, const QSize& size) {
    const QFileInfo info(path);
    const qint64 modified = info.lastModified().toMSecsSinceEpoch();
    const qint64 length = info.exists() ? info.size() : -1;
    auto found = FEntries.find(path);
    if (found != FEntries.end() && found->Modified == modified && found->Bytes == length &&
        found->Size == size)
        return found->Picture;
    TEntry entry{modified, length, size, {}, {}};
    ++FDecodes;
    entry.Picture = Decode(path, size, &entry.Why);
    const bool sameFailure = found != FEntries.end() && found->Why == entry.Why;
    if (entry.Picture.isNull() && !sameFailure)
        qCWarning(lcFiles).noquote() << "Cannot use the logo" << path << "(" << entry.Why << ")";
    FEntries.insert(path, entry);
    return entry.Picture;
}

} // namespace logo
