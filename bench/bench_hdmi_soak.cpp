// Repaints the HDMI window with every field changing, as a switcher flipping
// its values each poll cycle would, and prints the process's resident memory
// as it goes: repainting the same kinds of content must not grow it.
// Usage: bench_hdmi_soak [publishes] (default 200000). Nothing is asserted.
#include "ColorTabBar.h"
#include "HdmiRequests.h"
#include "HdmiWindow.h"

#include <QApplication>
#include <QFile>

#include <cstdio>

namespace {

long RssKb() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int publishes = argc > 1 ? std::atoi(argv[1]) : 200000;
    THdmiWindow w;
    w.HdmiTab->Rebuild({QStringLiteral("A")});
    w.Requests()->SetEnabled(true);
    w.Requests()->SetTab(0);
    w.show();
    THdmiState previous;
    for (int i = 0; i < publishes; ++i) {
        THdmiState s;
        s.StandardCode = i % 7;
        s.StandardName = (i % 2) ? "1080i50" : "720p60";
        s.Groups = {i % 2 == 0, i % 3 == 0, i % 2 == 1, i % 5 == 0};
        s.Meter1On = i % 2;
        s.Meter2On = !(i % 2);
        s.Meter1Group = i % 4;
        s.Meter2Group = (i + 1) % 4;
        s.SliderMax = 404;
        s.Meter1Slider = i % 404;
        s.Meter2Slider = (i * 7) % 404;
        s.ScaleMode = i % 2;
        s.DbfsRef = i % 20;
        s.DbuRef = i % 21;
        s.StreamMode = i % 2;
        w.PublishHdmi(0, s, previous);
        previous = s;
        if (i % 100 == 0)
            QApplication::processEvents();
        if (i == 1000 || i == publishes / 2 || i == publishes - 1)
            std::printf("after %d publishes: RSS %ld kB\n", i + 1, RssKb());
    }
    return 0;
}
