#include "Session.h"

#include "Index.h"
#include "IpText.h"
#include "OperatorLog.h"

#include <QStringList>

namespace {

QString Quoted(const QString& name) {
    return name.isEmpty() ? QString() : QStringLiteral(" \"") + name + QLatin1Char('"');
}

} // namespace

void TSession::Log(const QString& action, const QString& details) {
    if (FOperatorLog)
        FOperatorLog->Append(FLogSource.isEmpty()
                                 ? action
                                 : action + QStringLiteral(" (") + FLogSource + QLatin1Char(')'),
                             details);
}

void TSession::LogNameChange(TNames::TSide side, int index) {
    const bool input = side == TNames::TSide::Input;
    if (index < 0) {
        Log(QStringLiteral("NAMES"),
            input ? QStringLiteral("inputs imported") : QStringLiteral("outputs imported"));
        return;
    }
    const QString name = FNames.Name(side, index);
    Log(QStringLiteral("NAME"), (input ? QStringLiteral("in ") : QStringLiteral("out ")) +
                                    QString::number(index + 1) +
                                    (name.isEmpty() ? QStringLiteral(" unnamed") : Quoted(name)));
}

// "L1 VIDEO 127.0.0.1 level 1": the panel's level, its switcher and its address there.
QString TSession::LevelPlace(int k) const {
    return QStringLiteral("L%1 %2 %3 level %4")
        .arg(k)
        .arg(QString::fromStdString(FLevels.Names[Ix(k)]))
        .arg(QString::fromStdString(FormatIP(FLevels.IP[Ix(k)])))
        .arg(FLevels.Address[Ix(k)]);
}

void TSession::LogAction(TOperatorAction action, int row, const TLevelValues& before,
                         const TLevelValues& after) {
    const int levels = std::min(FLevels.Count, 4);
    QStringList parts;
    for (int k = 1; k <= levels; ++k) {
        const int now = after[Ix(k - 1)];
        if (now == before[Ix(k - 1)])
            continue;
        switch (action) {
        case TOperatorAction::Status:
        case TOperatorAction::KeypadStatus:
            parts << LevelPlace(k) + QStringLiteral(": in ") + QString::number(now + 1) +
                         Quoted(InputName(now));
            break;
        case TOperatorAction::Lock:
            parts << LevelPlace(k) +
                         (now ? QStringLiteral(" locked") : QStringLiteral(" unlocked"));
            break;
        case TOperatorAction::Monitor:
            parts << LevelPlace(k) + QStringLiteral(": out ") + QString::number(now + 1) +
                         Quoted(OutputName(now));
            break;
        }
    }
    if (parts.isEmpty())
        return;
    const QString out = QStringLiteral("out ") + QString::number(row + 1) + Quoted(OutputName(row));
    switch (action) {
    case TOperatorAction::Status:
    case TOperatorAction::KeypadStatus:
        Log(action == TOperatorAction::Status ? QStringLiteral("ON LINE")
                                              : QStringLiteral("CONSOLE"),
            out + QStringLiteral(" <- ") + parts.join(QStringLiteral("; ")));
        break;
    case TOperatorAction::Lock:
        Log(QStringLiteral("LOCK"), out + QStringLiteral(": ") + parts.join(QStringLiteral("; ")));
        break;
    case TOperatorAction::Monitor:
        Log(QStringLiteral("MONITOR"), parts.join(QStringLiteral("; ")));
        break;
    }
}

void TSession::LogTake(bool ignoreLocks, const TTakePlan& plan) {
    // What the TAKE changes: per level, the outputs whose preset it sends.
    QStringList parts;
    for (int k = 1; k <= std::min(FLevels.Count, 4); ++k) {
        QStringList routes;
        for (const TTakeHeld& t : plan.Taken)
            if (t.Level == k)
                routes << QStringLiteral("out %1%2 <- in %3%4")
                              .arg(t.Output + 1)
                              .arg(Quoted(OutputName(t.Output)))
                              .arg(t.Input + 1)
                              .arg(Quoted(InputName(t.Input)));
        if (!routes.isEmpty())
            parts << LevelPlace(k) + QStringLiteral(": ") + routes.join(QStringLiteral(", "));
    }
    QString details =
        parts.isEmpty() ? QStringLiteral("no preset differs") : parts.join(QStringLiteral("; "));
    if (!plan.Held.empty())
        details += QStringLiteral("; not taken: ") + HeldText(plan.Held);
    Log(ignoreLocks ? QStringLiteral("TAKE ignoring locks") : QStringLiteral("TAKE"), details);
}

// "out 3 "VTR" on L1 VIDEO: locked, ..." for the log and the operator.
QString TSession::HeldText(const std::vector<TTakeHeld>& held) const {
    QStringList parts;
    for (const TTakeHeld& h : held) {
        const bool inside = h.Output >= 0 && h.Output < FCross.Outputs();
        const QString level = h.Level >= 1 && h.Level <= std::min(FLevels.Count, 4)
                                  ? QStringLiteral("L%1 %2")
                                        .arg(h.Level)
                                        .arg(QString::fromStdString(FLevels.Names[Ix(h.Level)]))
                                        .trimmed()
                                  : QStringLiteral("L%1").arg(h.Level);
        parts << QStringLiteral("out %1%2 on %3: %4")
                     .arg(h.Output + 1)
                     .arg(inside ? Quoted(OutputName(h.Output)) : QString())
                     .arg(level)
                     .arg(QString::fromLatin1(HoldText(h.Why)));
    }
    return parts.join(QStringLiteral(", "));
}
