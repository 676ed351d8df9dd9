#pragma once

#include "IniSettings.h"
#include "Session.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

class QTimer;
class TControlClient;

// Exit status of matrixctl.
namespace ctl {
constexpr int Done = 0;
constexpr int Usage = 2;
constexpr int NoConnection = 3;
constexpr int Refused = 4;
} // namespace ctl

// One command of matrixctl: what help shows, what validation checks and what
// runs. Words are the command's own ("salvo take"); the arguments follow them.
struct TCommand {
    QStringList Words;
    QString Arguments; // as help shows them: "OUTPUT INPUT"
    QString Takes;     // as an error says them: "an output and an input"
    QString Summary;
    int MinArguments = 0, MaxArguments = 0;
    bool NeedsSwitchers = true; // connects and waits for their state
    bool Acts = false;          // changes routing: needs a level to act on
    void (TControlClient::*Run)() = nullptr;
};
const std::vector<TCommand>& Commands();
// The command the positional arguments begin with, or null.
const TCommand* FindCommand(const QStringList& positional);
// The command list of --help, from the table.
QString CommandHelp();

// An input or an output as the operator gives it: a number from 1, or a name
// (case ignored). Returns the 0-based index, or -1 with the reason in error;
// an unknown name is answered with the closest names.
int ResolveEndpoint(const QString& text, const std::array<QString, 256>& names, int count,
                    const char* what, QString* error);

// Why a connection failed, for a script's user: the operation, the switcher's
// address and the levels on it (their numbers and names).
QString ConnectionFailure(const TLinkError& error, const TLevels& levels);

// matrixctl's work: reads the panel's INI and level set, operates the
// switchers through a session of its own for as long as the command needs,
// and reports on standard output (or as JSON lines) and standard error.
class TControlClient : public QObject {
    Q_OBJECT
public:
    struct TOptions {
        const TCommand* Command = nullptr;
        QStringList Arguments; // after the command's words
        QString IniFile, LevelSetFile;
        std::vector<int> Levels; // empty: the levels controlled in the INI
        bool Json = false;
        bool IgnoreLocks = false;
        bool DryRun = false; // salvo take: say what would be left out, change nothing
        int ReadyTimeoutMs = 15000;
    };

    TControlClient(TOptions options, std::FILE* out = stdout, std::FILE* err = stderr);
    ~TControlClient() override;

    // Starts the command; Finished(status) follows (at once for those that
    // need no switcher).
    void Start();

    // The commands (run by the table once the switchers' state is known).
    void Levels();
    void Show();
    void Route();
    void Lock();
    void Unlock();
    void Watch();
    void SalvoList();
    void SalvoTake();
    void NamesExport();
    void NamesImport();
    void Undo();

Q_SIGNALS:
    void Finished(int status);

private:
    void Ready();
    void ChangeLock(bool lock);
    void Confirm(const std::function<QString()>& differs);
    void CyclesDone();
    void PollingEnded(const QString& text);
    void Finish(int status, const QString& error = {});
    void Print(const QString& line);
    void PrintJson(const QVariantMap& object);
    bool TargetLevels(std::uint32_t& control, QString* error) const;
    QString LevelName(int k) const;
    const TMemorySlot* FindSalvo(const QString& name, QString* error) const;
    void Snapshot();
    // Keeps the session's step back for the next `matrixctl undo`.
    void SaveStepBack();
    QString UndoFile() const;
    void ReportChanges();

    TOptions FOptions;
    std::FILE* FOut;
    std::FILE* FErr;
    std::unique_ptr<TSession> FSession;
    TIniSettings FSettings;
    QTimer* FTimeout;
    bool FReady = false, FFinishing = false, FLost = false;
    int FStatus = ctl::Done;
    std::function<void()> FOnCycles; // what the requested cycles wait for
    std::vector<TLevelValues> FSeenStatus;
    std::vector<std::uint32_t> FSeenLocks;
    TLevelValues FSeenMonitor{};
};
