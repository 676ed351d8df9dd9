// Times the cross-point field's hot paths on a 256 x 256 matrix at zoom 3 with
// four levels. Prints milliseconds per operation; nothing is asserted.
#include "Field.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

double TimeMs(int rounds, const std::function<void(int)>& op) {
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rounds; ++i)
        op(i);
    return static_cast<double>(t.nsecsElapsed()) / 1e6 / rounds;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    TField field;
    field.resize(1400, 1000);
    field.show();
    field.SetScale(3);
    field.SetLevelCount(4);
    const double setSize = TimeMs(5, [&](int) { field.SetSize(256, 256); });
    QApplication::processEvents();
    for (int r = 0; r < 256; ++r)
        field.SetStatus(r, {r, (r + 1) % 256, (r + 2) % 256, (r * 3) % 256});
    QApplication::processEvents();

    const int s = field.Geometry().s;
    const double hover = TimeMs(400, [&](int i) {
        const int col = 10 + i % 20, row = 12 + (i / 20) % 10;
        field.SurfaceMouseMove(TFieldPane::Grid, QPoint(col * s + 3, row * s + 3));
        QApplication::processEvents();
    });
    const double full = TimeMs(20, [&](int) {
        field.Surface(TFieldPane::Grid)->update();
        QApplication::processEvents();
    });
    const double redraw = TimeMs(20, [&](int) {
        field.RedrawMarks();
        QApplication::processEvents();
    });
    const double status = TimeMs(400, [&](int i) {
        field.SetStatus(20, {i % 256, (i + 5) % 256, (i + 9) % 256, (i + 13) % 256});
        QApplication::processEvents();
    });
    const TCellRange v = field.VisibleCells();
    std::printf("visible cells %d x %d\n", v.Right - v.Left + 1, v.Bottom - v.Top + 1);
    std::printf("hover move        %8.3f ms (goal < 0.5)\n", hover);
    std::printf("full visible      %8.3f ms (goal < 8)\n", full);
    std::printf("SetSize(256,256)  %8.3f ms\n", setSize);
    std::printf("RedrawMarks       %8.3f ms\n", redraw);
    std::printf("SetStatus (row)   %8.3f ms\n", status);

    // A size change with all 512 logo slots naming large pictures (8 distinct
    // files of 2000 x 2000 pixels): how long SetSize and the longest event-loop
    // pass take until every logo is painted (goal: each under 100 ms).
    QTemporaryDir dir;
    QStringList paths;
    for (int k = 0; k < 8; ++k) {
        QImage picture(2000, 2000, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(k * 40, 200, 255));
        paths << dir.filePath(QStringLiteral("logo%1.png").arg(k));
        picture.save(paths.last());
    }
    for (int i = 0; i < 256; ++i) {
        field.SetInputLogo(i, paths[i % 8]);
        field.SetOutputLogo(i, paths[(i + 3) % 8]);
    }
    field.SetSize(0, 0);
    QElapsedTimer t;
    t.start();
    field.SetSize(256, 256);
    const double sizeChange = double(t.nsecsElapsed()) / 1e6;
    double longest = 0;
    QImage tip(33, 33, QImage::Format_RGB32);
    for (int pass = 0; pass < 100000; ++pass) {
        t.restart();
        QApplication::processEvents();
        longest = std::max(longest, double(t.nsecsElapsed()) / 1e6);
        field.CopyOutputLogo(255, tip);
        if (tip.pixelColor(16, 16).rgb() == QColor::fromHsv(2 * 40, 200, 255).rgb())
            break;
    }
    std::printf("SetSize, 512 large logos %8.3f ms, longest pass after it %8.3f ms (goal < 100)\n",
                sizeChange, longest);
    return 0;
}
