// What a TAKE would leave out, one step back, and switchers lost and back.
#include "Session.h"

#include "CommunicationError.h"
#include "Index.h"
#include "IpText.h"

#include <QStringList>

TTakePlan TSession::PlanTake(bool ignoreLocks) const {
    TTakePlan plan;
    const TFieldState& f = FCross.State();
    for (int o = 0; o < FCross.Outputs(); ++o)
        for (int k = 1; k <= FCross.LevelCount(); ++k) {
            const int preset = f.Preset(o, k);
            if (preset == f.Status(o, k))
                continue;
            const THold why = FCross.TakeHold(o, k, ignoreLocks);
            (why == THold::None ? plan.Taken : plan.Held).push_back({o, k, preset, why});
        }
    plan.Held.insert(plan.Held.end(), FRecallLeftOut.begin(), FRecallLeftOut.end());
    return plan;
}

void TSession::RecordAction(TOperatorAction action, int row, const TLevelValues& before,
                            const TLevelValues& after) {
    // Monitor selection is not routing: it leaves the step back as it is.
    if (action == TOperatorAction::Monitor)
        return;
    const bool lock = action == TOperatorAction::Lock;
    std::vector<TStepEntry> entries;
    for (int k = 1; k <= FieldLevels; ++k)
        if (before[Ix(k - 1)] != after[Ix(k - 1)])
            entries.push_back({row, k, lock, before[Ix(k - 1)], after[Ix(k - 1)]});
    static const char* const names[] = {"ON LINE", "CONSOLE", "LOCK", "MONITOR"};
    FStepBack.Record(names[static_cast<int>(action)], std::move(entries), FCross.State());
}

bool TSession::CanStepBack() const {
    return FPollThread && FMode != TMode::Off && FLostSwitchers == 0 &&
           FStepBack.Available(FCross.State());
}

bool TSession::StepBackNow(QString* report) {
    if (!CanStepBack())
        return false;
    const QString action = QString::fromStdString(FStepBack.Action());
    std::vector<TStepEntry> restored;
    const std::vector<TStepHeld> held = FStepBack.Apply(FCross, &restored);
    QStringList parts;
    for (const TStepEntry& e : restored)
        parts << QStringLiteral("out %1 on L%2: %3")
                     .arg(e.Output + 1)
                     .arg(e.Level)
                     .arg(e.Lock
                              ? (e.Before ? QStringLiteral("locked") : QStringLiteral("unlocked"))
                              : QStringLiteral("in %1").arg(e.Before + 1));
    std::vector<TTakeHeld> notRestored;
    for (const TStepHeld& h : held)
        notRestored.push_back({h.Entry.Output, h.Entry.Level, h.Entry.Before, h.Why});
    const QString heldText = HeldText(notRestored);
    QString details =
        action + QStringLiteral(" undone: ") +
        (parts.isEmpty() ? QStringLiteral("nothing restored") : parts.join(QStringLiteral(", ")));
    if (!heldText.isEmpty())
        details += QStringLiteral("; not restored: ") + heldText;
    Log(QStringLiteral("UNDO"), details);
    if (report)
        *report = heldText;
    return true;
}

// The levels on the switchers given (bit s - 1 for switcher s, in the order
// the level set first names them).
std::uint32_t TSession::LevelsOf(std::uint32_t switchers) const {
    std::uint32_t levels = 0;
    for (int s = 1; s <= FLevels.SwitcherCount; ++s) {
        if (!(switchers & (1u << (s - 1))))
            continue;
        for (int k = 1; k <= FLevels.Count; ++k)
            if (FLevels.IP[Ix(k)] == FLevels.SwitcherIP[Ix(s - 1)])
                levels |= PackedFlag(k);
    }
    return levels;
}

void TSession::LinkLost(std::uint32_t switchers, const TLinkError& error) {
    FLostSwitchers = switchers;
    FLinkLostText = CommunicationErrorText(error, FLevels.Count, FLevels.Names, FLevels.Address);
    if (FLinkLostText.isEmpty())
        FLinkLostText = QStringLiteral("No answer");
    FCross.SetLevelsAway(LevelsOf(switchers));
    // What happens to the lost switchers' outputs meanwhile is not seen.
    FStepBack.MarkStale();
    Log(QStringLiteral("COMMUNICATION LOST"),
        FLinkLostText + QStringLiteral("; retrying once a second"));
    Q_EMIT LinkChanged();
}

void TSession::LinkRestored(std::uint32_t switchers) {
    FLostSwitchers = 0;
    FLinkLostText.clear();
    FCross.SetLevelsAway(0);
    QStringList back;
    for (int s = 1; s <= FLevels.SwitcherCount; ++s)
        if (switchers & (1u << (s - 1)))
            back << QString::fromStdString(FormatIP(FLevels.SwitcherIP[Ix(s - 1)])) +
                        QStringLiteral(":10004");
    Log(QStringLiteral("COMMUNICATION RESTORED"),
        back.join(QStringLiteral(", ")) + QStringLiteral(" answer again; state read back"));
    Q_EMIT LinkChanged();
}
