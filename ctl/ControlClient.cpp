#include "ControlClient.h"

#include "IniFile.h"
#include "IpText.h"
#include "LabelFile.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>

namespace {

constexpr std::size_t U(int i) {
    return static_cast<std::size_t>(i);
}

// Cycle-rate reports (one each 15 poll cycles) a change is given to reach the
// switcher and come back in its state.
constexpr int ConfirmReports = 3;

// Far more than 2 x 256 rows of long names and paths.
constexpr std::size_t MaxLabelFileBytes = 8u << 20;

QString Quoted(const QString& name) {
    return name.isEmpty() ? QString() : QStringLiteral(" \"") + name + QLatin1Char('"');
}

} // namespace

int ResolveEndpoint(const QString& text, const std::array<QString, 256>& names, int count,
                    const char* what, QString* error) {
    const QString kind = QString::fromLatin1(what);
    bool number = false;
    const int n = text.toInt(&number);
    if (number) {
        if (n >= 1 && n <= count)
            return n - 1;
        *error = QStringLiteral("no %1 %2: the matrix has %3").arg(kind, text).arg(count);
        return -1;
    }
    QStringList candidates;
    int found = -1;
    for (int i = 0; i < count && i < 256; ++i)
        if (!names[U(i)].isEmpty() && names[U(i)].compare(text, Qt::CaseInsensitive) == 0) {
            found = i;
            candidates << QString::number(i + 1);
        }
    if (candidates.size() == 1)
        return found;
    if (candidates.isEmpty())
        *error = QStringLiteral("no %1 is named \"%2\"").arg(kind, text);
    else
        *error = QStringLiteral("%1 name \"%2\" is ambiguous: %3")
                     .arg(kind, text, candidates.join(QStringLiteral(", ")));
    return -1;
}

TControlClient::TControlClient(TOptions options, std::FILE* out, std::FILE* err)
    : FOptions(std::move(options)), FOut(out), FErr(err), FTimeout(new QTimer(this)) {
    FTimeout->setSingleShot(true);
    connect(FTimeout, &QTimer::timeout, this, [this] {
        Finish(ctl::NoConnection, QStringLiteral("no answer from the switchers within %1 s")
                                      .arg(FOptions.ReadyTimeoutMs / 1000));
    });
}

TControlClient::~TControlClient() = default;

void TControlClient::Start() {
    TIniFile ini(FOptions.IniFile.toStdString());
    if (!ini.Load() && QFileInfo::exists(FOptions.IniFile))
        return Finish(ctl::Usage,
                      QStringLiteral("cannot read %1 (%2)")
                          .arg(FOptions.IniFile, QString::fromStdString(ini.LastError())));
    FSettings = ReadIniSettings(ini);
    FNames = ReadIniNames(ini);
    FSession = std::make_unique<TSession>(QFileInfo(FOptions.IniFile).absolutePath(),
                                          FOptions.LevelSetFile);
    FSession->SetLogSource(QStringLiteral("matrixctl"));
    FSession->LoadLevelSet();
    const TLevels& levels = FSession->Levels();
    if (levels.Count == 0)
        return Finish(ctl::NoConnection,
                      QStringLiteral("no levels in %1").arg(FOptions.LevelSetFile));
    std::uint32_t control = 0;
    QString error;
    if (!TargetLevels(control, &error))
        return Finish(ctl::Usage, error);

    if (FOptions.Command == QLatin1String("levels")) {
        for (int k = 1; k <= levels.Count; ++k) {
            const QString ip = QString::fromStdString(FormatIP(levels.IP[U(k)]));
            if (FOptions.Json)
                PrintJson({{QStringLiteral("level"), k},
                           {QStringLiteral("name"), QString::fromStdString(levels.Names[U(k)])},
                           {QStringLiteral("switcher"), ip},
                           {QStringLiteral("address"), levels.Address[U(k)]}});
            else
                Print(QStringLiteral("%1  %2  %3  address %4")
                          .arg(k)
                          .arg(QString::fromStdString(levels.Names[U(k)]), ip)
                          .arg(levels.Address[U(k)]));
        }
        return Finish(ctl::Done);
    }

    for (int n = 0; n < 256; ++n) {
        FSession->SetInputName(n, FNames.InputNames[U(n)]);
        FSession->SetOutputName(n, FNames.OutputNames[U(n)]);
    }
    TCrossPoints& cross = FSession->CrossPoints();
    cross.SetControl(control);
    cross.SetVisible(0x01010101);
    FSession->SetLastMode(TMode::OnLine);
    FSession->SetCycleRateWanted(true);
    connect(FSession.get(), &TSession::CycleRateMeasured, this, &TControlClient::CycleSeen);
    connect(FSession.get(), &TSession::PollingEnded, this, &TControlClient::PollingEnded);
    FSession->StartPolling(FSettings.OutputLimit);
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
            flags[U(k - 1)] = true;
        }
    }
    control = PackLevelFlags(flags);
    return true;
}

QString TControlClient::LevelName(int k) const {
    return QStringLiteral("L%1 %2").arg(k).arg(
        QString::fromStdString(FSession->Levels().Names[U(k)]));
}

void TControlClient::CycleSeen() {
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
            return;
        }
        return Ready();
    }
    if (FOptions.Command == QLatin1String("watch"))
        return ReportChanges();
    if (FOnCycle && --FCyclesLeft <= 0) {
        const auto step = std::move(FOnCycle);
        FOnCycle = nullptr;
        step();
    }
}

void TControlClient::Ready() {
    const QString& c = FOptions.Command;
    const bool acts =
        c == QLatin1String("route") || c == QLatin1String("lock") || c == QLatin1String("unlock");
    bool anyLevel = false;
    for (int k = 1; k <= FSession->CrossPoints().LevelCount(); ++k)
        anyLevel = anyLevel || LevelFlag(FSession->CrossPoints().State().Control(), k);
    if (acts && !anyLevel)
        return Finish(ctl::Usage, QStringLiteral("no level to act on: none is controlled in the "
                                                 "INI file or given with --level"));
    if (c == QLatin1String("show"))
        Show();
    else if (c == QLatin1String("route"))
        Route();
    else if (c == QLatin1String("lock") || c == QLatin1String("unlock"))
        Lock(c == QLatin1String("lock"));
    else if (c == QLatin1String("watch"))
        Snapshot(); // changes are reported against it from now on
    else if (c == QLatin1String("salvo"))
        Salvo();
    else if (c == QLatin1String("names"))
        Names();
    else
        Finish(ctl::Usage, QStringLiteral("unknown command %1").arg(c));
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
    if (FOptions.Arguments.size() != 2)
        return Finish(ctl::Usage, QStringLiteral("route takes an output and an input"));
    QString error;
    const int o = ResolveEndpoint(FOptions.Arguments[0], FNames.OutputNames, cross.Outputs(),
                                  "output", &error);
    const int i = o < 0 ? -1
                        : ResolveEndpoint(FOptions.Arguments[1], FNames.InputNames, cross.Inputs(),
                                          "input", &error);
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
            if (now.Status(o, k.toInt()) != wanted[U(k.toInt() - 1)])
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

void TControlClient::Lock(bool lock) {
    TCrossPoints& cross = FSession->CrossPoints();
    if (FOptions.Arguments.size() != 1)
        return Finish(ctl::Usage, QStringLiteral("%1 takes an output").arg(FOptions.Command));
    QString error;
    const int o = ResolveEndpoint(FOptions.Arguments[0], FNames.OutputNames, cross.Outputs(),
                                  "output", &error);
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

void TControlClient::Salvo() {
    const QStringList& a = FOptions.Arguments;
    const bool list = a.size() == 1 && a[0] == QLatin1String("list");
    if (!list && !(a.size() == 2 && a[0] == QLatin1String("take")))
        return Finish(ctl::Usage, QStringLiteral("salvo list, or salvo take NAME"));
    // The salvos of the matrix size the switchers report, as the panel keeps them.
    FSession->PrepareSalvoFolder(true);
    FSession->LoadSalvos();
    if (list) {
        for (const TMemorySlot& slot : FSession->Salvos()) {
            const QString name = QString::fromStdString(slot.Name);
            if (FOptions.Json)
                PrintJson({{QStringLiteral("type"), QStringLiteral("salvo")},
                           {QStringLiteral("name"), name},
                           {QStringLiteral("outputs"), slot.Count}});
            else
                Print(name);
        }
        return Finish(ctl::Done);
    }
    const TMemorySlot* found = FSession->FindSalvo(a[1].toStdString());
    if (!found) {
        QStringList names;
        for (const TMemorySlot& slot : FSession->Salvos())
            names << QString::fromStdString(slot.Name);
        return Finish(ctl::Usage,
                      QStringLiteral("no salvo \"%1\" for this matrix size; there are: %2")
                          .arg(a[1], names.join(QStringLiteral(", "))));
    }
    const TMemorySlot slot = *found;
    FSession->SetMode(TMode::Preset);
    FSession->RecallSalvo(slot);
    FSession->Take(FOptions.IgnoreLocks);
    Confirm([=, this] {
        const TFieldState& f = FSession->CrossPoints().State();
        QStringList held;
        const int outputs = FSession->CrossPoints().Outputs();
        const int inputs = FSession->CrossPoints().Inputs();
        for (int n = 0; n < std::clamp(slot.Count, 0, TMemorySlot::MaxEntries); ++n) {
            const int o = slot.Outputs[U(n)];
            if (o < 0 || o >= outputs)
                continue;
            for (int k = 1; k <= FSession->CrossPoints().LevelCount(); ++k) {
                const int wanted = slot.Sources[U(n)][U(k - 1)];
                if (LevelFlag(f.Control(), k) && wanted >= 0 && wanted < inputs &&
                    f.Status(o, k) != wanted)
                    held << QStringLiteral("out %1 on %2").arg(o + 1).arg(LevelName(k));
            }
        }
        if (FOptions.Json)
            PrintJson({{QStringLiteral("type"), QStringLiteral("salvo")},
                       {QStringLiteral("name"), QString::fromStdString(slot.Name)},
                       {QStringLiteral("taken"), held.isEmpty()}});
        else if (held.isEmpty())
            Print(QStringLiteral("salvo \"%1\" taken").arg(QString::fromStdString(slot.Name)));
        return held.isEmpty()
                   ? QString()
                   : QStringLiteral("not taken (locked?): ") + held.join(QStringLiteral(", "));
    });
}

// Names and logos to and from a label file, for the matrix size the
// switchers report.
void TControlClient::Names() {
    const QStringList& a = FOptions.Arguments;
    if (a.size() != 2 || (a[0] != QLatin1String("export") && a[0] != QLatin1String("import")))
        return Finish(ctl::Usage, QStringLiteral("names export FILE, or names import FILE"));
    const int inputs = FSession->CrossPoints().Inputs();
    const int outputs = FSession->CrossPoints().Outputs();
    const std::string file = QFile::encodeName(a[1]).toStdString();
    std::string error;
    if (a[0] == QLatin1String("export")) {
        const QByteArray csv = labelfile::Write(FNames.InputNames, FNames.InputLogos, inputs,
                                                FNames.OutputNames, FNames.OutputLogos, outputs);
        if (!safefile::Save(file, csv.toStdString(), &error))
            return Finish(
                ctl::Usage,
                QStringLiteral("cannot write %1 (%2)").arg(a[1], QString::fromStdString(error)));
        return Finish(ctl::Done);
    }
    std::string data;
    if (!safefile::ReadRegular(file, MaxLabelFileBytes, data, &error))
        return Finish(
            ctl::Usage,
            QStringLiteral("cannot read %1 (%2)").arg(a[1], QString::fromStdString(error)));
    TLabels labels;
    QString why;
    if (!labelfile::Read(QByteArray::fromStdString(data), inputs, outputs, labels, &why))
        return Finish(ctl::Usage,
                      a[1] + QStringLiteral(": ") + why + QStringLiteral("; nothing imported"));
    TIniFile ini(FOptions.IniFile.toStdString());
    if (!ini.Load() && QFileInfo::exists(FOptions.IniFile))
        return Finish(ctl::Usage,
                      QStringLiteral("cannot read %1 (%2)")
                          .arg(FOptions.IniFile, QString::fromStdString(ini.LastError())));
    if (!labelfile::Apply(ini, labels, &why))
        return Finish(ctl::Usage,
                      QStringLiteral("cannot write %1 (%2)").arg(FOptions.IniFile, why));
    Print(QStringLiteral("%1 input and %2 output names imported into %3")
              .arg(labels.Inputs.size())
              .arg(labels.Outputs.size())
              .arg(FOptions.IniFile));
    Finish(ctl::Done);
}

// Gives the change time to reach the switchers and come back in their state,
// then asks `differs` what did not happen (or what a lock held): exit 4 then.
void TControlClient::Confirm(const std::function<QString()>& differs) {
    FCyclesLeft = ConfirmReports;
    FOnCycle = [this, differs] {
        const QString error = differs();
        Finish(error.isEmpty() ? ctl::Done : ctl::Refused, error);
    };
}

void TControlClient::Snapshot() {
    const TCrossPoints& cross = FSession->CrossPoints();
    FSeenStatus.assign(U(cross.Outputs()), {});
    FSeenLocks.assign(U(cross.Outputs()), 0);
    for (int o = 0; o < cross.Outputs(); ++o) {
        FSeenStatus[U(o)] = cross.State().Status(o);
        FSeenLocks[U(o)] = cross.State().Lock(o);
    }
    FSeenMonitor = cross.State().Monitor();
}

void TControlClient::ReportChanges() {
    const TCrossPoints& cross = FSession->CrossPoints();
    const TFieldState& f = cross.State();
    if (U(cross.Outputs()) != FSeenStatus.size())
        Snapshot(); // a new matrix size: its state is the new baseline
    for (int o = 0; o < cross.Outputs(); ++o)
        for (int k = 1; k <= cross.LevelCount(); ++k) {
            const int in = f.Status(o, k);
            if (in != FSeenStatus[U(o)][U(k - 1)]) {
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
            if (locked != LevelFlag(FSeenLocks[U(o)], k)) {
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
        if (m == FSeenMonitor[U(k - 1)])
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
    const QString reason = text.isEmpty() ? QStringLiteral("the connection ended") : text;
    if (FOptions.Command == QLatin1String("watch")) {
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
        });
        return;
    }
    FReady = false;
    if (FOnCycle)
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
    FOnCycle = nullptr;
    FTimeout->stop();
    if (!error.isEmpty()) {
        // One line, whatever a switcher's or a file's text held.
        QString line = error;
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        std::fprintf(FErr, "matrixctl: %s\n", line.toUtf8().constData());
        std::fflush(FErr);
    }
    if (FSession && FSession->Polling()) {
        FSession->StopPolling(); // PollingEnded finishes
        return;
    }
    QTimer::singleShot(0, this, [this] { Q_EMIT Finished(FStatus); });
}

void TControlClient::Print(const QString& line) {
    std::fprintf(FOut, "%s\n", line.toUtf8().constData());
    std::fflush(FOut);
}

void TControlClient::PrintJson(const QVariantMap& object) {
    Print(QString::fromUtf8(
        QJsonDocument(QJsonObject::fromVariantMap(object)).toJson(QJsonDocument::Compact)));
}
