#pragma once

#include <QLoggingCategory>

// The utility's log. Its per-request lines are debug lines, off unless
// QT_LOGGING_RULES="fibrewatch.debug=true" or --verbose turns them on;
// connection changes (info) and errors (warning) are always written.
Q_DECLARE_LOGGING_CATEGORY(lcFibrewatch)
