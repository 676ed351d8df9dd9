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

// Exit status of matrixctl.
namespace ctl {
constexpr int Done = 0;
constexpr int Usage = 2;
constexpr int NoConnection = 3;
constexpr int Refused = 4;
} // namespace ctl

// An input or an output as the operator gives it: a number from 1, or a name
// (case ignored). Returns the 0-based index, or -1 with the reason in error.
int ResolveEndpoint(const QString& text, const std::array<QString, 256>& names, int count,
                    const char* what, QString* error);

// matrixctl's work: reads the panel's INI and level set, operates the
// switchers through a session of its own for as long as the command needs,
// and reports on standard output (or as JSON lines) and standard error.
class TControlClient : public QObject {
    Q_OBJECT
public:
    struct TOptions {
        QString Command;
        QStringList Arguments;
        QString IniFile, LevelSetFile;
        std::vector<int> Levels; // empty: the levels controlled in the INI
        bool Json = false;
        bool IgnoreLocks = false;
        int ReadyTimeoutMs = 15000;
    };

    TControlClient(TOptions options, std::FILE* out = stdout, std::FILE* err = stderr);
    ~TControlClient() override;

    // Starts the command; Finished(status) follows (at once for those that
    // need no switcher).
    void Start();

Q_SIGNALS:
    void Finished(int status);

private:
    void Ready();
    void Show();
    void Route();
    void Lock(bool lock);
    void Salvo();
    void Names();
    void Confirm(const std::function<QString()>& differs);
    void CycleSeen();
    void PollingEnded(const QString& text);
    void Finish(int status, const QString& error = {});
    void Print(const QString& line);
    void PrintJson(const QVariantMap& object);
    bool TargetLevels(std::uint32_t& control, QString* error) const;
    QString LevelName(int k) const;
    void Snapshot();
    void ReportChanges();

    TOptions FOptions;
    std::FILE* FOut;
    std::FILE* FErr;
    std::unique_ptr<TSession> FSession;
    TIniSettings FSettings;
    TIniNames FNames;
    QTimer* FTimeout;
    bool FReady = false, FFinishing = false, FLost = false;
    int FStatus = ctl::Done;
    std::function<void()> FOnCycle; // what the next cycles wait for
    int FCyclesLeft = 0;
    std::vector<TLevelValues> FSeenStatus;
    std::vector<std::uint32_t> FSeenLocks;
    TLevelValues FSeenMonitor{};
};
