#include "MainWindow.h"

#include "Field.h"
#include "IpText.h"
#include "LogCategories.h"
#include "MessageBox.h"
#include "OperatorLog.h"

#include <QStringList>

namespace {

QString Quoted(const QString& name) {
    return name.isEmpty() ? QString() : QStringLiteral(" \"") + name + QLatin1Char('"');
}

} // namespace

// "L1 VIDEO 127.0.0.1 level 1": the panel's level, its switcher and its address there.
QString TMainWindow::LevelPlace(int k) const {
    const auto i = static_cast<std::size_t>(k);
    return QStringLiteral("L%1 %2 %3 level %4")
        .arg(k)
        .arg(QString::fromStdString(FLevelNames[i]))
        .arg(QString::fromStdString(FormatIP(FLevelIP[i])))
        .arg(FLevelAddress[i]);
}

void TMainWindow::LogRoute(const QString& action, int row, const TLevelValues& before,
                           const TLevelValues& after) {
    if (!FOperatorLog)
        return;
    QStringList parts;
    for (int k = 1; k <= std::min(FLevelCount, 4); ++k) {
        const int input = after[static_cast<std::size_t>(k - 1)];
        if (input != before[static_cast<std::size_t>(k - 1)])
            parts << LevelPlace(k) + QStringLiteral(": in ") + QString::number(input + 1) +
                         Quoted(Field->GetInputName(input));
    }
    if (parts.isEmpty())
        return;
    FOperatorLog->Append(action, QStringLiteral("out ") + QString::number(row + 1) +
                                     Quoted(Field->GetOutputName(row)) + QStringLiteral(" <- ") +
                                     parts.join(QStringLiteral("; ")));
}

void TMainWindow::LogLocks(int row, const TLevelValues& before, const TLevelValues& after) {
    if (!FOperatorLog)
        return;
    QStringList parts;
    for (int k = 1; k <= std::min(FLevelCount, 4); ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        if (after[i] != before[i])
            parts << LevelPlace(k) +
                         (after[i] ? QStringLiteral(" locked") : QStringLiteral(" unlocked"));
    }
    if (!parts.isEmpty())
        FOperatorLog->Append(QStringLiteral("LOCK"),
                             QStringLiteral("out ") + QString::number(row + 1) +
                                 Quoted(Field->GetOutputName(row)) + QStringLiteral(": ") +
                                 parts.join(QStringLiteral("; ")));
}

void TMainWindow::LogMonitor(const TLevelValues& before, const TLevelValues& after) {
    if (!FOperatorLog)
        return;
    QStringList parts;
    for (int k = 1; k <= std::min(FLevelCount, 4); ++k) {
        const int o = after[static_cast<std::size_t>(k - 1)];
        if (o != before[static_cast<std::size_t>(k - 1)])
            parts << LevelPlace(k) + QStringLiteral(": out ") + QString::number(o + 1) +
                         Quoted(Field->GetOutputName(o));
    }
    if (!parts.isEmpty())
        FOperatorLog->Append(QStringLiteral("MONITOR"), parts.join(QStringLiteral("; ")));
}

void TMainWindow::LogTake(bool ignoreLocks) {
    if (!FOperatorLog)
        return;
    // What the TAKE changes: per level, the outputs whose preset differs.
    const std::uint32_t control = Field->GetControl();
    QStringList parts;
    for (int k = 1; k <= std::min(FLevelCount, 4); ++k) {
        if (!LevelFlag(control, k))
            continue;
        QStringList routes;
        for (int o = 0; o < Field->GetOutputCount(); ++o) {
            const int p = Field->GetPreset(o)[static_cast<std::size_t>(k - 1)];
            if (p != Field->GetStatus(o)[static_cast<std::size_t>(k - 1)])
                routes << QStringLiteral("out %1%2 <- in %3%4")
                              .arg(o + 1)
                              .arg(Quoted(Field->GetOutputName(o)))
                              .arg(p + 1)
                              .arg(Quoted(Field->GetInputName(p)));
        }
        if (!routes.isEmpty())
            parts << LevelPlace(k) + QStringLiteral(": ") + routes.join(QStringLiteral(", "));
    }
    FOperatorLog->Append(
        ignoreLocks ? QStringLiteral("TAKE ignoring locks") : QStringLiteral("TAKE"),
        parts.isEmpty() ? QStringLiteral("no preset differs") : parts.join(QStringLiteral("; ")));
}
