#include "Field.h"
#include "LogoPicture.h"

#include <QApplication>
#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtMath>

#include <functional>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

using TCell = std::tuple<int, int, int>; // pane, column, row

struct TRig {
    TField F;
    std::multiset<TCell> Repaints;
    TRig(int inputs = 8, int outputs = 8, int levels = 2) {
        F.resize(900, 700);
        F.SetSize(inputs, outputs);
        F.SetLevelCount(levels);
        F.OnRepaintCell = [this](TFieldPane p, int c, int r) { Repaints.insert({int(p), c, r}); };
    }
    // Moves the mouse over a grid cell and presses a button there.
    void Click(int col, int row, Qt::MouseButton b = Qt::LeftButton) {
        const int s = F.Geometry().CellSize;
        F.SurfaceMouseMove(TFieldPane::Grid, QPoint(col * s + 2, row * s + 2));
        Repaints.clear();
        F.SurfacePress(TFieldPane::Grid, b, Qt::NoModifier);
    }
    std::set<TCell> GridRepaints() const {
        std::set<TCell> out;
        for (const TCell& c : Repaints)
            if (std::get<0>(c) == int(TFieldPane::Grid))
                out.insert(c);
        return out;
    }
};

TCell G(int c, int r) {
    return {int(TFieldPane::Grid), c, r};
}

QColor Level(int k) {
    return ToQColor(StandardLevelColors()[static_cast<std::size_t>(k - 1)]);
}

// Where two pictures of the field first differ, or an empty string.
QString FirstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QStringLiteral("sizes differ");
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return QStringLiteral("pixel %1,%2: %3 against %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 0, 16)
                    .arg(b.pixel(x, y), 0, 16);
    return {};
}

} // namespace

class TestField : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void geometry_data() {
        QTest::addColumn<int>("scale");
        QTest::addColumn<QList<int>>("expected"); // s m rP rM rN a w1 w2 w3 w4
        QTest::newRow("0") << 0 << QList<int>{17, 8, 8, 5, 2, 3, 5, 5, 4, 3};
        QTest::newRow("1") << 1 << QList<int>{21, 10, 9, 6, 2, 4, 5, 5, 5, 4};
        QTest::newRow("2") << 2 << QList<int>{23, 11, 10, 6, 2, 4, 5, 5, 5, 4};
        QTest::newRow("3") << 3 << QList<int>{27, 13, 12, 7, 3, 4, 5, 5, 5, 5};
        QTest::newRow("4") << 4 << QList<int>{29, 14, 12, 8, 3, 5, 5, 5, 5, 5};
        QTest::newRow("5") << 5 << QList<int>{33, 16, 14, 9, 3, 6, 5, 5, 5, 5};
        QTest::newRow("6") << 6 << QList<int>{35, 17, 15, 9, 3, 6, 5, 5, 5, 5};
    }
    void geometry() {
        QFETCH(int, scale);
        QFETCH(QList<int>, expected);
        const TFieldGeometry g = ComputeFieldGeometry(scale, 1);
        QCOMPARE((QList<int>{g.CellSize, g.Centre, g.PieRadius, g.MarkRadius, g.NodeRadius,
                             g.ArrowSize}),
                 expected.mid(0, 6));
        for (int n = 1; n <= 4; ++n)
            QCOMPARE(ComputeFieldGeometry(scale, n).LockBarWidth, expected[5 + n]);
        QCOMPARE(ComputeFieldGeometry(scale, 0).LockBarWidth, 0);
    }

    void slices() {
        QCOMPARE(SliceAngles(2).First, 0.0);
        QCOMPARE(qRound(qRadiansToDegrees(SliceAngles(3).First)), 30);
        QCOMPARE(qRound(qRadiansToDegrees(SliceAngles(4).First)), 0);
        QCOMPARE(qRound(qRadiansToDegrees(SliceAngles(4).Step)), 90);
    }

    void visibleCells() {
        const TCellRange r = VisibleCellRange(29 * 3 + 5, 0, 290, 100, 29, 256, 2);
        QCOMPARE(r.Left, 3);
        QCOMPARE(r.Right, 14); // ceil((92 + 290) / 29) = 14
        QCOMPARE(r.Top, 0);
        QCOMPARE(r.Bottom, 1); // limited to the outputs
    }

    void scaleBounds() {
        TRig rig;
        rig.F.SetScale(7);
        QCOMPARE(rig.F.GetScale(), 4);
        rig.F.SetScale(-1);
        QCOMPARE(rig.F.GetScale(), 4);
        rig.F.SetScale(0);
        QCOMPARE(rig.F.Geometry().CellSize, 17);
    }

    void clickRules() {
        TRig rig(16, 8, 2);
        // Already the status on every controlled level: nothing changes or repaints.
        rig.Click(3, 3);
        QVERIFY(rig.Repaints.empty());

        // ON LINE, output 3 locked on level 2 only: level 1 changes, status and preset.
        rig.F.SetLock(2, 0x00000100);
        rig.Click(9, 2);
        QCOMPARE(rig.F.GetStatus(2), (TLevelValues{9, 2, 2, 2}));
        QCOMPARE(rig.F.GetPreset(2), (TLevelValues{9, 2, 2, 2}));
        QCOMPARE(rig.GridRepaints(), (std::set<TCell>{G(2, 2), G(9, 2)}));

        // PRESET: locks do not restrict presets; the status stays.
        rig.F.SetPresetMode(true);
        rig.Click(5, 2);
        QCOMPARE(rig.F.GetStatus(2), (TLevelValues{9, 2, 2, 2}));
        QCOMPARE(rig.F.GetPreset(2), (TLevelValues{5, 5, 2, 2}));
        // Right click discards the row's pending presets.
        rig.Click(0, 2, Qt::RightButton);
        QCOMPARE(rig.F.GetPreset(2), rig.F.GetStatus(2));
        // A right click on a row without pending presets changes nothing.
        rig.Click(0, 2, Qt::RightButton);
        QVERIFY(rig.Repaints.empty());
    }

    void leavingPresetDiscardsExactlyPendingRows() {
        TRig rig(16, 8, 2);
        rig.F.SetPresetMode(true);
        rig.Click(4, 2);
        rig.Click(11, 7);
        rig.Repaints.clear();
        rig.F.SetPresetMode(false);
        QCOMPARE(rig.GridRepaints(), (std::set<TCell>{G(4, 2), G(2, 2), G(11, 7), G(7, 7)}));
        for (int r = 0; r < 8; ++r)
            QCOMPARE(rig.F.GetPreset(r), rig.F.GetStatus(r));
    }

    void uncontrolledLevel() {
        TRig rig(8, 8, 3);
        rig.F.SetControl(0x00000101); // levels 1 and 2
        rig.Click(6, 1);
        QCOMPARE(rig.F.GetStatus(1), (TLevelValues{6, 6, 1, 1}));
        const int s = rig.F.Geometry().CellSize;
        rig.F.SurfaceMouseMove(TFieldPane::Monitor, QPoint(2, 5 * s + 2));
        rig.F.SurfacePress(TFieldPane::Monitor, Qt::LeftButton, Qt::NoModifier);
        QCOMPARE(rig.F.GetMonitor(), (TLevelValues{5, 5, 0, 0}));
        // From outside, level 3 changes all the same.
        rig.F.SetStatus(1, {6, 6, 7, 0});
        QCOMPARE(rig.F.GetStatus(1)[2], 7);
        rig.F.SetMonitor({1, 1, 4, 0});
        QCOMPARE(rig.F.GetMonitor()[2], 4);
    }

    void lockDoubleClick_data() {
        QTest::addColumn<int>("mods");
        QTest::addColumn<uint>("expected");
        QTest::newRow("shift locks controlled") << int(Qt::ShiftModifier) << 0x01000101u;
        QTest::newRow("ctrl unlocks controlled") << int(Qt::ControlModifier) << 0x01000000u;
        QTest::newRow("plain does nothing") << int(Qt::NoModifier) << 0x01000100u;
        QTest::newRow("shift and ctrl do nothing")
            << int(Qt::ShiftModifier | Qt::ControlModifier) << 0x01000100u;
    }
    void lockDoubleClick() {
        QFETCH(int, mods);
        QFETCH(uint, expected);
        TRig rig(8, 8, 4);
        rig.F.SetControl(0x00000101); // levels 1 and 2
        rig.F.SetLock(4, 0x01000100); // level 2 and level 4 locked
        const int s = rig.F.Geometry().CellSize;
        rig.F.SurfaceMouseMove(TFieldPane::Lock, QPoint(3, 4 * s + 3));
        rig.F.SurfacePress(TFieldPane::Lock, Qt::LeftButton, Qt::KeyboardModifiers(mods));
        rig.F.SurfaceDoubleClick(TFieldPane::Lock);
        QCOMPARE(rig.F.GetLock(4), expected);
    }

    void noLevelsNoChange() {
        TRig rig(8, 8, 0);
        rig.Click(5, 1);
        QCOMPARE(rig.F.GetStatus(1), (TLevelValues{1, 1, 1, 1}));
        QVERIFY(rig.Repaints.empty());
    }

    void hoverMoveRepaints() {
        TRig rig(16, 16, 2);
        const int s = rig.F.Geometry().CellSize;
        rig.F.SurfaceMouseMove(TFieldPane::Grid, QPoint(3 * s + 1, 5 * s + 1));
        rig.Repaints.clear();
        rig.F.SurfaceMouseMove(TFieldPane::Grid, QPoint(3 * s + 1, 6 * s + 1));
        std::set<TCell> expected;
        for (int y = 0; y <= 6; ++y)
            expected.insert(G(3, y));
        for (int x = 0; x <= 3; ++x) {
            expected.insert(G(x, 5));
            expected.insert(G(x, 6));
        }
        for (TFieldPane p : {TFieldPane::InputArrow, TFieldPane::InputName})
            expected.insert({int(p), 3, 0});
        for (int row : {5, 6})
            for (TFieldPane p : {TFieldPane::OutputArrow, TFieldPane::OutputName, TFieldPane::Lock,
                                 TFieldPane::Monitor})
                expected.insert({int(p), 0, row});
        QCOMPARE(std::set<TCell>(rig.Repaints.begin(), rig.Repaints.end()), expected);
        // Same cell again: nothing.
        rig.Repaints.clear();
        rig.F.SurfaceMouseMove(TFieldPane::Grid, QPoint(3 * s + 5, 6 * s + 5));
        QVERIFY(rig.Repaints.empty());
    }

    void hoverReports() {
        TRig rig(8, 8, 2);
        int col = 0, row = 0;
        QWidget* sender = nullptr;
        rig.F.OnCellHover = [&](QWidget* w, QPoint, int c, int r) {
            sender = w;
            col = c;
            row = r;
        };
        const int s = rig.F.Geometry().CellSize;
        rig.F.SurfaceMouseMove(TFieldPane::Monitor, QPoint(1, 2 * s + 1));
        QCOMPARE(col, -1);
        QCOMPARE(row, 2);
        QCOMPARE(rig.F.HoverCol(), -3);
        QCOMPARE(sender, rig.F.Viewport(TFieldPane::Monitor));
        rig.F.SurfaceMouseMove(TFieldPane::InputName, QPoint(20 * s, 1));
        QCOMPARE(col, -10);
        QCOMPARE(row, -2);
        rig.F.SurfaceMouseMove(TFieldPane::Grid, QPoint(8 * s + 1, 1));
        QCOMPARE(rig.F.HoverCol(), -10);
        QCOMPARE(rig.F.HoverRow(), -10);
    }

    void valuesWithoutCells() {
        TRig rig(8, 8, 2);
        rig.F.SetStatus(0, {300, -5, 40000, -1});
        rig.F.SetPreset(1, {257, 256, 0, 0});
        rig.F.SetMonitor({999, -3, 0, 0});
        rig.F.RedrawMarks();
        for (const TCell& c : rig.Repaints) {
            QVERIFY(std::get<1>(c) >= 0 && std::get<1>(c) < 8);
            QVERIFY(std::get<2>(c) >= 0 && std::get<2>(c) < 8);
        }
        QCOMPARE(rig.F.GetStatus(0)[0], 300); // kept as reported, shown nowhere
        rig.F.SetStatus(-1, {1, 1, 1, 1});
        rig.F.SetStatus(257, {1, 1, 1, 1});
        QCOMPARE(rig.F.GetStatus(257), (TLevelValues{0, 0, 0, 0}));
        const QImage img = rig.F.RenderCell(TFieldPane::Grid, 7, 0);
        QCOMPARE(img.width(), rig.F.Geometry().CellSize);
    }

    void marksPixels() {
        TRig rig(8, 8, 2);
        rig.F.SetScale(4); // s 29, m 14, rP 12
        const int m = 14;
        // Output 3 (row 2) on input 5 (col 4), levels 1 and 2.
        rig.F.SetStatus(2, {4, 4, 0, 0});
        QImage img = rig.F.RenderCell(TFieldPane::Grid, 4, 2);
        QCOMPARE(img.pixelColor(m + 4, m - 7), Level(1)); // upper half
        QCOMPARE(img.pixelColor(m + 4, m + 7), Level(2)); // lower half

        rig.F.SetLevelCount(4);
        rig.F.SetStatus(2, {4, 4, 4, 4});
        img = rig.F.RenderCell(TFieldPane::Grid, 4, 2);
        QCOMPARE(img.pixelColor(m + 6, m - 6), Level(1)); // upper right quadrant
        QCOMPARE(img.pixelColor(m - 6, m - 6), Level(2));
        QCOMPARE(img.pixelColor(m - 6, m + 6), Level(3));
        QCOMPARE(img.pixelColor(m + 6, m + 6), Level(4));

        rig.F.SetLevelCount(3);
        img = rig.F.RenderCell(TFieldPane::Grid, 4, 2);
        QCOMPARE(img.pixelColor(m, m - 8), Level(1)); // centred on the top

        // A preset beside the status: checkerboard in one cell, solid in the other.
        rig.F.SetLevelCount(2);
        rig.F.SetStatus(2, {4, 0, 0, 0});
        rig.F.SetPresetMode(true);
        rig.F.SetPreset(2, {6, 0, 0, 0});
        img = rig.F.RenderCell(TFieldPane::Grid, 6, 2);
        int levelPixels = 0, backPixels = 0;
        for (int y = m - 4; y <= m + 4; ++y)
            for (int x = m - 4; x <= m + 4; ++x) {
                if (std::abs(x - m) <= 3 && std::abs(y - m) <= 3)
                    continue; // the node
                levelPixels += img.pixelColor(x, y) == Level(1);
                backPixels += img.pixelColor(x, y) == ToQColor(clr::Silver);
            }
        QVERIFY(levelPixels > 10 && backPixels > 10);
        img = rig.F.RenderCell(TFieldPane::Grid, 4, 2);
        QCOMPARE(img.pixelColor(m + 4, m - 4), Level(1)); // solid status mark

        // Hidden level 1: no mark.
        rig.F.SetVisible(0x00000100);
        img = rig.F.RenderCell(TFieldPane::Grid, 4, 2);
        QCOMPARE(img.pixelColor(m + 4, m - 4), ToQColor(clr::Silver));
    }

    // Copies of painted looks must give the very picture the per-cell painters
    // give, after every kind of change, with the looks kept from before it.
    void copiedLooksMatchThePainters_data() {
        QTest::addColumn<int>("zoom");
        for (int zoom : {0, 2, 3, 6})
            QTest::addRow("zoom %d", zoom) << zoom;
    }
    void copiedLooksMatchThePainters() {
        QFETCH(int, zoom);
        QTemporaryDir dir;
        const QString logo = dir.filePath(QStringLiteral("logo.png"));
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY(picture.save(logo));

        TRig rig(30, 24, 4);
        TField& f = rig.F;
        f.resize(820, 640);
        f.SetScale(zoom);
        f.show();
        const int s = f.Geometry().CellSize;
        auto hover = [&](TFieldPane pane, int col, int row) {
            f.SurfaceMouseMove(pane, QPoint(col * s + 2, row * s + 2));
        };
        const std::vector<std::pair<const char*, std::function<void()>>> steps = {
            {"routes on every level",
             [&] {
                 for (int o = 0; o < 11; ++o)
                     f.SetStatus(o, {o % 14, (o + 1) % 14, o % 3 ? o : 2, 13 - o});
                 f.SetMonitor({2, 2, 5, 10});
             }},
            {"presets beside status",
             [&] {
                 f.SetPresetMode(true);
                 f.SetPreset(1, {7, 7, 9, 0});
                 f.SetPreset(4, {4, 12, 4, 4});
             }},
            {"locks",
             [&] {
                 f.SetLock(0, 0x01000001);
                 f.SetLock(3, 0x01010101);
                 f.SetLock(10, 0x00010000);
             }},
            {"hover on a cell", [&] { hover(TFieldPane::Grid, 5, 4); }},
            {"hover on the last cell", [&] { hover(TFieldPane::Grid, 13, 10); }},
            {"hover on MON", [&] { hover(TFieldPane::Monitor, 0, 2); }},
            {"hover on LOCK", [&] { hover(TFieldPane::Lock, 0, 3); }},
            {"hover on a name", [&] { hover(TFieldPane::InputName, 6, 0); }},
            {"fewer controlled levels",
             [&] {
                 f.SetControl(0x00000101);
                 hover(TFieldPane::Grid, 2, 3);
             }},
            {"hidden levels", [&] { f.SetVisible(0x01000100); }},
            {"level colours",
             [&] {
                 f.SetLevelColors({clr::White, RGBColor(0, 255, 255), clr::Black, clr::Silver});
             }},
            {"two levels", [&] { f.SetLevelCount(2); }},
            {"logos",
             [&] {
                 f.SetInputLogo(3, logo);
                 f.SetOutputLogo(1, logo);
             }},
            {"routed after leaving preset",
             [&] {
                 f.SetPresetMode(false);
                 f.SetStatus(6, {0, 13, 0, 0});
             }},
            {"scrolled",
             [&] {
                 f.ScrollColumns(5);
                 f.ScrollRows(4);
                 hover(TFieldPane::Grid, 9, 8);
             }},
            {"smaller matrix", [&] { f.SetSize(9, 6); }},
            {"zoomed in", [&] { f.SetScale(std::min(zoom + 1, 6)); }},
            {"hover left the field", [&] { f.SurfaceLeave(TFieldPane::Grid); }},
        };
        for (const auto& [what, step] : steps) {
            step();
            f.SetLookCache(true);
            const QImage copied = f.grab().toImage();
            f.SetLookCache(false);
            const QImage painted = f.grab().toImage();
            const QString difference = FirstDifference(copied, painted);
            QVERIFY2(difference.isEmpty(),
                     qPrintable(QString::fromLatin1(what) + QStringLiteral(": ") + difference));
        }
        f.SetLookCache(true);
    }

    void wiresEndAtTheLastRowAndColumn() {
        TRig rig(4, 4, 1);
        const int s = rig.F.Geometry().CellSize, m = rig.F.Geometry().Centre;
        QImage inner = rig.F.RenderCell(TFieldPane::Grid, 1, 1);
        QCOMPARE(inner.pixelColor(m, s - 1), QColor(Qt::black));
        QCOMPARE(inner.pixelColor(s - 1, m), QColor(Qt::black));
        QImage last = rig.F.RenderCell(TFieldPane::Grid, 3, 3);
        QCOMPARE(last.pixelColor(m, s - 1), ToQColor(clr::Silver));
        QCOMPARE(last.pixelColor(s - 1, m), ToQColor(clr::Silver));
        QCOMPARE(last.pixelColor(m, 1), QColor(Qt::black)); // wire from the top
    }

    void lockBars() {
        TRig rig(4, 4, 4);
        rig.F.SetScale(0); // w = 3 with four levels
        rig.F.SetLock(1, 0x01010101);
        const QImage img = rig.F.RenderCell(TFieldPane::Lock, 0, 1);
        const int m = rig.F.Geometry().Centre;
        // Bars share their outline columns: each level's fill is w - 1 = 2 pixels wide.
        for (int k = 1; k <= 4; ++k) {
            int width = 0;
            for (int x = 0; x < img.width(); ++x)
                width += img.pixelColor(x, m) == Level(k);
            QCOMPARE(width, 2);
        }
    }

    void logosAndCopies() {
        TRig rig(4, 4, 1);
        QImage tip(33, 33, QImage::Format_RGB32);
        tip.fill(Qt::black);
        rig.F.CopyInputLogo(9, tip); // no such input: tooltip colour
        QCOMPARE(tip.pixelColor(16, 16), QApplication::palette().color(QPalette::ToolTipBase));
        rig.F.SetInputLogo(1, QStringLiteral("/no/such/file.bmp"));
        rig.F.CopyInputLogo(1, tip);
        QCOMPARE(tip.pixelColor(16, 16), ToQColor(clr::Silver));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("logo.png"));
        QImage red(10, 10, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(path));
        rig.F.SetOutputLogo(2, path);
        rig.F.CopyOutputLogo(2, tip);
        QCOMPARE(tip.pixelColor(16, 16), QColor(Qt::red));
        const QString bad = dir.filePath(QStringLiteral("bad.png"));
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
        f.close();
        rig.F.SetOutputLogo(3, bad);
        QCOMPARE(rig.F.GetOutputLogo(3), QString()); // unreadable: path cleared
    }

    // A size change leaves logos it has not decoded yet as plain squares and
    // paints them from the event loop, each file decoded once.
    void logosAfterSizeChangeComeFromTheEventLoop() {
        QTemporaryDir dir;
        QStringList paths;
        for (int k = 0; k < 4; ++k) {
            QImage picture(600, 600, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(k * 60, 255, 255));
            paths << dir.filePath(QStringLiteral("logo%1.png").arg(k));
            QVERIFY(picture.save(paths.last()));
        }
        TRig rig(0, 0, 1);
        for (int i = 0; i < 256; ++i) {
            rig.F.SetInputLogo(i, paths[i % 4]);
            rig.F.SetOutputLogo(i, paths[(i + 1) % 4]);
        }
        rig.F.SetSize(256, 256);
        QImage tip(33, 33, QImage::Format_RGB32);
        rig.F.CopyInputLogo(255, tip);
        QCOMPARE(tip.pixelColor(16, 16), ToQColor(clr::Silver)); // not yet
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                rig.F.CopyInputLogo(255, tip);
                const bool input =
                    tip.pixelColor(16, 16).rgb() == QColor::fromHsv(180, 255, 255).rgb();
                rig.F.CopyOutputLogo(255, tip);
                return input && tip.pixelColor(16, 16).rgb() == QColor::fromHsv(0, 255, 255).rgb();
            }(),
            10000);
        QVERIFY(rig.Repaints.count({int(TFieldPane::InputLogo), 255, 0}) >= 1);
    }

    // Files that are no usable picture give no picture and one warning each,
    // however often they are asked for; a good file is decoded once.
    void logoFiles_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("usable");
        QTest::newRow("picture") << "picture" << true;
        QTest::newRow("FIFO") << "fifo" << false;
        QTest::newRow("device") << "device" << false;
        QTest::newRow("truncated PNG") << "truncated" << false;
        QTest::newRow("declares 30000 x 30000") << "bomb" << false;
        QTest::newRow("over 4 MB") << "large" << false;
    }
    void logoFiles() {
        QFETCH(QString, kind);
        QFETCH(bool, usable);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("logo"));
        QImage picture(400, 300, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QByteArray png;
        {
            QBuffer b(&png);
            b.open(QIODevice::WriteOnly);
            picture.save(&b, "PNG");
        }
        auto write = [&](const QByteArray& bytes) {
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
        };
        if (kind == QStringLiteral("picture")) {
            QVERIFY(write(png));
        } else if (kind == QStringLiteral("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (kind == QStringLiteral("device")) {
            path = QStringLiteral("/dev/zero");
        } else if (kind == QStringLiteral("truncated")) {
            QVERIFY(write(png.left(png.size() / 2)));
        } else if (kind == QStringLiteral("bomb")) {
            // A bitmap header alone: 30000 x 30000 pixels of 24 bits.
            QByteArray bmp;
            QDataStream d(&bmp, QIODevice::WriteOnly);
            d.setByteOrder(QDataStream::LittleEndian);
            d.writeRawData("BM", 2);
            d << quint32(54 + 30000u * 30000u * 3) << quint32(0) << quint32(54) << quint32(40)
              << qint32(30000) << qint32(30000) << quint16(1) << quint16(24) << quint32(0)
              << quint32(0) << qint32(2835) << qint32(2835) << quint32(0) << quint32(0);
            bmp.append(1000, '\0');
            QVERIFY(write(bmp));
        } else {
            QVERIFY(write(png + QByteArray(logo::MaxBytes, '\0')));
        }
        static int warnings;
        warnings = 0;
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
                warnings += type == QtWarningMsg;
            });
        logo::TCache cache;
        for (int i = 0; i < 512; ++i)
            QCOMPARE(cache.Get(path, QSize(33, 33)).isNull(), !usable);
        qInstallMessageHandler(previous);
        QCOMPARE(cache.Decodes(), 1);
        QCOMPARE(warnings, usable ? 0 : 1);
        if (usable)
            QCOMPARE(cache.Get(path, QSize(33, 33)).size(), QSize(33, 33));
    }
};

QTEST_MAIN(TestField)
#include "tst_field.moc"
