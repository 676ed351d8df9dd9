#pragma once

#include <QLoggingCategory>

// The simulator tells about connections and faults at info level by default,
// so a test run can be read afterwards; QT_LOGGING_RULES="sim.info=false" silences it.
Q_DECLARE_LOGGING_CATEGORY(lcSim)
