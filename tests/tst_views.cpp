// The level selector, the preview field and the parameters dialog on their own.
#include "Field.h"
#include "LevelControl.h"
#include "MessageBox.h"
#include "ParamsWindow.h"
#include "Pickers.h"
#include "PreviewField.h"
#include "ScreenFit.h"
#include "SpeedButton.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QRgb Pixel(TColor c) {
    return ToQColor(c).rgb();
}

bool HasColour(const QImage& image, const QRect& area, TColor c) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == Pixel(c))
                return true;
    return false;
}

} // namespace

class TestViews : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        pickers::SetFileHandler({});
        pickers::SetColorHandler({});
    }

    // Windows are moved by as little as brings them inside; one larger than
    // the area shows its top-left corner.
    void fitInside_data() {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QPoint>("placed");
        QTest::newRow("inside stays") << QRect(100, 100, 300, 200) << QPoint(100, 100);
        QTest::newRow("bottom-right corner") << QRect(1103, 915, 300, 200) << QPoint(980, 824);
        QTest::newRow("left and above") << QRect(-50, -20, 300, 200) << QPoint(0, 0);
        QTest::newRow("exactly fits") << QRect(980, 824, 300, 200) << QPoint(980, 824);
        QTest::newRow("wider than the area") << QRect(200, 10, 1500, 200) << QPoint(0, 10);
        QTest::newRow("taller than the area") << QRect(10, 500, 300, 1100) << QPoint(10, 0);
    }
    void fitInside() {
        QFETCH(QRect, frame);
        QFETCH(QPoint, placed);
        QCOMPARE(screenfit::FitInside(frame, QRect(0, 0, 1280, 1024)), placed);
        // The same on a second screen to the right, whose area starts at x = 1280.
        QCOMPARE(screenfit::FitInside(frame.translated(1280, 0), QRect(1280, 0, 1280, 1024)),
                 placed + QPoint(1280, 0));
    }

    // A window brought onto the screen with its frame (1, 20, 1, 5 as a window
    // manager adds): moved where it fits, shrunk where it must, never below
    // its minimum.
    void fitClient_data() {
        QTest::addColumn<QRect>("client");
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<QRect>("fitted");
        QTest::newRow("fits") << QRect(21, 40, 750, 550) << QSize() << QRect(21, 40, 750, 550);
        QTest::newRow("below the bottom")
            << QRect(521, 350, 750, 695) << QSize(400, 600) << QRect(521, 324, 750, 695);
        QTest::newRow("taller than the screen")
            << QRect(1, 20, 750, 1100) << QSize(400, 600) << QRect(1, 20, 750, 999);
        QTest::newRow("minimum taller than the screen")
            << QRect(1, 20, 750, 1100) << QSize(400, 1050) << QRect(1, 20, 750, 1050);
    }
    void fitClient() {
        QFETCH(QRect, client);
        QFETCH(QSize, minimum);
        QFETCH(QRect, fitted);
        QCOMPARE(
            screenfit::FitClient(client, QMargins(1, 20, 1, 5), QRect(0, 0, 1280, 1024), minimum),
            fitted);
    }

    // A free place beside the windows to avoid, else anywhere free, else none.
    void freeSpot_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<QRect>>("avoid");
        QTest::addColumn<QPoint>("spot"); // (-1, -1): none
        const QRect main(19, 0, 752, 720);
        QTest::newRow("right of the main window")
            << QSize(258, 200) << QList<QRect>{main} << QPoint(771, 0);
        QTest::newRow("beside the first free side")
            << QSize(258, 200) << QList<QRect>{main, QRect(771, 0, 258, 200)} << QPoint(19, 720);
        QTest::newRow("left of a window at the right edge")
            << QSize(258, 200) << QList<QRect>{QRect(520, 300, 760, 724)} << QPoint(262, 300);
        QTest::newRow("no room") << QSize(700, 700) << QList<QRect>{QRect(0, 0, 1280, 400)}
                                 << QPoint(-1, -1);
        QTest::newRow("larger than the screen")
            << QSize(1300, 10) << QList<QRect>{} << QPoint(-1, -1);
    }
    void freeSpot() {
        QFETCH(QSize, size);
        QFETCH(QList<QRect>, avoid);
        QFETCH(QPoint, spot);
        const auto at = screenfit::FreeSpot(size, avoid, QRect(0, 0, 1280, 1024));
        QCOMPARE(at.value_or(QPoint(-1, -1)), spot);
        if (at)
            for (const QRect& a : avoid)
                QVERIFY(!a.intersects(QRect(*at, size)));
    }

    // Long paths and names get places to wrap; the text reads the same.
    void breakableText() {
        const QString path =
            QStringLiteral("/home/op/Memory/16x16-4/") + QString(100, QLatin1Char('x'));
        const QString broken = msgbox::Breakable(path);
        QString plain = broken;
        plain.remove(QChar(0x200B));
        QCOMPARE(plain, path);
        int run = 0, longest = 0;
        for (const QChar c : broken) {
            run = c == QChar(0x200B) ? 0 : run + 1;
            longest = std::max(longest, run);
        }
        QVERIFY(longest <= 40);
        QCOMPARE(msgbox::Breakable(QStringLiteral("short words stay")),
                 QStringLiteral("short words stay"));
    }

    // A real box shows a path or name that looks like markup as it is.
    void messageBoxShowsPlainText() {
        const QString text =
            QStringLiteral("Cannot use <img src=\"/dev/zero\" width=\"99999\"><b>x</b>");
        msgbox::Notify(QStringLiteral("Error:"), text, msgbox::TIcon::Error);
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w))
                box = b;
        QVERIFY(box);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QString shown = box->text();
        shown.remove(QChar(0x200B));
        QCOMPARE(shown, text);
        QVERIFY(box->sizeHint().width() < 2000);
        box->close();
    }

    void selectorLayout_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("levels");
        QTest::addColumn<int>("preferred");
        QTest::addColumn<int>("nameWidth");
        // Row height 17: v = 11, b = 5; caption width 60.
        QTest::newRow("no rows: the caption's width") << 153 << 0 << 60 << -1;
        QTest::newRow("one row: 3v below the caption") << 153 << 1 << 60 << 87;
        QTest::newRow("four rows: rows above the caption width") << 153 << 4 << 3 * 17 + 33 << 87;
        QTest::newRow("count above 4 is 4") << 153 << 9 << 3 * 17 + 33 << 87;
        QTest::newRow("negative count is 0") << 153 << -3 << 60 << -1;
        QTest::newRow("narrow: toggles overlap, empty name") << 40 << 2 << 60 << 0;
    }
    void selectorLayout() {
        QFETCH(int, width);
        QFETCH(int, levels);
        QFETCH(int, preferred);
        QFETCH(int, nameWidth);
        const TLevelLayout l = LevelControlLayout(width, 100, 17, levels, 60);
        QCOMPARE(l.PreferredHeight, preferred);
        QCOMPARE(l.Toggle, 11);
        QCOMPARE(l.LeftStrip, QRect(0, 0, 17, 100));
        QCOMPARE(l.RightStrip, QRect(width - 17, 0, 17, 100));
        if (nameWidth < 0)
            return;
        const TLevelRowRects& r = l.Rows[0];
        QCOMPARE(r.Name.width(), nameWidth);
        QCOMPARE(r.Visible.topLeft(), QPoint(5, r.Visible.y()));
        QCOMPARE(r.Control.x(), std::max(0, width - 34) - 11 - 5);
        // Rows are centred: the first row's top is half the rows' height above the middle.
        const int n = std::clamp(levels, 0, 4);
        QCOMPARE(r.Name.y(), 50 - (17 * n) / 2);
        QCOMPARE(r.Visible.y(), r.Name.y() + 17 / 2 - 5);
    }

    // Rows 3 and 4 go and come back with the flags they had.
    void selectorKeepsFlagsAcrossCounts() {
        TLevelControl c;
        c.resize(153, 90);
        c.SetVisible(0x01000101); // level 3 hidden
        c.SetControl(0x00010101); // level 4 not controlled
        c.SetLevelCount(2);
        QVERIFY(c.VisibleToggle(3) == nullptr && c.ControlToggle(4) == nullptr);
        QCOMPARE(c.GetVisible(), 0x01000101u);
        c.SetLevelCount(4);
        QVERIFY(c.VisibleToggle(3) && c.ControlToggle(4));
        QCOMPARE(c.GetControl(), 0x00010101u);
        QCOMPARE(c.GetPreferredHeight(), 3 * c.RowHeight() + 3 * ((2 * c.RowHeight()) / 3));
        QCOMPARE(c.GetLevelName(3), QStringLiteral("LEVEL3"));
        QCOMPARE(c.GetLevelName(0), QString());
        c.SetLevelName(7, QStringLiteral("ignored")); // outside 1..4: nothing
    }

    // Presses with the mouse on the shown selector.
    void selectorTogglesByMouse() {
        TLevelControl c;
        c.resize(153, 90);
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        QList<int> visible, control;
        c.OnVisibleChange = [&](TLevelControl* s, int k) {
            QCOMPARE(s, &c);
            visible << k;
        };
        c.OnControlChange = [&](TLevelControl*, int k) { control << k; };
        QWidget* v2 = c.VisibleToggle(2);
        const QPoint mid = v2->rect().center();
        QTest::mouseClick(v2, Qt::LeftButton, Qt::NoModifier, mid);
        QCOMPARE(c.GetVisible(), 0x01010001u);
        QTest::mouseClick(v2, Qt::LeftButton, Qt::NoModifier, mid);
        QCOMPARE(c.GetVisible(), 0x01010101u);
        QCOMPARE(visible, (QList<int>{2, 2}));
        // The right button does nothing.
        QTest::mouseClick(c.ControlToggle(1), Qt::RightButton, Qt::NoModifier, mid);
        QVERIFY(control.isEmpty());
        QTest::mouseClick(c.ControlToggle(1), Qt::LeftButton, Qt::NoModifier, mid);
        QCOMPARE(control, QList<int>{1});
        QCOMPARE(c.GetControl(), 0x01010100u);
        // The toggle shows the level's colour when on, silver when off.
        const QImage shot = c.grab().toImage();
        const QRect t1 =
            c.ControlToggle(1)->geometry().translated(c.ControlToggle(1)->parentWidget()->pos());
        QCOMPARE(shot.pixel(t1.center()), Pixel(clr::Silver));
        const QRect t2 =
            c.ControlToggle(2)->geometry().translated(c.ControlToggle(2)->parentWidget()->pos());
        QCOMPARE(shot.pixel(t2.center()), Pixel(StandardLevelColors()[1]));

        // A disabled row ignores presses and fires nothing.
        c.SetEnabled(0x01010000);
        QTest::mouseClick(c.VisibleToggle(1), Qt::LeftButton, Qt::NoModifier, mid);
        QTest::mouseClick(c.ControlToggle(2), Qt::LeftButton, Qt::NoModifier, mid);
        QCOMPARE(c.GetVisible(), 0x01010101u);
        QCOMPARE(c.GetControl(), 0x01010100u);
        QCOMPARE(visible.size(), 2);
        QCOMPARE(control.size(), 1);
        const QImage off = c.grab().toImage();
        QCOMPARE(off.pixel(t2.center()), Pixel(clr::Silver));
    }

    void roundHalfEven_data() {
        QTest::addColumn<qint64>("n");
        QTest::addColumn<qint64>("d");
        QTest::addColumn<qint64>("q");
        QTest::newRow("exact") << qint64(800) << qint64(16) << qint64(50);
        QTest::newRow("below half") << qint64(7) << qint64(3) << qint64(2);
        QTest::newRow("above half") << qint64(8) << qint64(3) << qint64(3);
        QTest::newRow("half to even, down") << qint64(5) << qint64(2) << qint64(2);
        QTest::newRow("half to even, up") << qint64(7) << qint64(2) << qint64(4);
        QTest::newRow("half of 1") << qint64(1) << qint64(2) << qint64(0);
        QTest::newRow("negative half") << qint64(-5) << qint64(2) << qint64(-2);
    }
    void roundHalfEven() {
        QFETCH(qint64, n);
        QFETCH(qint64, d);
        QFETCH(qint64, q);
        QCOMPARE(RoundHalfEven(n, d), q);
    }

    void previewLayout_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("levels");
        QTest::addColumn<int>("scale");
        QTest::addColumn<int>("cols");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("cellWidth");
        QTest::addColumn<int>("cellHeight");
        QTest::addColumn<int>("rowHeight"); // height of the first row, -1: no tiles
        QTest::newRow("16 outputs, scale 64, two levels")
            << 800 << 600 << 16 << 2 << 64 << 16 << 4 << 50 << 150 << 150;
        QTest::newRow("height 500 squeezes the rows")
            << 800 << 500 << 16 << 2 << 64 << 16 << 4 << 50 << 150 << 125;
        QTest::newRow("no visible level: square tiles")
            << 800 << 600 << 16 << 0 << 64 << 8 << 8 << 100 << 100 << 75;
        QTest::newRow("more outputs than scale")
            << 800 << 600 << 100 << 1 << 64 << 12 << 9 << 66 << 132 << 67;
        QTest::newRow("tall narrow area: no layout")
            << 10 << 5000 << 4 << 1 << 4 << 0 << 0 << 0 << 0 << -1;
        QTest::newRow("zero width") << 0 << 600 << 16 << 2 << 64 << 0 << 0 << 0 << 0 << -1;
        QTest::newRow("zero height") << 800 << 0 << 16 << 2 << 64 << 0 << 0 << 0 << 0 << -1;
        QTest::newRow("negative size") << -1 << -1 << 16 << 2 << 64 << 0 << 0 << 0 << 0 << -1;
        QTest::newRow("scale 0 is 1, one output")
            << 800 << 600 << 1 << 0 << 0 << 1 << 1 << 800 << 800 << 600;
        QTest::newRow("scale -5 is 1") << 800 << 600 << 1 << 0 << -5 << 1 << 1 << 800 << 800 << 600;
        QTest::newRow("huge scale is 4096")
            << 800 << 600 << 16 << 1 << 1000000000 << 128 << 32 << 6 << 12 << 12;
        QTest::newRow("no outputs, scale 64")
            << 800 << 600 << 0 << 1 << 64 << 16 << 4 << 50 << 100 << 100;
    }
    void previewLayout() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, count);
        QFETCH(int, levels);
        QFETCH(int, scale);
        QFETCH(int, cols);
        QFETCH(int, rows);
        QFETCH(int, cellWidth);
        QFETCH(int, cellHeight);
        QFETCH(int, rowHeight);
        TCells c;
        c.SetScale(scale);
        c.SetWidth(width);
        c.SetHeight(height);
        c.SetCount(count);
        c.SetLevels(levels);
        QCOMPARE(c.Cols, cols);
        QCOMPARE(c.Rows, rows);
        QCOMPARE(c.CellWidth, cellWidth);
        QCOMPARE(c.CellHeight, cellHeight);
        if (rowHeight < 0) {
            QCOMPARE(c.CellAt(0, 0), -10);
            QCOMPARE(c.CellAt(width / 2, height / 2), -10);
            QCOMPARE(c.GetCell(0).Outer, TPreviewRect{});
            return;
        }
        const TCellRect first = c.GetCell(0);
        QCOMPARE(first.Outer.Height(), rowHeight);
        // The columns fill the width exactly; the rows never exceed the area.
        QCOMPARE(c.GetCellAt(c.Cols - 1, 0).Outer.Right, width);
        QVERIFY(c.GetCellAt(0, c.Rows - 1).Outer.Bottom <= height);
        QCOMPARE(int(first.LevelLine1.size()), levels);
        // Lines: two for the output, two per level; bands close up at the bottom.
        const int mx = c.CellWidth / 15, lh = (first.Inner.Height() - 2) / (2 * levels + 2);
        QCOMPARE(first.Inner.Left, mx);
        QCOMPARE(first.Inner.Top, 3 * mx);
        QCOMPARE(first.Line1.Height(), lh);
        QCOMPARE(first.Line2.Top, first.Line1.Bottom);
        for (int j = 0; j < levels; ++j) {
            QCOMPARE(first.LevelLine1[j].Top, first.Inner.Bottom - 2 * lh * (levels - j));
            QCOMPARE(first.LevelLine2[j].Top, first.LevelLine1[j].Bottom - 1);
        }
    }

    // Shared edges belong to the upper or left tile; points beyond the last
    // column or row land in it.
    void previewCellAt_data() {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("cell");
        QTest::newRow("origin") << 0 << 0 << 0;
        QTest::newRow("shared vertical edge") << 50 << 10 << 0;
        QTest::newRow("just right of it") << 51 << 10 << 1;
        QTest::newRow("shared horizontal edge") << 10 << 150 << 0;
        QTest::newRow("just below it") << 10 << 151 << 16;
        QTest::newRow("beyond the right edge") << 5000 << 10 << 15;
        QTest::newRow("beyond the bottom") << 10 << 5000 << 48;
        QTest::newRow("left of the area") << -1 << 10 << -10;
    }
    void previewCellAt() {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(int, cell);
        TCells c;
        c.SetWidth(800);
        c.SetHeight(600);
        c.SetCount(16);
        c.SetLevels(2);
        QCOMPARE(c.CellAt(x, y), cell);
    }

    // The painter: white inner area, bands in the level colours, the number
    // and a black line above the first band; nothing outside the tile.
    void previewTilePainter() {
        TCells c;
        c.SetWidth(800);
        c.SetHeight(600);
        c.SetCount(16);
        c.SetLevels(2);
        const TCellRect cell = c.GetCell(17);
        TTileContent content;
        content.Number = QStringLiteral("18");
        content.Name = QStringLiteral("Out");
        content.Bands = {{clr::Red, clr::Black, QStringLiteral("4"), QStringLiteral("Cam")},
                         {clr::Navy, clr::White, QStringLiteral("5"), QString()}};
        QImage picture;
        PaintPreviewTile(picture, cell, content, [&](const QString& t) {
            return PreviewFitFont(t, c.InnerWidth, c.LineHeight);
        });
        QCOMPARE(picture.size(), QSize(cell.Outer.Width() + 1, cell.Outer.Height() + 1));
        auto local = [&](const TPreviewRect& r) {
            return QRect(r.Left - cell.Outer.Left, r.Top - cell.Outer.Top, r.Width(), r.Height());
        };
        QCOMPARE(picture.pixel(0, 0), Pixel(clr::Silver)); // margin
        const QRect inner = local(cell.Inner);
        QCOMPARE(picture.pixel(inner.topLeft()), Pixel(clr::Black)); // outline
        QCOMPARE(picture.pixel(inner.left() + 1, inner.top() + 1), Pixel(clr::White));
        const QRect band0 = local(cell.LevelLine1[0]);
        QCOMPARE(picture.pixel(band0.left() + 2, band0.top() + 2), Pixel(clr::Red));
        QCOMPARE(picture.pixel(band0.left() + 2, band0.top() - 1), Pixel(clr::Black)); // line
        const QRect band1 = local(cell.LevelLine2[1]);
        QCOMPARE(picture.pixel(band1.left() + 2, band1.top() + 2), Pixel(clr::Navy));
        QVERIFY(HasColour(picture, local(cell.LevelLine1[1]), clr::White)); // the "5"
        QVERIFY(HasColour(picture, local(cell.Line1), clr::Black));         // the "18"
        // Fitting stays within its sizes.
        QVERIFY(PreviewFitFont(QStringLiteral("x"), 1000, 1000).pointSize() <= 14);
        QVERIFY(PreviewFitFont(QStringLiteral("x"), 0, 0).pointSize() >= 1);
    }

    // The widget repaints only the tile whose shown values changed.
    void previewRepaintsOneTile() {
        TPreviewField p;
        p.resize(801, 601);
        p.SetScale(64);
        p.SetSize(16, 16);
        p.SetLevelCount(2);
        p.SetVisible(0x00000101);
        p.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p));
        QList<int> repainted;
        p.OnRepaintTile = [&](int o) { repainted << o; };
        p.SetStatus(3, {7, 8, 0, 0});
        QCOMPARE(repainted, QList<int>{3});
        // Equal on the shown levels: nothing, even if level 3 differs.
        p.SetStatus(3, {7, 8, 99, 0});
        QCOMPARE(repainted, QList<int>{3});
        QCOMPARE(p.GetStatus(3), (TLevelValues{7, 8, 0, 0}));
        // A new input name waits for the next paint of a tile showing it.
        p.SetInputName(7, QStringLiteral("Camera"));
        QCOMPARE(repainted, QList<int>{3});
        p.SetOutputName(5, QStringLiteral("Mon"));
        QCOMPARE(repainted, (QList<int>{3, 5}));
        // Outputs outside the table or the size are ignored.
        p.SetStatus(-1, {1, 1, 1, 1});
        p.SetStatus(300, {1, 1, 1, 1});
        p.SetStatus(20, {1, 1, 1, 1});
        QCOMPARE(repainted, (QList<int>{3, 5}));

        const TTileContent t = p.Content(3);
        QCOMPARE(t.Number, QStringLiteral("4"));
        QCOMPARE(int(t.Bands.size()), 2);
        QCOMPARE(t.Bands[0].Number, QStringLiteral("8"));
        QCOMPARE(t.Bands[0].Name, QStringLiteral("Camera"));
        // Level 1 hidden: the level 2 band moves up to the first place.
        p.SetVisible(0x00000100);
        QCOMPARE(int(p.Content(3).Bands.size()), 1);
        QCOMPARE(p.Content(3).Bands[0].Number, QStringLiteral("9"));
        QCOMPARE(p.Cells().Levels, 1);
    }

    // Inputs a switcher may report beyond the name table show a number only.
    void previewInputOutsideNames_data() {
        QTest::addColumn<int>("input");
        QTest::addColumn<QString>("number");
        QTest::newRow("zero reported: -1") << -1 << QStringLiteral("0");
        QTest::newRow("last name") << 256 << QStringLiteral("257");
        QTest::newRow("just beyond") << 257 << QStringLiteral("258");
        QTest::newRow("far beyond") << 32766 << QStringLiteral("32767");
        QTest::newRow("lowest") << std::numeric_limits<int>::min() << QStringLiteral("-2147483647");
    }
    void previewInputOutsideNames() {
        QFETCH(int, input);
        QFETCH(QString, number);
        TPreviewField p;
        p.resize(400, 300);
        p.SetLevelCount(1);
        p.SetVisible(0x01);
        p.SetSize(8, 8);
        p.SetInputName(256, QStringLiteral("last"));
        p.SetStatus(0, {input, 0, 0, 0});
        const TTileContent t = p.Content(0);
        QCOMPARE(t.Bands[0].Number, number);
        QCOMPARE(t.Bands[0].Name, input == 256 ? QStringLiteral("last") : QString());
        p.grab(); // paints without reading beyond the names
    }

    void cleanName_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("blanks around")
            << QStringLiteral("  Camera 3  ") << QStringLiteral("Camera 3");
        QTest::newRow("line break inside")
            << QStringLiteral("Cam\r\nera") << QStringLiteral("Cam  era");
        QTest::newRow("tab at the end") << QStringLiteral("Cam\t") << QStringLiteral("Cam");
        QTest::newRow("only blanks") << QStringLiteral(" \n ") << QString();
        QTest::newRow("non-ASCII kept") << QStringLiteral("Kamera ä") << QStringLiteral("Kamera ä");
    }
    void cleanName() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QCOMPARE(CleanParamsName(typed), stored);
    }

    // Logo: a path without a file is kept with CLEAR disabled; CHANGE goes
    // through the picker; CLEAR drops the picture and the path.
    void paramsDialogLogo() {
        QTemporaryDir dir;
        const QString bmp = dir.filePath(QStringLiteral("logo.bmp"));
        QImage picture(20, 20, QImage::Format_RGB32);
        picture.fill(Qt::red);
        QVERIFY(picture.save(bmp, "BMP"));
        TParamsWindow d;
        d.SetLogoFile(dir.filePath(QStringLiteral("gone.bmp")));
        QCOMPARE(d.LogoFile(), dir.filePath(QStringLiteral("gone.bmp")));
        QVERIFY(!d.LogoLoaded() && !d.SBtnClear->isEnabled());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));

        QList<pickers::TFileRequest> asked;
        pickers::SetFileHandler([&](const pickers::TFileRequest& r) -> std::optional<QString> {
            asked << r;
            return bmp;
        });
        QTest::mouseClick(d.SBtnChange, Qt::LeftButton);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].Filter, QStringLiteral("Bitmaps (*.bmp)"));
        QVERIFY(asked[0].StartPath.isEmpty()); // no logo loaded before
        QVERIFY(d.LogoLoaded() && d.SBtnClear->isEnabled());
        QCOMPARE(d.LogoFile(), bmp);
        const QImage shown = d.PBoxLogo->grab().toImage();
        QCOMPARE(shown.pixel(26, 25), QColor(Qt::red).rgb());
        QCOMPARE(shown.pixel(3, 3), QColor(Qt::white).rgb());
        // The chooser starts at the loaded file; cancelling it changes nothing.
        pickers::SetFileHandler([&](const pickers::TFileRequest& r) -> std::optional<QString> {
            asked << r;
            return std::nullopt;
        });
        QTest::mouseClick(d.SBtnChange, Qt::LeftButton);
        QCOMPARE(asked[1].StartPath, bmp);
        QCOMPARE(d.LogoFile(), bmp);
        QTest::mouseClick(d.SBtnClear, Qt::RightButton);
        QVERIFY(d.LogoLoaded());
        QTest::mouseClick(d.SBtnClear, Qt::LeftButton);
        QVERIFY(!d.LogoLoaded() && d.LogoFile().isEmpty() && !d.SBtnClear->isEnabled());
        // Not a picture: nothing loaded, the path kept.
        QFile junk(dir.filePath(QStringLiteral("junk.bmp")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a picture");
        junk.close();
        d.SetLogoFile(junk.fileName());
        QVERIFY(!d.LogoLoaded());
        QCOMPARE(d.LogoFile(), junk.fileName());
    }

    void paramsDialogKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("Enter") << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(QDialog::Accepted);
        QTest::newRow("Esc") << int(Qt::Key_Escape) << int(QDialog::Rejected);
    }
    void paramsDialogKeys() {
        QFETCH(int, key);
        QFETCH(int, result);
        TParamsWindow d;
        d.setResult(-1);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QApplication::setActiveWindow(&d);
        d.EditName->setFocus();
        QTest::keyClicks(d.EditName, QStringLiteral("abc"));
        QTest::keyClick(d.EditName, Qt::Key(key));
        QCOMPARE(d.result(), result);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.EditName->text(), QStringLiteral("abc"));
    }

    void paramsDialogButtons() {
        TParamsWindow d;
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.setResult(-1);
        QTest::mouseClick(d.SBtnOk, Qt::RightButton);
        QVERIFY(d.isVisible());
        QTest::mouseClick(d.SBtnCancel, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        d.show();
        QTest::mouseClick(d.SBtnOk, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        // Client size from CANCEL's corner plus the label's margins.
        QCOMPARE(d.width(), d.SBtnCancel->geometry().right() + 1 + d.STextIconCaption->x());
        QCOMPARE(d.height(), d.SBtnCancel->geometry().bottom() + 1 + d.STextIconCaption->y());
    }
};

QTEST_MAIN(TestViews)
#include "tst_views.moc"
