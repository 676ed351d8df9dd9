#pragma once

#include "SimChassis.h"

#include <QThread>

#include <memory>
#include <vector>

namespace sim {

// Runs chassis on a thread of their own, so that a caller may block on a
// socket while the chassis answer.
class TSimulator {
public:
    TSimulator();
    ~TSimulator();
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    // Creates and starts a chassis; nullptr (with the reason in error) when it cannot listen.
    TChassis* AddChassis(const TChassisConfig& config, QString* error = nullptr);
    const std::vector<TChassis*>& Chassis() const { return FChassis; }

private:
    QThread FThread;
    QObject* FContext; // lives in FThread: the target of work handed to it
    std::vector<TChassis*> FChassis;
};

// Parses "ADDRESS[:PORT][:levels=A,B][:size=INPUTSxOUTPUTS]"; false on bad text.
bool ParseChassisText(const QString& text, TChassisConfig& config, QString& error);

} // namespace sim
