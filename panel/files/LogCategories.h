#pragma once

#include <QLoggingCategory>

// The panel's logging categories; warnings only unless QT_LOGGING_RULES
// turns more on (e.g. "panel.*.info=true").
Q_DECLARE_LOGGING_CATEGORY(lcLink)
Q_DECLARE_LOGGING_CATEGORY(lcPoll)
Q_DECLARE_LOGGING_CATEGORY(lcFiles)
Q_DECLARE_LOGGING_CATEGORY(lcUi)

// Sends the link's and the poll cycle's lines to lcLink and lcPoll.
void InstallPanelLogSink();
