#include "MainWindow.h"
#include "ProgramInfo.h"
#include "Translation.h"

#include <QApplication>
#include <QLocale>
#include <QLoggingCategory>
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
    if (AnswerInfoOptions(
            argc, argv, "fibrewatch",
            "Usage: fibrewatch [--verbose] [ADDRESS]\n"
            "Watches the power supplies and the 64 SFP optical modules of one switcher chassis\n"
            "at ADDRESS (default 192.168.0.10, port 10004). The panel starts it per chassis.\n\n"
            "  --verbose   one debug line per request\n"
            "  --help      this text\n"
            "  --version   the version\n"))
        return 0;
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
    // --verbose turns the per-request debug lines on; the first other argument
    // is the device address.
    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (args.removeAll(QStringLiteral("--verbose")) > 0)
        QLoggingCategory::setFilterRules(QStringLiteral("fibrewatch.debug=true"));
    const QString address =
        !args.isEmpty() ? args.first() : QString::fromLatin1(DefaultDeviceAddress);
    InstallTranslation(QLocale::system());

    auto* window = new MainWindow(address);
    // The panel that started us names the role our window carries, by which it
    // tells our window from any other claiming our process id.
    const QString role = qEnvironmentVariable("FIBREWATCH_WINDOW_ROLE");
    if (!role.isEmpty())
        window->setWindowRole(role);
    window->show();
    QApplication::exec();
    // The worker may be waiting on the device: end the process at once, status 0.
    std::fflush(nullptr);
    std::_Exit(0);
}
