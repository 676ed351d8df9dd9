// matrixctl: the panel's routing from scripts and automation.
#include "ControlClient.h"
#include "FilesFolder.h"
#include "QuotedInput.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <climits>
#include <cstdio>

namespace {

int UsageError(const QString& text) {
    std::fprintf(stderr, "matrixctl: %s (see matrixctl --help)\n",
                 QuotedInput(text, INT_MAX).toUtf8().constData());
    return ctl::Usage;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("matrixctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MATRIXPANEL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Operates the panel's switchers from scripts, with the panel's level set "
                       "and INI file.\n\nCommands:\n") +
        CommandHelp() +
        QStringLiteral("\nInputs and outputs are numbers from 1 or names. Exit status: 0 done, 2 "
                       "usage,\n3 no connection, 4 refused by the switcher or held by a lock."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Shows the version."));
    const QCommandLineOption ini(QStringLiteral("ini"), QStringLiteral("The panel's INI file."),
                                 QStringLiteral("file"));
    const QCommandLineOption set(QStringLiteral("set"), QStringLiteral("The level set file."),
                                 QStringLiteral("file"));
    const QCommandLineOption level(
        QStringLiteral("level"),
        QStringLiteral("A level to act on (repeat for more); default: those controlled in the "
                       "INI file."),
        QStringLiteral("L"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object per line."));
    const QCommandLineOption ignoreLocks(QStringLiteral("ignore-locks"),
                                         QStringLiteral("salvo take: takes locked outputs too."));
    const QCommandLineOption dryRun(
        QStringLiteral("dry-run"),
        QStringLiteral("salvo take: lists what the TAKE would leave out and why, and sends "
                       "nothing (exit 4 when something would be left out)."));
    parser.addOptions({help, version, ini, set, level, json, ignoreLocks, dryRun});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do."));
    if (!parser.parse(QCoreApplication::arguments()))
        return UsageError(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return ctl::Done;
    }
    if (parser.isSet(version)) {
        std::printf("matrixctl %s\n", MATRIXPANEL_VERSION);
        return ctl::Done;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return UsageError(QStringLiteral("no command given"));

    TControlClient::TOptions options;
    options.Command = FindCommand(args);
    if (!options.Command) {
        // A command's first word alone, or an unknown one: say which there are.
        QStringList known;
        for (const TCommand& c : Commands())
            if (c.Words.size() > 1 && c.Words.first() == args.first())
                known << c.Words.join(QLatin1Char(' '));
        return UsageError(
            known.isEmpty()
                ? QStringLiteral("unknown command \"%1\"").arg(QuotedInput(args.first()))
                : QStringLiteral("%1 is one of: %2")
                      .arg(args.first(), known.join(QStringLiteral(", "))));
    }
    const TCommand& command = *options.Command;
    options.Arguments = args.mid(command.Words.size());
    const int given = static_cast<int>(options.Arguments.size());
    if (given < command.MinArguments || given > command.MaxArguments) {
        const QString name = command.Words.join(QLatin1Char(' '));
        return UsageError(command.Arguments.isEmpty()
                              ? QStringLiteral("%1 takes no arguments").arg(name)
                              : QStringLiteral("%1 takes %2").arg(name, command.Takes));
    }
    options.Json = parser.isSet(json);
    options.IgnoreLocks = parser.isSet(ignoreLocks);
    options.DryRun = parser.isSet(dryRun);
    if (options.DryRun && command.Run != &TControlClient::SalvoTake)
        return UsageError(QStringLiteral("--dry-run applies to salvo take only"));
    for (const QString& l : parser.values(level)) {
        bool ok = false;
        const int k = l.toInt(&ok);
        if (!ok)
            return UsageError(QStringLiteral("--level takes a level number, not \"%1\"").arg(l));
        options.Levels.push_back(k);
    }
    // The panel's files, found as the panel finds them: beside the programs,
    // else in the user's configuration folder.
    const TPanelFileNames files = FindPanelFiles(parser.value(ini), parser.value(set));
    options.IniFile = files.IniFile;
    options.LevelSetFile = files.LevelSetFile;

    TControlClient client(options);
    QObject::connect(&client, &TControlClient::Finished, &app, &QCoreApplication::exit);
    QMetaObject::invokeMethod(&client, &TControlClient::Start, Qt::QueuedConnection);
    return QCoreApplication::exec();
}
