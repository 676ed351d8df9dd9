#include "ColorTabBar.h"
#include "Field.h"
#include "HdmiWindow.h"
#include "HoverPanel.h"
#include "IndicatorBox.h"
#include "IniFile.h"
#include "LevelControl.h"
#include "MainWindow.h"
#include "Panel.h"
#include "PanelTest.h"
#include "Pickers.h"
#include "PreviewField.h"
#include "SpeedButton.h"
#include "StatusWindow.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <limits>
#include <memory>
#include <sys/stat.h>

namespace {

void WriteFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(text);
}

// Closes the window the way the operator does and waits until it has closed.
void CloseAndWait(TMainWindow& w) {
    w.close();
    QTRY_VERIFY_WITH_TIMEOUT(!w.ClockRunning() && !w.isVisible(), 5000);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    QString Ini() const { return FDir.filePath(QStringLiteral("matrixpanel.ini")); }
    QString Set() const { return FDir.filePath(QStringLiteral("matrixpanel.set")); }

private Q_SLOTS:
    void init() {
        QFile::remove(Ini());
        QFile::remove(Set());
    }

    void clampBounds_data() {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("expected");
        const int big = std::numeric_limits<int>::max(), small = std::numeric_limits<int>::min();
        QTest::newRow("inside") << 20 << 20 << 750 << 700 << QRect(20, 20, 750, 700);
        QTest::newRow("left beyond") << 5000 << 20 << 750 << 700 << QRect(1820, 20, 750, 700);
        QTest::newRow("top beyond") << 20 << 2000 << 750 << 700 << QRect(20, 980, 750, 700);
        QTest::newRow("negative") << -30 << -1 << 750 << 700 << QRect(0, 0, 750, 700);
        // At least 100 pixels of the window stay on the screen.
        QTest::newRow("left at edge") << 1920 << 0 << 750 << 700 << QRect(1820, 0, 750, 700);
        QTest::newRow("top at edge") << 0 << 1050 << 750 << 700 << QRect(0, 980, 750, 700);
        QTest::newRow("too large") << 0 << 0 << 4000 << 3000 << QRect(0, 0, 1920, 1080);
        // Degenerate sizes grow to the minimum size (400 x 600 here).
        QTest::newRow("zero size") << 20 << 20 << 0 << 0 << QRect(20, 20, 400, 600);
        QTest::newRow("negative size") << 20 << 20 << -5 << -600 << QRect(20, 20, 400, 600);
        QTest::newRow("huge values") << big << big << big << big << QRect(1820, 980, 1920, 1080);
        QTest::newRow("left plus width overflows")
            << 1000 << 0 << big << 700 << QRect(1000, 0, 1920, 700);
        QTest::newRow("most negative") << small << small << small << small << QRect(0, 0, 400, 600);
    }
    void clampBounds() {
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QRect, expected);
        QCOMPARE(ClampWindowBounds(left, top, width, height, QSize(1920, 1080), QSize(400, 600)),
                 expected);
    }

    void defaultsWithoutIni() {
        TMainWindow w(Ini());
        QCOMPARE(w.pos(), QPoint(20, 20));
        // 750 x 550 cut off the console and the salvo list: the default grows
        // to the smallest size that shows the whole right-hand column.
        QCOMPARE(w.size(), QSize(750, w.minimumHeight()));
        QVERIFY(w.minimumHeight() > 550);
        QCOMPARE(Part<TField>(w, "Field")->GetScale(), 3);
        QCOMPARE(w.Settings().FLastState, 1);
        QCOMPARE(w.Settings().PreviewScale, 64);
        QVERIFY(!w.Settings().StatusEnabled && !w.Settings().HdmiEnabled &&
                !w.Settings().FSfpEnabled && !w.Settings().FHintsOn);
        QCOMPARE(w.Settings().FVisibleLevels, (std::array<bool, 4>{true, true, true, true}));
        QCOMPARE(w.Settings().FControlLevels, (std::array<bool, 4>{true, true, true, true}));
        QCOMPARE(w.Session().Levels().Count, 0);
        QCOMPARE(w.Session().Mode(), TMode::Off);
        QCOMPARE(Part<TPanel>(w, "PanelFieldCaption")->Caption(), QStringLiteral("KESTREL"));
        QCOMPARE(w.windowTitle(), QStringLiteral("HALO SERIES CONTROL PANEL"));
        QVERIFY(!Part<TSpeedButton>(w, "SBtnMonitor")->isEnabled());
        QVERIFY(!Part<TPanel>(w, "LabelClients")->isVisible());
        for (TIndicatorBox* s :
             {Part<TIndicatorBox>(w, "ShapeInit"), Part<TIndicatorBox>(w, "ShapeConfig"),
              Part<TIndicatorBox>(w, "ShapeState"), Part<TIndicatorBox>(w, "ShapeProc")})
            QCOMPARE(s->Color(), clr::White);
    }

    void iniValues() {
        WriteFile(Ini(),
                  "[WINDOW]\nLEFT=5000\nTOP=-7\nWIDTH=640\nHEIGHT=720\nZOOM=5\nSCALE=16\n"
                  "OUTPUTLIMIT=64\nSFP=7\nHINT=-1\nLASTSTATE=2\nAPP=  free text  \n"
                  "[SWINDOW]\nLEFT=-5\nTOP=99999\nENABLED=1\n"
                  "[LEVELS]\nVISIBLE2=0\nCONTROL4=0\n[INPUTS]\nNAME0=CAM 1\nLOGO255=/x/y.bmp\n");
        TMainWindow w(Ini());
        w.SetScreenSize({1920, 1080});
        w.LoadIni();
        QCOMPARE(w.pos(), QPoint(1820, 0));
        QCOMPARE(w.size(), QSize(640, 720));
        QCOMPARE(Part<TField>(w, "Field")->GetScale(), 5);
        QCOMPARE(w.Settings().PreviewScale, 16);
        QCOMPARE(w.Settings().OutputLimit, 64);
        QVERIFY(w.Settings().FSfpEnabled); // any non-zero is true
        QVERIFY(Part<TSpeedButton>(w, "SBtnMonitor")->isEnabled());
        QVERIFY(w.Settings().FHintsOn);
        QVERIFY(w.Settings().StatusEnabled);
        QCOMPARE(w.Settings().FStatusPos, QPoint(0, 980));
        QCOMPARE(w.Settings().FLastState, 2);
        QCOMPARE(w.Settings().FAppText, std::string("free text"));
        QCOMPARE(w.Settings().FVisibleLevels, (std::array<bool, 4>{true, false, true, true}));
        QCOMPARE(w.Settings().FControlLevels, (std::array<bool, 4>{true, true, true, false}));
        QCOMPARE(Part<TField>(w, "Field")->GetInputName(0), QStringLiteral("CAM 1"));
        // A logo file that does not exist leaves the plain square; its path is kept.
        QCOMPARE(Part<TField>(w, "Field")->GetInputLogo(255), QStringLiteral("/x/y.bmp"));
        QCOMPARE(Part<TField>(w, "Field")->GetControl(), 0x00010101u);
    }

    void minimumSizeShowsWholeColumn_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::newRow("defaults") << QByteArray();
        QTest::newRow("1 pixel") << QByteArray("[WINDOW]\nWIDTH=1\nHEIGHT=1\n");
        QTest::newRow("zero") << QByteArray("[WINDOW]\nWIDTH=0\nHEIGHT=0\n");
        QTest::newRow("negative") << QByteArray("[WINDOW]\nWIDTH=-100\nHEIGHT=-3\n");
    }
    void minimumSizeShowsWholeColumn() {
        QFETCH(QByteArray, ini);
        if (!ini.isEmpty())
            WriteFile(Ini(), ini);
        TMainWindow w(Ini());
        w.SetScreenSize({1920, 1080});
        w.LoadIni();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.width() >= w.minimumWidth() && w.height() >= w.minimumHeight());
        // Every control of the column lies fully inside the window, MEMORY shows
        // its list with room for a few rows.
        for (QWidget* c : {static_cast<QWidget*>(Part<TSpeedButton>(w, "SBtnConsoleTake")),
                           static_cast<QWidget*>(Part<TSpeedButton>(w, "SBtnESC")),
                           static_cast<QWidget*>(Part<TSpeedButton>(w, "SBtnDelSlot")),
                           static_cast<QWidget*>(Part<TSpeedButton>(w, "SBtnTake"))}) {
            const QRect r(c->mapTo(&w, QPoint(0, 0)), c->size());
            QVERIFY2(w.rect().contains(r), qPrintable(c->objectName()));
        }
        QVERIFY(Part<QListWidget>(w, "LBoxMemory")->height() >= 4 * 13);
        w.SaveIni();
        TIniFile saved(Ini().toStdString());
        QVERIFY(saved.Load());
        QVERIFY(saved.ReadInteger("WINDOW", "HEIGHT", 0) >= w.minimumHeight());
    }

    void maximisedIgnoresGeometry() {
        WriteFile(Ini(), "[WINDOW]\nSTATE=1\nLEFT=300\nTOP=300\nWIDTH=400\nHEIGHT=300\n");
        TMainWindow w(Ini());
        QVERIFY(w.windowState() & Qt::WindowMaximized);
        QVERIFY(w.pos() != QPoint(300, 300));
    }

    void handWrittenKeysSurviveSaves() {
        WriteFile(Ini(), "[WINDOW]\nSCALE=16\nOUTPUTLIMIT=64\nZOOM=2\nEXTRA=keep me\n"
                         "[OUTPUTS]\nNAME3=PGM\n");
        for (int run = 0; run < 3; ++run) {
            TMainWindow w(Ini());
            w.SaveIni();
        }
        TIniFile ini(Ini().toStdString());
        QVERIFY(ini.Load());
        QCOMPARE(ini.ReadInteger("WINDOW", "SCALE", 0), 16);
        QCOMPARE(ini.ReadInteger("WINDOW", "OUTPUTLIMIT", 0), 64);
        QCOMPARE(ini.ReadInteger("WINDOW", "ZOOM", 0), 2);
        QCOMPARE(ini.ReadString("WINDOW", "EXTRA", ""), std::string("keep me"));
        QCOMPARE(ini.ReadString("OUTPUTS", "NAME3", ""), std::string("PGM"));
    }

    void saveRoundTrip() {
        {
            TMainWindow w(Ini());
            w.move(33, 44);
            w.resize(800, 720);
            Part<TField>(w, "Field")->SetScale(6);
            w.Settings().FLastState = 2;
            w.Settings().FPreviewMode = true;
            w.Settings().HdmiEnabled = true;
            // The toggles are saved as the selector holds them.
            Part<TLevelControl>(w, "LevelControl")->SetControl(0x01000101);
            Part<TLevelControl>(w, "LevelControl")->SetVisible(0x01010001);
            w.Settings().FAppText = "text with = sign";
            w.SaveIni();
        }
        TMainWindow w(Ini());
        QCOMPARE(w.pos(), QPoint(33, 44));
        QCOMPARE(w.size(), QSize(800, 720));
        QCOMPARE(Part<TField>(w, "Field")->GetScale(), 6);
        QCOMPARE(w.Settings().FLastState, 2);
        QVERIFY(w.Settings().FPreviewMode);
        QVERIFY(w.Settings().HdmiEnabled);
        QCOMPARE(w.Settings().FControlLevels, (std::array<bool, 4>{true, true, false, true}));
        QCOMPARE(w.Settings().FVisibleLevels, (std::array<bool, 4>{true, false, true, true}));
        QCOMPARE(Part<TLevelControl>(w, "LevelControl")->GetControl(), 0x01000101u);
        QCOMPARE(Part<TLevelControl>(w, "LevelControl")->GetVisible(), 0x01010001u);
        QCOMPARE(w.Settings().FAppText, std::string("text with = sign"));
        QFile f(Ini());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(
            text.contains("[WINDOW]\nLEFT=33\nTOP=44\nWIDTH=800\nHEIGHT=720\nSTATE=0\nZOOM=6\n"));
        QVERIFY(!text.contains("SCALE") && !text.contains("OUTPUTLIMIT"));
    }

    void layoutUnderResize() {
        TMainWindow w(Ini());
        w.show();
        w.resize(990, 850); // after the first show, which fits the window to the screen
        const QStringList order{"PanelComBack",    "PanelDTBack",      "PanelWindowBack",
                                "PanelLevelsBack", "PanelControlBack", "PanelConsoleBack",
                                "PanelMemoryBack"};
        auto geometries = [&] {
            QList<QRect> g;
            for (const QString& n : order)
                g << w.findChild<TPanel*>(n)->geometry();
            return g;
        };
        const QList<QRect> before = geometries();
        int y = 5;
        // DISPLAY is as tall as the selector wants, with its caption.
        const int display =
            std::max(50, Part<TLevelControl>(w, "LevelControl")->GetPreferredHeight() + 15);
        const int heights[6] = {66, 84, 94, display, 74, 188};
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(before[i].x(), 5);
            QCOMPARE(before[i].width(), 157);
            QCOMPARE(before[i].y(), y);
            if (i < 6)
                QCOMPARE(before[i].height(), heights[i]);
            y += before[i].height();
        }
        QCOMPARE(before[6].bottom(), 850 - 5 - 1);
        QCOMPARE(Part<TPanel>(w, "PanelOperBack")->geometry(), QRect(990 - 167, 0, 167, 850));
        QCOMPARE(Part<THoverPanel>(w, "PanelFieldBack")->geometry(), QRect(0, 0, 990 - 167, 850));

        w.resize(1400, 1000);
        QTRY_COMPARE(Part<TPanel>(w, "PanelOperBack")->x(), 1400 - 167);
        const QList<QRect> after = geometries();
        for (int i = 0; i < 6; ++i)
            QCOMPARE(after[i], before[i]);
        QCOMPARE(after[6].height(), before[6].height() + 150);
        QCOMPARE(Part<TPanel>(w, "PanelOperBack")->geometry(), QRect(1400 - 167, 0, 167, 1000));
        QCOMPARE(Part<THoverPanel>(w, "PanelFieldBack")->width(), 1400 - 167);
        // The memory list and its buttons follow the section.
        QCOMPARE(Part<TPanel>(w, "PanelMemoryBtns")->geometry().bottom(), after[6].height() - 3);
        QCOMPARE(Part<QListWidget>(w, "LBoxMemory")->geometry().bottom() + 1,
                 Part<TPanel>(w, "PanelMemoryBtns")->y());
        // Zoom buttons stay at the caption's right end.
        const int cw = Part<TPanel>(w, "PanelFieldCaption")->width();
        QCOMPARE(Part<TSpeedButton>(w, "SBtnZoomOut")->x(), cw - 13 * 4 / 3);
        QCOMPARE(Part<TSpeedButton>(w, "SBtnZoomIn")->x(), cw - 13 * 8 / 3);
    }

    // Hostile things where the files should be: the window still comes up,
    // with defaults, promptly.
    void hostileFiles_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("FIFO as the INI") << 0;
        QTest::newRow("directory as the INI") << 1;
        QTest::newRow("directory as the level set") << 2;
        QTest::newRow("FIFO as a logo") << 3;
        QTest::newRow("10 MB name") << 4;
    }
    void hostileFiles() {
        QFETCH(int, kind);
        const QString fifo = FDir.filePath(QStringLiteral("pipe"));
        QFile::remove(fifo);
        QVERIFY(::mkfifo(fifo.toLocal8Bit().constData(), 0644) == 0);
        QDir(Ini()).removeRecursively();
        QDir(Set()).removeRecursively();
        switch (kind) {
        case 0:
            QVERIFY(QFile::link(fifo, Ini()));
            break;
        case 1:
            QVERIFY(QDir().mkpath(Ini()));
            break;
        case 2:
            QVERIFY(QDir().mkpath(Set()));
            break;
        case 3:
            WriteFile(Ini(), "[INPUTS]\nLOGO0=" + fifo.toLocal8Bit() + "\n");
            break;
        case 4:
            WriteFile(Ini(),
                      "[INPUTS]\nNAME0=" + QByteArray(10 << 20, 'N') + "\n[WINDOW]\nZOOM=5\n");
            break;
        }
        {
            TMainWindow w(Ini());
            QCOMPARE(w.Session().Levels().Count, 0);
            if (kind == 4) {
                // Far larger than 1 MB: refused whole, so the defaults hold.
                QCOMPARE(Part<TField>(w, "Field")->GetScale(), 3);
                Part<TField>(w, "Field")->SetInputName(0, QString(1 << 20, QLatin1Char('n')));
                QCOMPARE(Part<TField>(w, "Field")->GetInputName(0).size(), MaxNameChars);
            } else {
                QCOMPARE(Part<TField>(w, "Field")->GetScale(), 3);
            }
            if (kind == 3)
                QCOMPARE(Part<TField>(w, "Field")->GetInputLogo(0),
                         QString()); // not usable: forgotten
        }
        QDir(Ini()).removeRecursively();
        QDir(Set()).removeRecursively();
        QFile::remove(Ini());
        QFile::remove(fifo);
    }

    // What a save killed before its rename left is removed at start, once it
    // is old; files the operator named like backups are never touched.
    void unfinishedSavesRemoved_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("old");
        QTest::addColumn<bool>("removed");
        QTest::newRow("ours, old") << ".matrixpanel-tmp-Ab3xYz" << true << true;
        QTest::newRow("ours, fresh (a save now)") << ".matrixpanel-tmp-Fresh1" << false << false;
        QTest::newRow("prefix, 5 letters") << ".matrixpanel-tmp-Ab3xY" << true << false;
        QTest::newRow("prefix, 7 letters") << ".matrixpanel-tmp-Ab3xYz1" << true << false;
        QTest::newRow("prefix, not a letter") << ".matrixpanel-tmp-Ab3-Yz" << true << false;
        QTest::newRow("set backup") << "matrixpanel.set.backup" << true << false;
        QTest::newRow("set README") << "matrixpanel.set.README" << true << false;
        QTest::newRow("ini orig") << "matrixpanel.ini.orig12" << true << false;
        QTest::newRow("notes") << "notes.txt.ABCDEF" << true << false;
    }
    void unfinishedSavesRemoved() {
        QFETCH(QString, name);
        QFETCH(bool, old);
        QFETCH(bool, removed);
        const QString path = FDir.filePath(name);
        WriteFile(path, "[WINDOW]\n");
        if (old) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                                     QFileDevice::FileModificationTime));
        }
        { TMainWindow w(Ini()); }
        QCOMPARE(QFile::exists(path), !removed);
        QFile::remove(path);
    }

    // Export names... and Import names... from the WINDOW panel's menu, by
    // real right-click and click: a file exported and edited comes back into
    // the field and the INI; a bad row imports nothing and says which line.
    // One names model: a rename from outside the window (as a gateway client
    // makes one) shows in the field, the preview and the log's quotes, and is
    // in the INI file; an import that cannot write the INI changes nothing.
    void renameThroughTheModel() {
        WriteFile(Ini(), "[INPUTS]\nNAME2=Old\n[WINDOW]\nZOOM=5\n");
        TMainWindow w(Ini());
        QCOMPARE(Part<TField>(w, "Field")->GetInputName(2), QStringLiteral("Old"));
        QString why;
        QVERIFY(w.Session().Names().Set(TNames::TSide::Input, 2, QStringLiteral("Cam 3"),
                                        QStringLiteral("/l/c3.png"), &why));
        QCOMPARE(Part<TField>(w, "Field")->GetInputName(2), QStringLiteral("Cam 3"));
        QCOMPARE(Part<TPreviewField>(w, "PreviewField")->GetInputName(2), QStringLiteral("Cam 3"));
        QCOMPARE(w.Session().InputName(2), QStringLiteral("Cam 3"));
        QFile ini(Ini());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray text = ini.readAll();
        ini.close();
        QVERIFY(text.contains("NAME2=Cam 3") && text.contains("LOGO2=/l/c3.png") &&
                text.contains("ZOOM=5"));

        TLabels labels;
        labels.HasOutputs = true;
        labels.Outputs.push_back({1, QStringLiteral("PGM"), {}});
        QFile::remove(Ini());
        QVERIFY(QDir().mkpath(Ini())); // a folder where the file was: not writable as a file
        QVERIFY(!w.Session().Names().Import(labels, &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(w.Session().OutputName(0), QString());
        QCOMPARE(Part<TField>(w, "Field")->GetOutputName(0), QString());
        QDir(Ini()).removeRecursively();
        QVERIFY(w.Session().Names().Import(labels, &why));
        QCOMPARE(Part<TField>(w, "Field")->GetOutputName(0), QStringLiteral("PGM"));
    }

    void namesThroughTheWindowMenu() {
        WriteFile(Ini(), "[INPUTS]\nNAME0=Cam 1\nNAME1=Cam 2\n[OUTPUTS]\nNAME0=PGM\n");
        const QString csv = FDir.filePath(QStringLiteral("labels.csv"));
        bool asked = false, askedToSave = false;
        pickers::SetFileHandler([&](const pickers::TFileRequest& r) -> std::optional<QString> {
            asked = true;
            askedToSave = r.Save;
            return csv;
        });
        TBoxRecorder boxes;
        boxes.Install();
        TMainWindow w(Ini());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto choose = [&](const char* action) {
            auto* caption = Part<TPanel>(w, "PanelWindowCaption");
            auto* menu = Part<QMenu>(w, "WindowMenu");
            // Through the window, as the platform delivers it: a right press
            // there becomes the context menu request.
            QTest::mouseClick(w.windowHandle(), Qt::RightButton, {},
                              caption->mapTo(&w, QPoint(5, 5)));
            QTRY_VERIFY(menu->isVisible());
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(Part<QAction>(w, action)).center());
            QTRY_VERIFY(!menu->isVisible());
        };
        choose("WindowMenuExportNames");
        QVERIFY(asked && askedToSave);
        QFile f(csv);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray text = f.readAll();
        f.close();
        QVERIFY(text.startsWith("input,name,logo\n1,Cam 1,\n2,Cam 2,\n"));
        QVERIFY(text.contains("output,name,logo\n1,PGM,\n"));

        text.replace("1,Cam 1,", "1,\"Studio, left\",");
        WriteFile(csv, text);
        choose("WindowMenuImportNames");
        QVERIFY(!askedToSave);
        QVERIFY(boxes.isEmpty());
        QCOMPARE(Part<TField>(w, "Field")->GetInputName(0), QStringLiteral("Studio, left"));
        QCOMPARE(w.Session().InputName(0), QStringLiteral("Studio, left"));
        QFile ini(Ini());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().contains("NAME0=Studio, left"));

        WriteFile(csv, "input,name\n1,New\n2,Bad\x01\n");
        choose("WindowMenuImportNames");
        QTRY_COMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].Text.contains(QStringLiteral("line 3: a control character")),
                 qPrintable(boxes[0].Text));
        QCOMPARE(Part<TField>(w, "Field")->GetInputName(0), QStringLiteral("Studio, left"));

        // Logos named by an import are decoded a few at a time after it, as a
        // size change does, not all at once while the window waits.
        auto* field = Part<TField>(w, "Field");
        field->SetSize(8, 8);
        QImage picture(64, 64, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QByteArray rows("input,name,logo\n");
        for (int i = 1; i <= 4; ++i) {
            const QString png = FDir.filePath(QStringLiteral("logo%1.png").arg(i));
            QVERIFY(picture.save(png));
            rows += QByteArray::number(i) + ",cam," + QFile::encodeName(png) + "\n";
        }
        WriteFile(csv, rows);
        boxes.clear();
        // Triggered as the menu does, with no event served between the import
        // and the check: the decodes are still queued.
        Part<QAction>(w, "WindowMenuImportNames")->trigger();
        QVERIFY(boxes.isEmpty());
        QVERIFY(field->PendingLogoCount() > 0);
        QTRY_COMPARE(field->PendingLogoCount(), 0);
        QImage shown(33, 33, QImage::Format_RGB32);
        field->CopyInputLogo(3, shown);
        QCOMPARE(shown.pixelColor(16, 16), QColor(Qt::red));
        pickers::SetFileHandler({});
        TBoxRecorder::Uninstall();
    }

    // STATUS, HDMI and MONITOR say while grey how to enable them.
    void greyWindowButtonsSayHow() {
        TMainWindow w(Ini());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (TSpeedButton* b :
             {Part<TSpeedButton>(w, "SBtnStatus"), Part<TSpeedButton>(w, "SBtnHdmi"),
              Part<TSpeedButton>(w, "SBtnMonitor")}) {
            QVERIFY(!b->isEnabled());
            QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), b->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(b, &help);
            QTRY_VERIFY(QToolTip::isVisible());
            QVERIFY2(QToolTip::text().contains(QStringLiteral("Right-click this WINDOW panel")) &&
                         QToolTip::text().contains(b->text()),
                     qPrintable(QToolTip::text()));
            QToolTip::hideText();
        }
        Part<QAction>(w, "WindowMenuMonitor")->trigger();
        QVERIFY(Part<TSpeedButton>(w, "SBtnMonitor")->isEnabled());
        QVERIFY(Part<TSpeedButton>(w, "SBtnMonitor")->toolTip().isEmpty());
        // HDMI ticked but not operating: the tip names what is still missing.
        Part<QAction>(w, "WindowMenuHdmi")->trigger();
        auto* hdmi = Part<TSpeedButton>(w, "SBtnHdmi");
        QVERIFY(!hdmi->isEnabled());
        QVERIFY2(hdmi->toolTip().contains(QStringLiteral("OPERATE")) &&
                     !hdmi->toolTip().contains(QStringLiteral("tick")),
                 qPrintable(hdmi->toolTip()));
    }

    void componentsByName() {
        TMainWindow w(Ini());
        auto button = [&](const char* name) {
            return w.findChild<TSpeedButton*>(QString::fromLatin1(name));
        };
        QCOMPARE(button("SBtnSettings")->text(), QStringLiteral("SETTINGSD"));
        QCOMPARE(button("SBtnTake")->geometry(), QRect(89, 24, 48, 41));
        QCOMPARE(button("SBtnBS")->text(), QStringLiteral("<-"));
        QCOMPARE(button("SBtnBS")->Tag, -1);
        QCOMPARE(button("SBtnESC")->Tag, -2);
        QCOMPARE(button("SBtn8")->geometry(), QRect(55, 116, 45, 17));
        QCOMPARE(button("SBtn0")->Tag, 0);
        QCOMPARE(button("SBtnConsoleTake")->geometry(), QRect(37, 162, 85, 16));
        QCOMPARE(button("SBtnConsoleOutput")->Color(),
                 clr::Silver); // console off while not operating
        QVERIFY(!button("SBtnConsoleTake")->isEnabled());
        QVERIFY(!button("SBtnNewSlot")->isEnabled());
        QCOMPARE(w.findChild<TPanel*>(QStringLiteral("PanelWindowCaption"))->Caption(),
                 QStringLiteral("WINDOW"));
        QCOMPARE(w.findChild<TPanel*>(QStringLiteral("PanelDot2"))->Caption(), QStringLiteral("."));
        // Date and time strips fitted to their digits and centred.
        QCOMPARE(Part<TPanel>(w, "PanelDateBack")->width(), 2 + 140 + 4);
        QCOMPARE(Part<TPanel>(w, "PanelTimeBack")->width(), 2 + 112 + 4);
        QCOMPARE(Part<TPanel>(w, "PanelTimeBack")->x(),
                 (157 - Part<TPanel>(w, "PanelTimeBack")->width()) / 2);
        QVERIFY(w.findChild<QObject*>(QStringLiteral("TimerMon")));
        QVERIFY(w.findChild<QObject*>(QStringLiteral("WindowMenuMonitor")));
        // Mode 0 colours: OPERATE entry 6 (silver), ON LINE entry 0.
        QCOMPARE(button("SBtnOperate")->Color(), clr::Silver);
        w.Session().SetMode(TMode::OnLine);
        QCOMPARE(button("SBtnOnLine")->Color(), clr::Red);
        QCOMPARE(button("SBtnOperate")->Color(), clr::Lime);
        w.Session().SetMode(TMode::Preset);
        QCOMPARE(button("SBtnPreset")->Color(), clr::Aqua);
        QVERIFY(button("SBtnTake")->isEnabled());
        QVERIFY(Part<QListWidget>(w, "LBoxMemory")->isEnabled());
    }

    void switcherListAndTabs() {
        // IPs A, B, A: two switchers in order of first appearance.
        WriteFile(Set(), "[OPTIONS]\nCOUNT=3\n[LEVEL1]\nIP=16777343\nADDRESS=1\n"
                         "[LEVEL2]\nIP=33554559\nADDRESS=2\n[LEVEL3]\nIP=16777343\nADDRESS=3\n");
        TMainWindow w(Ini());
        TStatusWindow status;
        THdmiWindow hdmi;
        w.AttachForms(nullptr, &hdmi, &status);
        QCOMPARE(w.Session().Levels().Count, 3);
        QCOMPARE(w.Session().Levels().SwitcherCount, 2);
        QCOMPARE(w.Session().Levels().SwitcherIP[0], 16777343);
        QCOMPARE(w.Session().Levels().SwitcherIP[1], 33554559);
        QCOMPARE(w.Session().Levels().Address[3], 3);
        // The first idle pass loads the level set again, now with the tab rows.
        QTRY_COMPARE(status.StatusTab->count(), 2);
        QCOMPARE(status.StatusTab->tabText(0), QStringLiteral("127.0.0.1"));
        QCOMPARE(status.StatusTab->tabText(1), QStringLiteral("127.0.0.2"));
        QCOMPARE(status.StatusTab->currentIndex(), 0);
        QCOMPARE(status.StatusTab->TabColor(1), TColorTabBar::NormalTabColor);
        QCOMPARE(hdmi.HdmiTab->count(), 2);
        QVERIFY(Part<QTimer>(w, "StatusTimer")->isActive());
    }

    void closeWaitsForClock() {
        TMainWindow w(Ini());
        QSignalSpy saved(&w, &TMainWindow::IniSaved);
        w.show();
        QVERIFY(w.ClockRunning());
        w.close();
        // Refused while the clock runs...
        QVERIFY(w.isVisible());
        QVERIFY(w.Closing());
        QCOMPARE(saved.count(), 0);
        // ...and completed once the clock thread has finished, with one save.
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QVERIFY(!w.ClockRunning());
        QCOMPARE(saved.count(), 1);
        QVERIFY(QFile::exists(Ini()));
    }

    void fieldInWindow() {
        TMainWindow w(Ini());
        w.resize(990, 850);
        w.show();
        QCoreApplication::processEvents(); // the first idle pass reloads the level set
        w.Session().SetMode(TMode::OnLine);
        QVERIFY(Part<TField>(w, "Field")->isVisible());
        QCOMPARE(Part<TField>(w, "Field")->geometry().top(),
                 Part<TPanel>(w, "PanelInOut")->geometry().bottom() + 1);
        QCOMPARE(Part<TField>(w, "Field")->width(), Part<TPanel>(w, "PanelInOut")->width());
        Part<TField>(w, "Field")->SetSize(256, 256);
        Part<TField>(w, "Field")->SetLevelCount(4);
        for (int r = 0; r < 256; ++r)
            Part<TField>(w, "Field")->SetStatus(r, {r, (r + 1) % 256, (r + 3) % 256, r});
        Part<TField>(w, "Field")->SetLock(2, 0x01000001);
        Part<TField>(w, "Field")->SetMonitor({4, 4, 1, 6});
        QCoreApplication::processEvents(); // scroll bars follow the range on the next pass
        const QImage shot = w.grab().toImage();
        QVERIFY(shot.save(QStringLiteral(ARTEFACT_DIR "/mainwindow-field.png")));
        w.Session().SetMode(TMode::Off);
        QVERIFY(!Part<TField>(w, "Field")->isVisible());
    }

    void clockRunsInWindow() {
        TLocalTime fixed{2031, 7, 4, 18, 26, 53};
        TMainWindow w(Ini(), [fixed] { return fixed; });
        // The year is the last step of a pass.
        QTRY_COMPARE(Part<TPanel>(w, "PanelYearL")->Caption(), QStringLiteral("1"));
        QCOMPARE(Part<TPanel>(w, "PanelSecL")->Caption(), QStringLiteral("3"));
        QCOMPARE(Part<TPanel>(w, "PanelMonthL")->Caption(), QStringLiteral("7"));
        QCOMPARE(Part<TPanel>(w, "PanelHourH")->Caption(), QStringLiteral("1"));
        CloseAndWait(w);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
