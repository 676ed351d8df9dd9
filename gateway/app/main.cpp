// matrixgateway: the switchers for the control systems a facility already has.
#include "FilesFolder.h"
#include "Gateway.h"
#include "QuotedInput.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <sys/resource.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void OnStop(int) {
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(gSignalPipe[1], &b, 1);
}

int Fail(int status, const QString& text) {
    std::fprintf(stderr, "matrixgateway: %s\n", QuotedInput(text, INT_MAX).toUtf8().constData());
    return status;
}

// A thousand clients need more open files than the usual 1,024: take what
// the system allows this process.
void RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrixgateway"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MATRIXPANEL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves the panel's switchers to control systems over the Videohub protocol, Ember+ "
        "and SW-P-08, with one "
        "poller on the switchers however many clients connect.\n\nExit status: 0 stopped, 2 "
        "usage or configuration, 3 cannot listen or nothing to poll."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Shows the version."));
    const QCommandLineOption ini(QStringLiteral("ini"),
                                 QStringLiteral("The panel's INI file (names, [GATEWAY])."),
                                 QStringLiteral("file"));
    const QCommandLineOption set(QStringLiteral("set"), QStringLiteral("The level set file."),
                                 QStringLiteral("file"));
    const QCommandLineOption videohub(
        QStringLiteral("videohub"),
        QStringLiteral("Serves the Videohub protocol on ADDRESS:PORT (e.g. 127.0.0.1:9990)."),
        QStringLiteral("address:port"));
    const QCommandLineOption ember(
        QStringLiteral("ember"),
        QStringLiteral("Serves Ember+ on ADDRESS:PORT (e.g. 127.0.0.1:9000)."),
        QStringLiteral("address:port"));
    const QCommandLineOption swp08(
        QStringLiteral("swp08"),
        QStringLiteral("Serves SW-P-08 on ADDRESS:PORT (e.g. 127.0.0.1:8910)."),
        QStringLiteral("address:port"));
    parser.addOptions({help, version, ini, set, videohub, ember, swp08});
    if (!parser.parse(QCoreApplication::arguments()))
        return Fail(2, parser.errorText() + QStringLiteral(" (see matrixgateway --help)"));
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("matrixgateway %s\n", MATRIXPANEL_VERSION);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return Fail(
            2,
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    TGateway::TOptions options;
    // The panel's files, found as the panel finds them.
    const TPanelFileNames files = FindPanelFiles(parser.value(ini), parser.value(set));
    options.IniFile = files.IniFile;
    options.LevelSetFile = files.LevelSetFile;
    if (parser.isSet(videohub)) {
        options.Videohub = ParseListenAddress(parser.value(videohub));
        if (!options.Videohub)
            return Fail(2, QStringLiteral("--videohub takes ADDRESS:PORT, not \"%1\"")
                               .arg(parser.value(videohub)));
    }
    if (parser.isSet(ember)) {
        options.Ember = ParseListenAddress(parser.value(ember));
        if (!options.Ember)
            return Fail(
                2,
                QStringLiteral("--ember takes ADDRESS:PORT, not \"%1\"").arg(parser.value(ember)));
    }
    if (parser.isSet(swp08)) {
        options.Swp08 = ParseListenAddress(parser.value(swp08));
        if (!options.Swp08)
            return Fail(
                2,
                QStringLiteral("--swp08 takes ADDRESS:PORT, not \"%1\"").arg(parser.value(swp08)));
    }
    RaiseOpenFileLimit();
    std::signal(SIGPIPE, SIG_IGN);

    TGateway gateway(options);
    QString error;
    if (!gateway.Start(&error))
        return Fail(error.startsWith(QLatin1String("[GATEWAY]")) ? 2 : 3, error);
    // A service manager's stop request (or Ctrl+C) ends the gateway normally:
    // the handler only writes to a pipe the event loop watches.
    if (::pipe(gSignalPipe) == 0) {
        struct sigaction sa {};
        sa.sa_handler = OnStop;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
        auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app,
                         [] { QCoreApplication::exit(0); });
    }
    return QCoreApplication::exec();
}
