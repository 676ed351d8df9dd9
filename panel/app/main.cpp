#include "MainWindow.h"

#include "AppIcon.h"
#include "FilesFolder.h"
#include "HdmiWindow.h"
#include "LogCategories.h"
#include "Look.h"
#include "ProgramInfo.h"
#include "SpeedButton.h"
#include "StatusWindow.h"
#include "TipForm.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>

#include <utility>

int main(int argc, char* argv[]) {
    if (AnswerInfoOptions(
            argc, argv, "matrixpanel",
            "Usage: matrixpanel [--help] [--version]\n"
            "The operator's control panel for video routing switchers. It keeps its files\n"
            "(matrixpanel.ini, matrixpanel.set, Memory/, matrixpanel-operations.log) beside the\n"
            "program, or in ~/.config/matrixpanel when that folder is not writable.\n"))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ORBIS HALO SERIES"));
    QApplication::setApplicationDisplayName(QStringLiteral("ORBIS HALO SERIES"));
    InstallFontSubstitutions();
    InstallPanelLogSink();

    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(PaintAppIcon(size)));
    QApplication::setWindowIcon(icon);

    // The INI file has the program's base name; it sits beside the program
    // unless that folder is not writable (an install owned by root).
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString folder =
        PanelFilesFolder(exe.absolutePath(),
                         QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                             QStringLiteral("/matrixpanel"),
                         exe.completeBaseName(), QFileInfo(exe.absolutePath()).isWritable());
    qCInfo(lcFiles).noquote() << "Files of the panel are kept in" << folder;
    const QString ini = folder + QLatin1Char('/') + exe.completeBaseName() + QStringLiteral(".ini");

    TMainWindow mainWindow(ini);
    TTip tip;
    THdmiWindow hdmi;
    TStatusWindow status;
    mainWindow.AttachForms(&tip, &hdmi, &status);
    mainWindow.show();
    tip.show(); // kept invisible by its width of 0

    // Development aid for machines without a display: save a picture of the
    // screen after a delay and close the window normally.
    const QString shot = qEnvironmentVariable("MATRIXPANEL_SCREENSHOT");
    bool shotTaken = false;
    if (!shot.isEmpty()) {
        // Start operation first so the picture shows the switchers' matrix.
        QTimer::singleShot(500, &mainWindow, [&] {
            if (auto* operate = mainWindow.findChild<TSpeedButton*>(QStringLiteral("SBtnOperate")))
                Q_EMIT operate->MouseDown(Qt::LeftButton, Qt::NoModifier);
        });
        // The picture shows the panel settled: the salvos of the matrix size
        // appear once the size has held for a while, so it waits for them too
        // (at most twice the delay).
        const int given = qEnvironmentVariableIntValue("MATRIXPANEL_SCREENSHOT_DELAY_MS");
        const int delay = given > 0 ? given : 6000;
        auto take = [&] {
            if (std::exchange(shotTaken, true))
                return;
            if (QScreen* screen = mainWindow.screen())
                screen->grabWindow(0).save(shot);
            mainWindow.close();
        };
        QTimer::singleShot(delay, &mainWindow, [&, take, delay] {
            if (!mainWindow.Session().Salvos().empty() || !mainWindow.Session().Polling())
                return take();
            QObject::connect(&mainWindow.Session(), &TSession::SalvosChanged, &mainWindow,
                             [&, take] {
                                 if (!mainWindow.Session().Salvos().empty())
                                     QTimer::singleShot(300, &mainWindow, take);
                             });
            QTimer::singleShot(delay, &mainWindow, take);
        });
    }
    return QApplication::exec();
}
