#pragma once

#include <QLoggingCategory>

// The utility's log lines go to the debug output, as they always have; the
// category lets QT_LOGGING_RULES silence them ("fibrewatch.debug=false").
Q_DECLARE_LOGGING_CATEGORY(lcFibrewatch)
