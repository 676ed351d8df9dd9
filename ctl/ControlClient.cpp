#include "ControlClient.h"

#include "Index.h"
#include "IniFile.h"
#include "IpText.h"
#include "LabelFile.h"
#include "QuotedInput.h"
#include "SafeFile.h"
#include "SwitcherConnection.h"
#include "UndoRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace {

// Poll cycles before the switchers' state is known: the first one reads and
// publishes it.
constexpr int ReadyCycles = 2;
// Poll cycles a change is given to come back in the switchers' state: it is
// sent in the next cycle and read back in the one after; the rest is room
// for a switcher that applies it a little later.
constexpr int ConfirmCycles = 8;
// A watch compares the state this often (about 30 ms at the cycle's pace).
constexpr int WatchCycles = 15;

// Far more than 2 x 256 rows of long names and paths.
constexpr std::size_t MaxLabelFileBytes = 8u << 20;

QString Quoted(const QString& name) {
    return name.isEmpty() ? QString()
                          : QStringLiteral(" \"") + QuotedInput(name) + QLatin1Char('"');
}

// Edits (insert, delete, replace) from a to b, case ignored; stops counting
// past `limit`.
int EditDistance(const QString& a, const QString& b, int limit) {
    const QString x = a.toCaseFolded(), y = b.toCaseFolded();
    if (std::abs(x.size() - y.size()) > limit)
        return limit + 1;
    std::vector<int> row(Ix(static_cast<int>(y.size()) + 1));
    for (int j = 0; j <= y.size(); ++j)
        row[Ix(j)] = j;
    for (int i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        int best = row[0];
        for (int j = 1; j <= y.size(); ++j) {
            const int up = row[Ix(j)];
            row[Ix(j)] = std::min({up + 1, row[Ix(j - 1)] + 1, diagonal + (x[i - 1] != y[j - 1])});
            diagonal = up;
            best = std::min(best, row[Ix(j)]);
        }
        if (best > limit)
            return limit + 1;
    }
    return row[Ix(static_cast<int>(y.size()))];
}

} // namespace

const std::vector<TCommand>& Commands() {
    using C = TControlClient;
    static const std::vector<TCommand> commands = {
        {{"levels"},
         {},
         {},
         "the levels: number, name, switcher, address",
         0,
         0,
         false,
         false,
         &C::Levels},
        {{"show"},
         {},
         {},
         "every output's input per level, locks, monitored outputs",
         0,
         0,
         true,
         false,
         &C::Show},
        {{"route"},
         "OUTPUT INPUT",
         "an output and an input",
         "routes as an ON LINE click does",
         2,
         2,
         true,
         true,
         &C::Route},
        {{"lock"},
         "OUTPUT",
         "an output",
         "locks the output on the levels",
         1,
         1,
         true,
         true,
         &C::Lock},
        {{"unlock"}, "OUTPUT", "an output", "unlocks it", 1, 1, true, true, &C::Unlock},
        {{"watch"},
         {},
         {},
         "one line per change seen, until interrupted",
         0,
         0,
         true,
         false,
         &C::Watch},
        {{"salvo", "list"},
         {},
         {},
         "the salvos of the matrix size",
         0,
         0,
         true,
         false,
         &C::SalvoList},
        {{"salvo", "take"},
         "NAME",
         "a salvo name",
         "recalls a salvo and takes it, as PRESET and TAKE do (--dry-run: what it would leave out)",
         1,
         1,
         true,
         false,
         &C::SalvoTake},
        {{"undo"},
         {},
         {},
         "steps back from matrixctl's last route, lock or salvo take",
         0,
         0,
         true,
         false,
         &C::Undo},
        {{"names", "export"},
         "FILE",
         "a file",
         "input and output names and logos to a CSV file",
         1,
         1,
         true,
         false,
         &C::NamesExport},
        {{"names", "import"},
         "FILE",
         "a file",
         "names and logos from a CSV file into the INI file",
         1,
         1,
         true,
         false,
         &C::NamesImport},
    };
    return commands;
}

const TCommand* FindCommand(const QStringList& positional) {
    for (const TCommand& c : Commands())
        if (positional.size() >= c.Words.size() &&
            std::equal(c.Words.begin(), c.Words.end(), positional.begin()))
            return &c;
    return nullptr;
}

QString CommandHelp() {
    QString help;
    for (const TCommand& c : Commands()) {
        const QString usage = (c.Words.join(QLatin1Char(' ')) + QLatin1Char(' ') + c.Arguments);
        help += QStringLiteral("  %1%2\n").arg(usage.trimmed().leftJustified(23), c.Summary);
    }
    return help;
}

int ResolveEndpoint(const QString& text, const std::array<QString, 256>& names, int count,
                    const char* what, QString* error) {
    const QString kind = QString::fromLatin1(what);
    bool number = false;
    const int n = text.toInt(&number);
    if (number) {
        if (n >= 1 && n <= count)
            return n - 1;
        *error =
            QStringLiteral("no %1 %2: the matrix has %3").arg(kind, QuotedInput(text)).arg(count);
        return -1;
    }
    QStringList candidates;
    int found = -1;
    for (int i = 0; i < count && i < 256; ++i)
        if (!names[Ix(i)].isEmpty() && names[Ix(i)].compare(text, Qt::CaseInsensitive) == 0) {
            found = i;
            candidates << QString::number(i + 1);
        }
    if (candidates.size() == 1)
        return found;
    if (!candidates.isEmpty()) {
        *error = QStringLiteral("%1 name \"%2\" is ambiguous: %3")
                     .arg(kind, QuotedInput(text), candidates.join(QStringLiteral(", ")));
        return -1;
    }
    // The closest names: those that begin with the text (or it with them),
    // then those a few edits away; a handful, best first.
    const int limit = std::max(1, static_cast<int>(text.size()) / 3);
    std::vector<std::pair<int, int>> close; // (distance, index)
    for (int i = 0; i < count && i < 256; ++i) {
        const QString& name = names[Ix(i)];
        if (name.isEmpty())
            continue;
        if (name.startsWith(text, Qt::CaseInsensitive) ||
            text.startsWith(name, Qt::CaseInsensitive))
            close.emplace_back(0, i);
        else if (const int d = EditDistance(name, text, limit); d <= limit)
            close.emplace_back(d, i);
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList shown;
    for (std::size_t c = 0; c < close.size() && c < 5; ++c)
        shown << QString::number(close[c].second + 1) + Quoted(names[Ix(close[c].second)]);
    *error = QStringLiteral("no %1 is named \"%2\"").arg(kind, QuotedInput(text));
    if (!shown.isEmpty())
        *error += QStringLiteral("; closest: ") + shown.join(QStringLiteral(", "));
    return -1;
}

QString ConnectionFailure(const TLinkError& error, const TLevels& levels) {
    const QString at = QString::fromStdString(FormatIP(error.IP)) + QStringLiteral(":10004");
    // What failed, by the connection's operation code.
    static const std::pair<int, const char*> operations[] = {
        {port::OpConnect, "cannot connect to the switcher at %1"},
        {port::OpIdentify, "no routing switcher answers at %1"},
        {port::OpReadConfig, "cannot read the configuration of the switcher at %1"},
        {port::OpReadState, "cannot read the cross-point state of the switcher at %1"},
        {port::OpReadHdmi, "cannot read the HDMI state of the switcher at %1"},
        {port::OpSwitchOutputs, "cannot switch on the switcher at %1"},
        {port::OpSetHdmi, "cannot send HDMI settings to the switcher at %1"},
        {port::OpPresetTable, "cannot send the preset salvo to the switcher at %1"},
        {port::OpTakePreset, "cannot take the preset salvo on the switcher at %1"},
    };
    QString text = QStringLiteral("the switcher at %1 failed (operation %2, error %3)")
                       .arg(at)
                       .arg(error.Operation)
                       .arg(error.Code);
    for (const auto& [operation, what] : operations)
        if (operation == error.Operation)
            text = QString::fromLatin1(what).arg(at);
    if (error.Operation == port::OpReadConfig && error.Code == port::ErrBadSize)
        text = QStringLiteral("the switcher at %1 reports a matrix size out of range").arg(at);
    if (error.Operation != port::OpConnect && error.Code == port::ErrNoReply)
        text += QStringLiteral(": no answer");
    else if (error.Operation != port::OpConnect && error.Code == port::ErrBadReply)
        text += QStringLiteral(": a wrong answer");
    // The levels on that switcher; the one a level command failed on, where known.
    QStringList onIt, named;
    for (int k = 1; k <= levels.Count && k <= 4; ++k) {
        if (levels.IP[Ix(k)] != error.IP)
            continue;
        const QString name = QStringLiteral("L%1 %2")
                                 .arg(k)
                                 .arg(QuotedInput(QString::fromStdString(levels.Names[Ix(k)])))
                                 .trimmed();
        onIt << name;
        if (error.Extra != 0 && levels.Address[Ix(k)] == error.Extra)
            named << name;
    }
    const QStringList& shown = named.isEmpty() ? onIt : named;
    if (!shown.isEmpty())
        text += QStringLiteral(" (%1)").arg(shown.join(QStringLiteral(", ")));
    return text;
}

TControlClient::TControlClient(TOptions options, std::FILE* out, std::FILE* err)
    : FOptions(std::move(options)), FOut(out), FErr(err), FTimeout(new QTimer(this)) {
    FTimeout->setSingleShot(true);
    connect(FTimeout, &QTimer::timeout, this, [this] {
        QStringList switchers;
        const TLevels& levels = FSession->Levels();
        for (int i = 0; i < levels.SwitcherCount; ++i)
            switchers << QString::fromStdString(FormatIP(levels.SwitcherIP[Ix(i)])) +
                             QStringLiteral(":10004");
        Finish(ctl::NoConnection, QStringLiteral("no answer from the switchers within %1 s (%2)")
                                      .arg(FOptions.ReadyTimeoutMs / 1000)
                                      .arg(switchers.join(QStringLiteral(", "))));
    });
}

TControlClient::~TControlClient() = default;

void TControlClient::Start() {
    TIniFile ini(FOptions.IniFile.toStdString());
    if (!ini.Load() && QFileInfo::exists(FOptions.IniFile))
        return Finish(ctl::Usage,
                      QStringLiteral("cannot read %1 (%2)")
                          .arg(FOptions.IniFile, QString::fromStdString(ini.LastError())));
    // A level set that is not a readable file is the caller's mistake, as an INI file is.
    const QFileInfo set(FOptions.LevelSetFile);
    if (set.exists() && (!set.isFile() || !set.isReadable()))
        return Finish(ctl::Usage, QStringLiteral("cannot read %1 (%2)")
                                      .arg(FOptions.LevelSetFile,
                                           set.isFile() ? QStringLiteral("not readable")
                                                        : QStringLiteral("not a regular file")));
    FSettings = ReadIniSettings(ini);
    FSession = std::make_unique<TSession>(QFileInfo(FOptions.IniFile).absolutePath(),
                                          FOptions.LevelSetFile);
    FSession->Names().SetIniFile(FOptions.IniFile);
    FSession->Names().Load(ini);
    FSession->SetLogSource(QStringLiteral("matrixctl"));
    FSession->ManagesSalvoFolders = false; // reads salvos, never makes folders
    FSession->LoadLevelSet();
    const TLevels& levels = FSession->Levels();
    if (levels.Count == 0)
        return Finish(ctl::NoConnection,
                      QStringLiteral("no levels in %1").arg(FOptions.LevelSetFile));
    std::uint32_t control = 0;
    QString error;
    if (!TargetLevels(control, &error))
        return Finish(ctl::Usage, error);
    if (!FOptions.Command->NeedsSwitchers)
        return (this->*FOptions.Command->Run)();

    TCrossPoints& cross = FSession->CrossPoints();
    cross.SetControl(control);
    cross.SetVisible(0x01010101);
    FSession->SetLastMode(TMode::OnLine);
    FSession->SetCycleRateWanted(false);
    connect(FSession.get(), &TSession::CyclesCompleted, this, &TControlClient::CyclesDone);
    connect(FSession.get(), &TSession::PollingEnded, this, &TControlClient::PollingEnded);
    FSession->StartPolling(FSettings.OutputLimit);
    FSession->NotifyAfterCycles(ReadyCycles);
    FTimeout->start(FOptions.ReadyTimeoutMs);
}

bool TControlClient::TargetLevels(std::uint32_t& control, QString* error) const {
    const int count = FSession->Levels().Count;
    std::array<bool, 4> flags{};
    if (FOptions.Levels.empty()) {
        flags = FSettings.FControlLevels;
    } else {
        for (int k : FOptions.Levels) {
            if (k < 1 || k > count) {
                *error = QStringLiteral("no level %1: the level set has %2").arg(k).arg(count);
                return false;
            }
            flags[Ix(k - 1)] = true;
        }
    }
    control = PackLevelFlags(flags);
    return true;
}

QString TControlClient::LevelName(int k) const {
    return QStringLiteral("L%1 %2")
        .arg(k)
        .arg(QuotedInput(QString::fromStdString(FSession->Levels().Names[Ix(k)])))
        .trimmed();
}

void TControlClient::CyclesDone() {
    if (!FReady) {
        FReady = true;
        FTimeout->stop();
        if (FLost) {
            FLost = false;
            Snapshot();
            if (FOptions.Json)
                PrintJson({{QStringLiteral("type"), QStringLiteral("connection")},
                           {QStringLiteral("state"), QStringLiteral("back")}});
            else
                Print(QStringLiteral("connection back"));
            FSession->NotifyAfterCycles(WatchCycles);
            return;
        }
        return Ready();
    }
    if (FOptions.Command->Run == &TControlClient::Watch) {
        ReportChanges();
        FSession->NotifyAfterCycles(WatchCycles);
        return;
    }
    if (FOnCycles) {
        const auto step = std::move(FOnCycles);
        FOnCycles = nullptr;
        step();
    }
}

void TControlClient::Ready() {
    bool anyLevel = false;
    for (int k = 1; k <= FSession->CrossPoints().LevelCount(); ++k)
        anyLevel = anyLevel || LevelFlag(FSession->CrossPoints().State().Control(), k);
    if (FOptions.Command->Acts && !anyLevel)
        return Finish(ctl::Usage, QStringLiteral("no level to act on: none is controlled in the "
                                                 "INI file or given with --level"));
    (this->*FOptions.Command->Run)();
}

void TControlClient::Levels() {
    const TLevels& levels = FSession->Levels();
    for (int k = 1; k <= levels.Count; ++k) {
        const QString ip = QString::fromStdString(FormatIP(levels.IP[Ix(k)]));
        const QString name = QString::fromStdString(levels.Names[Ix(k)]);
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("level")},
                       {QStringLiteral("level"), k},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("switcher"), ip},
                       {QStringLiteral("address"), levels.Address[Ix(k)]}});
        else
            Print(QStringLiteral("%1  %2  %3  address %4")
                      .arg(k)
                      .arg(QuotedInput(name), ip)
                      .arg(levels.Address[Ix(k)]));
    }
    Finish(ctl::Done);
}

void TControlClient::Show() {
    const TCrossPoints& cross = FSession->CrossPoints();
    const TFieldState& f = cross.State();
    for (int o = 0; o < cross.Outputs(); ++o) {
        QVariantList levels;
        QStringList parts;
        for (int k = 1; k <= cross.LevelCount(); ++k) {
            const int in = f.Status(o, k);
            const bool locked = f.Locked(o, k);
            levels << QVariantMap{{QStringLiteral("level"), k},
                                  {QStringLiteral("input"), in + 1},
                                  {QStringLiteral("input_name"), FSession->InputName(in)},
                                  {QStringLiteral("locked"), locked}};
            parts << LevelName(k) + QStringLiteral(" in ") + QString::number(in + 1) +
                         Quoted(FSession->InputName(in)) +
                         (locked ? QStringLiteral(" locked") : QString());
        }
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("output")},
                       {QStringLiteral("output"), o + 1},
                       {QStringLiteral("name"), FSession->OutputName(o)},
                       {QStringLiteral("levels"), levels}});
        else
            Print(QStringLiteral("out %1%2: %3")
                      .arg(o + 1)
                      .arg(Quoted(FSession->OutputName(o)), parts.join(QStringLiteral(", "))));
    }
    for (int k = 1; k <= cross.LevelCount(); ++k) {
        const int m = f.Monitor(k);
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("monitor")},
                       {QStringLiteral("level"), k},
                       {QStringLiteral("output"), m + 1},
                       {QStringLiteral("name"), FSession->OutputName(m)}});
        else
            Print(QStringLiteral("monitor %1: out %2%3")
                      .arg(LevelName(k))
                      .arg(m + 1)
                      .arg(Quoted(FSession->OutputName(m))));
    }
    Finish(ctl::Done);
}

void TControlClient::Route() {
    TCrossPoints& cross = FSession->CrossPoints();
    QString error;
    const int o =
        ResolveEndpoint(FOptions.Arguments[0], FSession->Names().Names(TNames::TSide::Output),
                        cross.Outputs(), "output", &error);
    const int i = o < 0 ? -1
                        : ResolveEndpoint(FOptions.Arguments[1],
                                          FSession->Names().Names(TNames::TSide::Input),
                                          cross.Inputs(), "input", &error);
    if (o < 0 || i < 0)
        return Finish(ctl::Usage, error);
    const TFieldState& f = cross.State();
    const std::uint32_t control = f.Control();
    QStringList locked;
    QVariantList levels;
    for (int k = 1; k <= cross.LevelCount(); ++k)
        if (LevelFlag(control, k)) {
            if (f.Locked(o, k))
                locked << LevelName(k);
            else
                levels << k;
        }
    cross.Route(o, i);
    SaveStepBack();
    const TLevelValues wanted = f.Status(o);
    const QString what = QStringLiteral("out %1%2 <- in %3%4")
                             .arg(o + 1)
                             .arg(Quoted(FSession->OutputName(o)))
                             .arg(i + 1)
                             .arg(Quoted(FSession->InputName(i)));
    const QString lockText = locked.isEmpty() ? QString()
                                              : QStringLiteral("output %1 is locked on %2")
                                                    .arg(o + 1)
                                                    .arg(locked.join(QStringLiteral(", ")));
    if (levels.isEmpty())
        return Finish(ctl::Refused, lockText);
    Confirm([=, this] {
        const TFieldState& now = FSession->CrossPoints().State();
        QStringList refused;
        for (const QVariant& k : levels)
            if (now.Status(o, k.toInt()) != wanted[Ix(k.toInt() - 1)])
                refused << LevelName(k.toInt());
        if (!refused.isEmpty())
            return QStringLiteral("the switcher did not route output %1 on %2")
                .arg(o + 1)
                .arg(refused.join(QStringLiteral(", ")));
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("route")},
                       {QStringLiteral("output"), o + 1},
                       {QStringLiteral("input"), i + 1},
                       {QStringLiteral("levels"), levels}});
        else
            Print(what);
        return lockText;
    });
}

void TControlClient::Lock() {
    ChangeLock(true);
}

void TControlClient::Unlock() {
    ChangeLock(false);
}

void TControlClient::ChangeLock(bool lock) {
    TCrossPoints& cross = FSession->CrossPoints();
    QString error;
    const int o =
        ResolveEndpoint(FOptions.Arguments[0], FSession->Names().Names(TNames::TSide::Output),
                        cross.Outputs(), "output", &error);
    if (o < 0)
        return Finish(ctl::Usage, error);
    const TFieldState& f = cross.State();
    // The lock command toggles: only the levels whose lock must change are sent.
    std::uint32_t change = 0;
    QVariantList levels;
    for (int k = 1; k <= cross.LevelCount(); ++k)
        if (LevelFlag(f.Control(), k) && f.Locked(o, k) != lock) {
            change |= 1u << (8 * (k - 1));
            levels << k;
        }
    if (!change) {
        Print(QStringLiteral("out %1 is %2 already").arg(o + 1).arg(lock ? "locked" : "unlocked"));
        return Finish(ctl::Done);
    }
    const std::uint32_t all = f.Control();
    cross.SetControl(change);
    cross.ChangeLocks(o, lock);
    cross.SetControl(all);
    SaveStepBack();
    Confirm([=, this] {
        const TFieldState& now = FSession->CrossPoints().State();
        QStringList refused;
        for (const QVariant& k : levels)
            if (now.Locked(o, k.toInt()) != lock)
                refused << LevelName(k.toInt());
        if (!refused.isEmpty())
            return QStringLiteral("the switcher did not %1 output %2 on %3")
                .arg(lock ? "lock" : "unlock")
                .arg(o + 1)
                .arg(refused.join(QStringLiteral(", ")));
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("lock")},
                       {QStringLiteral("output"), o + 1},
                       {QStringLiteral("locked"), lock},
                       {QStringLiteral("levels"), levels}});
        else
            Print(QStringLiteral("out %1%2 %3")
                      .arg(o + 1)
                      .arg(Quoted(FSession->OutputName(o)), lock ? "locked" : "unlocked"));
        return QString();
    });
}

void TControlClient::Watch() {
    Snapshot(); // changes are reported against it from now on
    FSession->NotifyAfterCycles(WatchCycles);
}

void TControlClient::SalvoList() {
    // The salvos of the matrix size the switchers report, as the panel keeps
    // them (or would create them); nothing is written.
    FSession->ListSalvos();
    const int outputs = FSession->CrossPoints().Outputs();
    for (const TMemorySlot& slot : FSession->Salvos()) {
        const QString name = QString::fromStdString(slot.Name);
        int inside = 0;
        for (int n = 0; n < std::clamp(slot.Count, 0, TMemorySlot::MaxEntries); ++n)
            inside += slot.Outputs[Ix(n)] >= 0 && slot.Outputs[Ix(n)] < outputs;
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("salvo")},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("outputs"), inside},
                       {QStringLiteral("stored_outputs"), slot.Count}});
        else
            Print(QuotedInput(name, INT_MAX));
    }
    Finish(ctl::Done);
}

// Salvo names are file names: an exact match first, else the one name that
// matches with case ignored.
const TMemorySlot* TControlClient::FindSalvo(const QString& name, QString* error) const {
    if (const TMemorySlot* exact = FSession->FindSalvo(name.toStdString()))
        return exact;
    const TMemorySlot* found = nullptr;
    QStringList matching, all;
    for (const TMemorySlot& slot : FSession->Salvos()) {
        const QString n = QString::fromStdString(slot.Name);
        all << QuotedInput(n);
        if (n.compare(name, Qt::CaseInsensitive) == 0) {
            found = &slot;
            matching << QuotedInput(n);
        }
    }
    if (matching.size() == 1)
        return found;
    if (!matching.isEmpty())
        *error = QStringLiteral("salvo name \"%1\" is ambiguous: %2")
                     .arg(QuotedInput(name), matching.join(QStringLiteral(", ")));
    else
        *error = QStringLiteral("no salvo \"%1\" for this matrix size; there are: %2%3")
                     .arg(QuotedInput(name), all.mid(0, 20).join(QStringLiteral(", ")),
                          all.size() > 20 ? QStringLiteral(", ...") : QString());
    return nullptr;
}

void TControlClient::SalvoTake() {
    FSession->ListSalvos();
    QString error;
    const TMemorySlot* found = FindSalvo(FOptions.Arguments[0], &error);
    if (!found)
        return Finish(ctl::Usage, error);
    const TMemorySlot slot = *found;
    const QString name = QString::fromStdString(slot.Name);
    FSession->SetMode(TMode::Preset);
    FSession->RecallSalvo(slot, !FOptions.DryRun);
    const TTakePlan plan = FSession->PlanTake(FOptions.IgnoreLocks);
    if (FOptions.DryRun) {
        // The presets stay in this process: nothing is sent without a TAKE.
        for (const TTakeHeld& h : plan.Held) {
            if (FOptions.Json)
                PrintJson({{QStringLiteral("type"), QStringLiteral("held")},
                           {QStringLiteral("output"), h.Output + 1},
                           {QStringLiteral("level"), h.Level},
                           {QStringLiteral("input"), h.Input + 1},
                           {QStringLiteral("reason"), QString::fromLatin1(HoldKey(h.Why))}});
            else
                Print(FSession->HeldText({h}));
        }
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("salvo")},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("dry_run"), true},
                       {QStringLiteral("taken"), static_cast<int>(plan.Taken.size())},
                       {QStringLiteral("held"), static_cast<int>(plan.Held.size())}});
        else
            Print(QStringLiteral("salvo \"%1\": %2 cross-points would be taken, %3 left out")
                      .arg(QuotedInput(name))
                      .arg(plan.Taken.size())
                      .arg(plan.Held.size()));
        return Finish(
            plan.Held.empty() ? ctl::Done : ctl::Refused,
            plan.Held.empty()
                ? QString()
                : QStringLiteral("%1 cross-points would not be taken").arg(plan.Held.size()));
    }
    FSession->Take(FOptions.IgnoreLocks);
    SaveStepBack();
    Confirm([=, this] {
        const TFieldState& f = FSession->CrossPoints().State();
        QStringList held;
        for (const TTakeHeld& h : plan.Held)
            held << FSession->HeldText({h});
        // What the plan let through but the switchers did not follow.
        const int outputs = FSession->CrossPoints().Outputs();
        const int inputs = FSession->CrossPoints().Inputs();
        for (int n = 0; n < std::clamp(slot.Count, 0, TMemorySlot::MaxEntries); ++n) {
            const int o = slot.Outputs[Ix(n)];
            if (o < 0 || o >= outputs)
                continue;
            for (int k = 1; k <= FSession->CrossPoints().LevelCount(); ++k) {
                const int wanted = slot.Sources[Ix(n)][Ix(k - 1)];
                const bool planned =
                    std::none_of(plan.Held.begin(), plan.Held.end(),
                                 [&](const TTakeHeld& h) { return h.Output == o && h.Level == k; });
                if (planned && LevelFlag(f.Control(), k) && wanted >= 0 && wanted < inputs &&
                    f.Status(o, k) != wanted)
                    held << QStringLiteral("out %1 on %2: the switcher did not take it")
                                .arg(o + 1)
                                .arg(LevelName(k));
            }
        }
        held.removeDuplicates();
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("salvo")},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("taken"), held.isEmpty()}});
        else if (held.isEmpty())
            Print(QStringLiteral("salvo \"%1\" taken").arg(name));
        return held.isEmpty() ? QString()
                              : QStringLiteral("not taken: ") + held.join(QStringLiteral(", "));
    });
}

QString TControlClient::UndoFile() const {
    return QFileInfo(FOptions.IniFile).absolutePath() + QLatin1Char('/') +
           QLatin1String(undorecord::FileName);
}

// Written whole or not at all; an action that changed nothing leaves the
// previous record as it is, as the panel does.
void TControlClient::SaveStepBack() {
    const TStepBack& step = FSession->StepBack();
    if (step.Empty())
        return;
    const TCrossPoints& cross = FSession->CrossPoints();
    std::string error;
    if (!safefile::Save(QFile::encodeName(UndoFile()).toStdString(),
                        undorecord::Write(step, FSession->Levels(), cross.Inputs(), cross.Outputs())
                            .toStdString(),
                        &error))
        std::fprintf(FErr, "matrixctl: cannot keep the step back in %s (%s)\n",
                     QuotedInput(UndoFile(), INT_MAX).toUtf8().constData(), error.c_str());
}

void TControlClient::Undo() {
    const QString file = UndoFile();
    std::string data, readError;
    if (!QFileInfo::exists(file))
        return Finish(ctl::Refused, QStringLiteral("nothing to undo: no matrixctl action is "
                                                   "recorded in %1")
                                        .arg(QFileInfo(file).absolutePath()));
    if (!safefile::ReadRegular(QFile::encodeName(file).toStdString(), undorecord::MaxBytes, data,
                               &readError))
        return Finish(
            ctl::Refused,
            QStringLiteral("cannot read %1 (%2)").arg(file, QString::fromStdString(readError)));
    TCrossPoints& cross = FSession->CrossPoints();
    undorecord::TRecord record;
    QString error;
    if (!undorecord::Read(QByteArray::fromStdString(data), FSession->Levels(), cross.Inputs(),
                          cross.Outputs(), record, &error))
        return Finish(ctl::Refused, QStringLiteral("nothing undone: ") + error);
    TStepBack& step = FSession->StepBack();
    step.Record(record.Action, record.Entries, cross.State());
    // Another panel, script or the chassis changed what the action left:
    // stepping back would undo their change, not ours.
    const std::vector<TStepEntry> changed = step.ChangedSince(cross.State());
    if (!changed.empty()) {
        QStringList where;
        for (const TStepEntry& e : changed)
            where << QStringLiteral("out %1 on %2").arg(e.Output + 1).arg(LevelName(e.Level));
        where.removeDuplicates();
        return Finish(ctl::Refused,
                      QStringLiteral("the switchers changed since the last matrixctl action (%1); "
                                     "nothing undone")
                          .arg(where.mid(0, 10).join(QStringLiteral(", "))));
    }
    const std::vector<TStepEntry> entries = step.Entries();
    QString held;
    if (!FSession->StepBackNow(&held)) {
        QFile::remove(file);
        Print(QStringLiteral("nothing to undo: the last %1 is not in effect")
                  .arg(QString::fromStdString(record.Action)));
        return Finish(ctl::Done);
    }
    QFile::remove(file); // one step back, not two
    Confirm([=, this] {
        const TFieldState& f = FSession->CrossPoints().State();
        QStringList failed;
        for (const TStepEntry& e : entries) {
            const int now =
                e.Lock ? (f.Locked(e.Output, e.Level) ? 1 : 0) : f.Status(e.Output, e.Level);
            if (now != e.Before)
                failed << QStringLiteral("out %1 on %2").arg(e.Output + 1).arg(LevelName(e.Level));
        }
        failed.removeDuplicates();
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("undo")},
                       {QStringLiteral("action"), QString::fromStdString(record.Action)},
                       {QStringLiteral("restored"), failed.isEmpty()}});
        else if (failed.isEmpty())
            Print(QStringLiteral("%1 undone").arg(QString::fromStdString(record.Action)));
        if (failed.isEmpty())
            return QString();
        return QStringLiteral("not restored: ") +
               (held.isEmpty() ? failed.join(QStringLiteral(", ")) : held);
    });
}

// Names and logos to and from a label file, for the matrix size the
// switchers report.
void TControlClient::NamesExport() {
    const QString& file = FOptions.Arguments[0];
    const TNames& names = FSession->Names();
    using S = TNames::TSide;
    const QByteArray csv = labelfile::Write(
        names.Names(S::Input), names.Logos(S::Input), FSession->CrossPoints().Inputs(),
        names.Names(S::Output), names.Logos(S::Output), FSession->CrossPoints().Outputs());
    std::string error;
    if (!safefile::Save(QFile::encodeName(file).toStdString(), csv.toStdString(), &error))
        return Finish(
            ctl::Usage,
            QStringLiteral("cannot write %1 (%2)").arg(file, QString::fromStdString(error)));
    Finish(ctl::Done);
}

void TControlClient::NamesImport() {
    const QString& file = FOptions.Arguments[0];
    std::string data, error;
    if (!safefile::ReadRegular(QFile::encodeName(file).toStdString(), MaxLabelFileBytes, data,
                               &error))
        return Finish(
            ctl::Usage,
            QStringLiteral("cannot read %1 (%2)").arg(file, QString::fromStdString(error)));
    TLabels labels;
    QString why;
    if (!labelfile::Read(QByteArray::fromStdString(data), FSession->CrossPoints().Inputs(),
                         FSession->CrossPoints().Outputs(), labels, &why))
        return Finish(ctl::Usage,
                      file + QStringLiteral(": ") + why + QStringLiteral("; nothing imported"));
    // The model writes the INI file, all rows or none.
    if (!FSession->Names().Import(labels, &why))
        return Finish(ctl::Usage,
                      QStringLiteral("cannot import into %1 (%2)").arg(FOptions.IniFile, why));
    Print(QStringLiteral("%1 input and %2 output names imported into %3")
              .arg(labels.Inputs.size())
              .arg(labels.Outputs.size())
              .arg(FOptions.IniFile));
    Finish(ctl::Done);
}

// Gives the change time to reach the switchers and come back in their state,
// then asks `differs` what did not happen (or what a lock held): exit 4 then.
void TControlClient::Confirm(const std::function<QString()>& differs) {
    FOnCycles = [this, differs] {
        const QString error = differs();
        Finish(error.isEmpty() ? ctl::Done : ctl::Refused, error);
    };
    FSession->NotifyAfterCycles(ConfirmCycles);
}

void TControlClient::Snapshot() {
    const TCrossPoints& cross = FSession->CrossPoints();
    FSeenStatus.assign(Ix(cross.Outputs()), {});
    FSeenLocks.assign(Ix(cross.Outputs()), 0);
    for (int o = 0; o < cross.Outputs(); ++o) {
        FSeenStatus[Ix(o)] = cross.State().Status(o);
        FSeenLocks[Ix(o)] = cross.State().Lock(o);
    }
    FSeenMonitor = cross.State().Monitor();
}

void TControlClient::ReportChanges() {
    const TCrossPoints& cross = FSession->CrossPoints();
    const TFieldState& f = cross.State();
    if (Ix(cross.Outputs()) != FSeenStatus.size())
        Snapshot(); // a new matrix size: its state is the new baseline
    for (int o = 0; o < cross.Outputs(); ++o)
        for (int k = 1; k <= cross.LevelCount(); ++k) {
            const int in = f.Status(o, k);
            if (in != FSeenStatus[Ix(o)][Ix(k - 1)]) {
                if (FOptions.Json)
                    PrintJson({{QStringLiteral("type"), QStringLiteral("crosspoint")},
                               {QStringLiteral("level"), k},
                               {QStringLiteral("output"), o + 1},
                               {QStringLiteral("input"), in + 1}});
                else
                    Print(QStringLiteral("%1: out %2%3 <- in %4%5")
                              .arg(LevelName(k))
                              .arg(o + 1)
                              .arg(Quoted(FSession->OutputName(o)))
                              .arg(in + 1)
                              .arg(Quoted(FSession->InputName(in))));
            }
            const bool locked = f.Locked(o, k);
            if (locked != LevelFlag(FSeenLocks[Ix(o)], k)) {
                if (FOptions.Json)
                    PrintJson({{QStringLiteral("type"), QStringLiteral("lock")},
                               {QStringLiteral("level"), k},
                               {QStringLiteral("output"), o + 1},
                               {QStringLiteral("locked"), locked}});
                else
                    Print(QStringLiteral("%1: out %2 %3")
                              .arg(LevelName(k))
                              .arg(o + 1)
                              .arg(locked ? "locked" : "unlocked"));
            }
        }
    for (int k = 1; k <= cross.LevelCount(); ++k) {
        const int m = f.Monitor(k);
        if (m == FSeenMonitor[Ix(k - 1)])
            continue;
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("monitor")},
                       {QStringLiteral("level"), k},
                       {QStringLiteral("output"), m + 1}});
        else
            Print(QStringLiteral("%1: monitor out %2").arg(LevelName(k)).arg(m + 1));
    }
    Snapshot();
}

void TControlClient::PollingEnded(const QString& text) {
    if (FFinishing) {
        Q_EMIT Finished(FStatus);
        return;
    }
    const TLinkError& link = FSession->LastLinkError();
    const QString reason = link.Failed()    ? ConnectionFailure(link, FSession->Levels())
                           : text.isEmpty() ? QStringLiteral("the connection ended")
                                            : text;
    if (FOptions.Command->Run == &TControlClient::Watch) {
        // Keep watching: report the loss once and try again every second.
        if (!FLost) {
            FLost = true;
            if (FOptions.Json)
                PrintJson({{QStringLiteral("type"), QStringLiteral("connection")},
                           {QStringLiteral("state"), QStringLiteral("lost")},
                           {QStringLiteral("reason"), reason}});
            else
                Print(QStringLiteral("connection lost: ") + reason);
        }
        FReady = false;
        QTimer::singleShot(1000, this, [this] {
            FSession->LoadLevelSet();
            FSession->StartPolling(FSettings.OutputLimit);
            FSession->NotifyAfterCycles(ReadyCycles);
        });
        return;
    }
    FReady = false;
    if (FOnCycles)
        Finish(ctl::NoConnection,
               QStringLiteral("connection lost before the change was confirmed: ") + reason);
    else
        Finish(ctl::NoConnection, QStringLiteral("no connection: ") + reason);
}

void TControlClient::Finish(int status, const QString& error) {
    if (FFinishing)
        return;
    FFinishing = true;
    FStatus = status;
    FOnCycles = nullptr;
    FTimeout->stop();
    if (!error.isEmpty()) {
        // One line, whatever a switcher's, a file's or the caller's text held:
        // every control character is written out, none reaches the terminal.
        std::fprintf(FErr, "matrixctl: %s\n", QuotedInput(error, INT_MAX).toUtf8().constData());
        std::fflush(FErr);
    }
    if (FSession && FSession->Polling()) {
        FSession->StopPolling(); // PollingEnded finishes
        return;
    }
    QTimer::singleShot(0, this, [this] { Q_EMIT Finished(FStatus); });
}

void TControlClient::Print(const QString& line) {
    std::fprintf(FOut, "%s\n", QuotedInput(line, INT_MAX).toUtf8().constData());
    std::fflush(FOut);
}

void TControlClient::PrintJson(const QVariantMap& object) {
    // JSON writes control characters as escapes itself.
    Print(QString::fromUtf8(
        QJsonDocument(QJsonObject::fromVariantMap(object)).toJson(QJsonDocument::Compact)));
}
