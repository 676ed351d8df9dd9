#include "UtilityLauncher.h"

#include "WindowFinder.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>

#include <algorithm>
#include <csignal>

namespace {

const std::string UtilityTitle = "Fibre watch";

} // namespace

TUtilityLauncher::TUtilityLauncher() {
    FUptime.start();
}

bool TUtilityLauncher::FindWindows(int switchers, std::array<std::uint64_t, 4>& found) {
    found.fill(0);
    const bool searchable = findwindow::Available();
    const std::string program = QFileInfo(FProgram).canonicalFilePath().toStdString();
    bool any = false;
    for (int i = 0; i < std::min(switchers, 4); ++i) {
        const auto slot = static_cast<std::size_t>(i);
        qint64& pid = FPid[slot];
        if (pid == 0)
            continue;
        // A pid is trusted only while it is still our utility (pids are reused).
        if (!findwindow::ProcessAlive(pid) || findwindow::ProcessExe(pid) != program) {
            pid = 0;
            continue;
        }
        if (searchable) {
            found[slot] = findwindow::FindProcessMainWindow(pid, UtilityTitle, FRole[slot]);
            // A new utility gets time to show its window before it counts as lost.
            if (found[slot] == 0 && FUptime.elapsed() - FStartMs[slot] > GraceMs) {
                pid = 0;
                continue;
            }
        }
        any = true;
    }
    return any;
}

void TUtilityLauncher::QuitAll() {
    std::array<std::uint64_t, 4> found{};
    FindWindows(4, found);
    for (std::size_t i = 0; i < 4; ++i) {
        if (found[i] != 0)
            findwindow::PostQuit(found[i]);
        else if (FPid[i] != 0)
            // No window to ask (none yet, or no display to search): the
            // utility also quits cleanly on SIGTERM, and the pid was just
            // checked to be our utility's.
            ::kill(static_cast<pid_t>(FPid[i]), SIGTERM);
    }
    // Switchers are numbered by position; after a change of the list a
    // lingering utility must not be taken for another switcher's.
    FPid.fill(0);
}

void TUtilityLauncher::Launch(int i, int switchers, const QString& address) {
    if (i < 1 || i > std::min(switchers, 4))
        return;
    const auto slot = static_cast<std::size_t>(i - 1);
    if (FPid[slot] == 0) {
        qint64 pid = 0;
        // Its window carries a role made for this start, so that another
        // window claiming the same process id is never taken for it.
        const QString role =
            QStringLiteral("fibrewatch-%1")
                .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
        QProcess process;
        process.setProgram(FProgram);
        // The argument list goes to the program as it is, with no shell: a
        // path with blanks works.
        process.setArguments({address});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("FIBREWATCH_WINDOW_ROLE"), role);
        process.setProcessEnvironment(environment);
        if (!process.startDetached(&pid) || pid <= 0)
            return; // a missing utility fails silently
        for (qint64& other : FPid)
            if (other == pid)
                other = 0;
        FPid[slot] = pid;
        FRole[slot] = role.toStdString();
        FStartMs[slot] = FUptime.elapsed();
        return;
    }
    std::array<std::uint64_t, 4> found{};
    if (FindWindows(switchers, found) && found[slot] != 0)
        findwindow::BringToFront(found[slot], 0);
}

qint64 TUtilityLauncher::Pid(int i) const {
    return i >= 1 && i <= 4 ? FPid[static_cast<std::size_t>(i - 1)] : 0;
}
