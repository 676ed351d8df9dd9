#pragma once

#include <QElapsedTimer>
#include <QString>

#include <array>
#include <cstdint>
#include <string>

// Starts the optical-module utility once per switcher, finds its window again
// by its process (as the X server knows it), its exact title and the role made
// for that start, raises it, and asks every running one to quit. Switchers are
// numbered 1..4 in the level set's order.
class TUtilityLauncher {
public:
    TUtilityLauncher();

    void SetProgram(const QString& path) { FProgram = path; }
    const QString& Program() const { return FProgram; }

    // Fills found (slot i - 1 for switcher i) with the utility windows of the
    // first `switchers` switchers and forgets utilities that are gone; true
    // while any still runs.
    bool FindWindows(int switchers, std::array<std::uint64_t, 4>& found);
    // Starts switcher i's utility for the address given, or brings the
    // running one to the front.
    void Launch(int i, int switchers, const QString& address);
    // Asks every running utility to quit and forgets them all.
    void QuitAll();
    // The process id of switcher i's utility, 0 when none runs.
    qint64 Pid(int i) const;

    // A started utility without a window yet counts as running this long.
    static constexpr qint64 GraceMs = 10000;

private:
    QString FProgram;
    QElapsedTimer FUptime;
    std::array<qint64, 4> FPid{};
    std::array<std::string, 4> FRole;
    std::array<qint64, 4> FStartMs{};
};
