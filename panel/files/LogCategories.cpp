#include "LogCategories.h"

#include "LogSink.h"

Q_LOGGING_CATEGORY(lcLink, "panel.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPoll, "panel.poll", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFiles, "panel.files", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "panel.ui", QtWarningMsg)

void InstallPanelLogSink() {
    logsink::SetSink([](logsink::TArea area, bool warning, const std::string& text) {
        const QLoggingCategory& c = area == logsink::TArea::Link ? lcLink() : lcPoll();
        if (warning)
            qCWarning(c).noquote() << QString::fromStdString(text);
        else
            qCInfo(c).noquote() << QString::fromStdString(text);
    });
}
