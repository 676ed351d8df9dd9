#pragma once

#include <QHash>
#include <QImage>
#include <QString>

// Logos of inputs and outputs: files named in the INI, read with care.
namespace logo {

// A logo file is a regular file of at most this many bytes...
constexpr int MaxBytes = 4 << 20;
// ...declaring at most this many pixels in its header: a small file may
// declare a huge picture, which is refused before anything is decoded.
constexpr qint64 MaxPixels = 16'000'000;

// Decodes the picture at path, scaled while decoding to `size` when that is
// valid (the whole picture otherwise). A null image, with the reason in `why`,
// for anything that is not a readable, decodable picture within the limits.
QImage Decode(const QString& path, const QSize& size, QString* why = nullptr);

// Each distinct file decoded once per size: a file is known by its path, its
// modification time and its length. A file that cannot be used is reported
// once (a warning) per path and reason, however many cells name it.
class TCache {
public:
    QImage Get(const QString& path, const QSize& size);
    // Whether Get would answer from the cache, without decoding.
    bool Holds(const QString& path, const QSize& size) const;
    int Decodes() const { return FDecodes; }

private:
    struct TEntry {
        qint64 Modified = 0, Bytes = -1;
        QSize Size;
        QImage Picture;
        QString Why;
    };
    QHash<QString, TEntry> FEntries;
    int FDecodes = 0;
};

} // namespace logo
