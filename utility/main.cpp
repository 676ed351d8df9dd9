#include "MainWindow.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

// Used when no address is given on the command line.
const char* const DefaultDeviceAddress = "192.168.0.10";

int gSignalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(gSignalPipe[1], &b, 1);
}

} // namespace

int main(int argc, char* argv[]) {
    // A request to quit by process id (SIGTERM) ends the event loop like closing
    // the window. The pipe exists before the application object.
    if (::pipe(gSignalPipe) == 0) {
        struct sigaction sa {};
        sa.sa_handler = OnTerminate;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGTERM, &sa, nullptr);
    }
    QApplication app(argc, argv);
    // quit() would first ask every window to close, and the yellow message box
    // (no buttons) refuses: leave the event loop directly instead.
    auto leave = [] { QCoreApplication::exit(0); };
    if (gSignalPipe[0] >= 0) {
        auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, leave);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &app, leave);
    const QStringList args = QApplication::arguments();
    const QString address = args.size() > 1 ? args[1] : QString::fromLatin1(DefaultDeviceAddress);

    auto* window = new MainWindow(address);
    window->show();
    QApplication::exec();
    // The worker may be waiting on the device: end the process at once, status 0.
    std::fflush(nullptr);
    std::_Exit(0);
}
