// Times the MEMORY list with a large salvo folder: loading and listing it at a
// size change, and New up to its dialog. Usage: bench_salvos [count]
// (default 10000). Prints milliseconds; nothing is asserted.
#include "Field.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "PanelTest.h"
#include "SalvoFile.h"
#include "SpeedButton.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Memory/16x16-4/"));
    QDir().mkpath(folder);
    TMemorySlot slot;
    slot.Count = 1;
    const std::string bytes = salvofile::Encode(slot);
    for (int i = 0; i < count; ++i) {
        QFile f(folder + QStringLiteral("New salvo %1.mem").arg(i + 1));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(bytes.data(), qint64(bytes.size()));
    }
    TMainWindow w(dir.filePath(QStringLiteral("matrixpanel.ini")));
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 1;
    QElapsedTimer t;
    t.start();
    w.Session().ApplySize(16, 16);
    QApplication::processEvents(); // the list lays itself out
    const double load = double(t.nsecsElapsed()) / 1e6;
    w.Session().FirstCycle(2);
    w.Session().SetMode(TMode::Preset);
    double toDialog = -1;
    msgbox::SetDialogHandler([&](QDialog&) {
        toDialog = double(t.nsecsElapsed()) / 1e6;
        return int(QDialog::Rejected);
    });
    t.restart();
    QTest::mouseClick(Part<TSpeedButton>(w, "SBtnNewSlot"), Qt::LeftButton);
    std::printf("salvos %d: load and list %.1f ms, New to its dialog %.1f ms (listed %d)\n", count,
                load, toDialog, Part<QListWidget>(w, "LBoxMemory")->count());
    return 0;
}
