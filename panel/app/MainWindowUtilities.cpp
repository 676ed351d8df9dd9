#include "MainWindow.h"

#include "IpText.h"
#include "LevelControl.h"
#include "MessageBox.h"
#include "MonitorWindow.h"
#include "SpeedButton.h"
#include "WindowFinder.h"

#include <QAction>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>

#include <csignal>

namespace {

const std::string UtilityTitle = "Fibre watch";

} // namespace

bool TMainWindow::FindUtilityWindows(std::array<std::uint64_t, 4>& found) {
    found.fill(0);
    const bool searchable = findwindow::Available();
    const std::string program = QFileInfo(FUtilityPath).canonicalFilePath().toStdString();
    bool any = false;
    for (int i = 0; i < std::min(FSession->Levels().SwitcherCount, 4); ++i) {
        qint64& pid = FSwitcherPID[static_cast<std::size_t>(i)];
        if (pid == 0)
            continue;
        // A pid is trusted only while it is still our utility (pids are reused).
        if (!findwindow::ProcessAlive(pid) || findwindow::ProcessExe(pid) != program) {
            pid = 0;
            continue;
        }
        if (searchable) {
            found[static_cast<std::size_t>(i)] = findwindow::FindProcessMainWindow(
                pid, UtilityTitle, FSwitcherRole[static_cast<std::size_t>(i)]);
            // A new utility gets time to show its window before it counts as lost.
            const qint64 age = FUptime.elapsed() - FSwitcherStartMs[static_cast<std::size_t>(i)];
            if (found[static_cast<std::size_t>(i)] == 0 && age > UtilityGraceMs) {
                pid = 0;
                continue;
            }
        }
        any = true;
    }
    return any;
}

void TMainWindow::QuitUtilities() {
    std::array<std::uint64_t, 4> found{};
    FindUtilityWindows(found);
    for (int i = 0; i < 4; ++i) {
        const qint64 pid = FSwitcherPID[static_cast<std::size_t>(i)];
        if (found[static_cast<std::size_t>(i)] != 0)
            findwindow::PostQuit(found[static_cast<std::size_t>(i)]);
        else if (pid != 0)
            // No window to ask (none yet, or no display to search): the
            // utility also quits cleanly on SIGTERM, and the pid was just
            // checked to be our utility's.
            ::kill(static_cast<pid_t>(pid), SIGTERM);
    }
    // Switchers are numbered by position; after a change of the list a
    // lingering utility must not be taken for another switcher's.
    FSwitcherPID.fill(0);
}

void TMainWindow::LaunchUtility(int i) {
    if (i < 1 || i > std::min(FSession->Levels().SwitcherCount, 4))
        return;
    const auto slot = static_cast<std::size_t>(i - 1);
    if (FSwitcherPID[slot] == 0) {
        qint64 pid = 0;
        const QString ip = QString::fromStdString(FormatIP(FSession->Levels().SwitcherIP[slot]));
        // Its window carries a role made for this start, so that another
        // window claiming the same process id is never taken for it.
        const QString role =
            QStringLiteral("fibrewatch-%1")
                .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
        QProcess process;
        process.setProgram(FUtilityPath);
        // The argument list goes to the program as it is, with no shell: a
        // path with blanks works.
        process.setArguments({ip});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FIBREWATCH_WINDOW_ROLE"), role);
        process.setProcessEnvironment(environment);
        if (!process.startDetached(&pid) || pid <= 0)
            return; // a missing utility fails silently
        for (qint64& other : FSwitcherPID)
            if (other == pid)
                other = 0;
        FSwitcherPID[slot] = pid;
        FSwitcherRole[slot] = role.toStdString();
        FSwitcherStartMs[slot] = FUptime.elapsed();
        return;
    }
    std::array<std::uint64_t, 4> found{};
    if (FindUtilityWindows(found) && found[slot] != 0)
        findwindow::BringToFront(found[slot], winId());
}

void TMainWindow::SBtnMonitorMouseDown(Qt::MouseButton) {
    if (!FSettings.FSfpEnabled || FMonitorDlg)
        return;
    const TLevels levels = FSession->Levels();
    QStringList captions;
    for (int i = 0; i < std::min(levels.SwitcherCount, 4); ++i)
        captions << MonitorCaption(levels.SwitcherIP[static_cast<std::size_t>(i)], levels.Count,
                                   levels.IP, levels.Address,
                                   [this](int j) { return LevelControl->GetLevelName(j); });
    TMonitorWindow dialog(captions, this);
    dialog.move(geometry().center() - dialog.rect().center());
    int pressed = 0;
    dialog.OnPress = [&pressed](int i) { pressed = i; };
    FMonitorDlg = &dialog;
    MarkRunningUtilities(); // colour the buttons at once
    RunModal([&] { msgbox::ExecDialog(dialog); });
    FMonitorDlg = nullptr;
    // The list of switchers is the one the buttons were made for.
    const TLevels& now = FSession->Levels();
    if (pressed != 0 && !FClosing && levels.SwitcherIP == now.SwitcherIP &&
        levels.SwitcherCount == now.SwitcherCount)
        LaunchUtility(pressed);
}

void TMainWindow::WindowMenuMonitorClick() {
    FSettings.FSfpEnabled = !FSettings.FSfpEnabled;
    SBtnMonitor->setEnabled(FSettings.FSfpEnabled);
    if (!FSettings.FSfpEnabled)
        QuitUtilities();
}

qint64 TMainWindow::UtilityPid(int i) const {
    return i >= 1 && i <= 4 ? FSwitcherPID[static_cast<std::size_t>(i - 1)] : 0;
}
