#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

// The operator's log: one line per routing action, appended to a text file
// with local time to the millisecond. At MaxBytes the file is rotated (name.1
// is the newest old one); Keep files are kept in all. A write failure never
// stops the caller; it is reported once through OnFailure.
class TOperatorLog {
public:
    static constexpr qint64 DefaultMaxBytes = 10 * 1024 * 1024;
    static constexpr int DefaultKeep = 5;

    explicit TOperatorLog(QString fileName, qint64 maxBytes = DefaultMaxBytes,
                          int keep = DefaultKeep);

    // Appends "time  action  details"; line breaks in the texts become " / ".
    bool Append(const QString& action, const QString& details);
    const QString& FileName() const { return FFileName; }

    // The time source; tests set a fixed one.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
    std::function<void(const QString& why)> OnFailure;

    static QString Line(const QDateTime& when, const QString& action, const QString& details);

private:
    bool Rotate();
    void Fail(const QString& why);

    QString FFileName;
    qint64 FMaxBytes;
    int FKeep;
    bool FReported = false;
};
