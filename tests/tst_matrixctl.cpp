// matrixctl as a user runs it: its own process against switchersim (another
// process), with the frames the simulator received and its JSON parsed.
#include "SimProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <QJsonArray>

#include <memory>
#include <sstream>
#include <sys/stat.h>

namespace {

struct TResult {
    int Exit = -1;
    QStringList Out, Err;
};

QStringList Lines(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// Two chassis (levels 1 and 2 on the first, 3 on the second), 16 x 16, and
// the panel's files naming some inputs and outputs.
struct TRig {
    QTemporaryDir Dir;
    std::string A = PlainSimAddress(1), B = PlainSimAddress(2);
    std::unique_ptr<TSimProcess> Sim;
    TRig() {
        Sim = std::make_unique<TSimProcess>(
            std::vector<std::string>{A + ":levels=1,2:size=16x16", B + ":levels=3:size=16x16"});
        WriteSet(QStringLiteral("matrixpanel.set"), B);
        WriteSet(QStringLiteral("dead.set"), PlainSimAddress(9));
        ::mkfifo(QFile::encodeName(Dir.filePath(QStringLiteral("fifo.set"))).constData(), 0600);
        QFile ini(Dir.filePath(QStringLiteral("matrixpanel.ini")));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[INPUTS]\nNAME2=Camera 3\nNAME3=VTR\nNAME4=vtr\n[OUTPUTS]\nNAME0=PGM\n");
    }
    void WriteSet(const QString& name, const std::string& third) {
        QFile f(Dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly))
            return;
        const std::string ips[] = {A, A, third};
        f.write("[OPTIONS]\nCOUNT=3\n");
        for (int k = 1; k <= 3; ++k)
            f.write(QStringLiteral("[LEVEL%1]\nADDRESS=%1\nNAME=L%1NAME\nIP=%2\n")
                        .arg(k)
                        .arg(PackedAddress(ips[k - 1]))
                        .toUtf8());
    }
    QStringList Args(const QStringList& args, const QString& set = {}) const {
        return QStringList{QStringLiteral("--ini"), Dir.filePath(QStringLiteral("matrixpanel.ini")),
                           QStringLiteral("--set"),
                           Dir.filePath(set.isEmpty() ? QStringLiteral("matrixpanel.set") : set)} +
               args;
    }
    TResult Run(const QStringList& args, const QString& set = {}) const {
        QProcess p;
        p.start(QStringLiteral(MATRIXCTL_PATH), Args(args, set));
        TResult r;
        if (!p.waitForFinished(30000))
            return r;
        r.Exit = p.exitCode();
        r.Out = Lines(p.readAllStandardOutput());
        r.Err = Lines(p.readAllStandardError());
        return r;
    }
    // Request frames of one command (5, command) chassis c received since the last call.
    std::vector<std::vector<int>> Frames(int c, int command) {
        std::vector<std::vector<int>> frames;
        for (const std::string& line : Sim->Command("requests " + std::to_string(c))) {
            std::vector<int> words;
            std::istringstream in(line.substr(5));
            for (int w; in >> w;)
                words.push_back(w);
            if (words.size() > 2 && words[1] == 5 && words[2] == command)
                frames.push_back(words);
        }
        return frames;
    }
};

QJsonObject Json(const QString& line) {
    QJsonParseError error{};
    const QJsonDocument d = QJsonDocument::fromJson(line.toUtf8(), &error);
    return error.error == QJsonParseError::NoError && d.isObject() ? d.object() : QJsonObject();
}

} // namespace

class TestMatrixCtl : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Exit status and the one line on standard error, per kind of outcome.
    void outcomes_data() {
        QTest::addColumn<QString>("before"); // a simulator command first
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("set");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QString>("error");
        const QString none;
        auto row = [&](const char* name, const QString& before, QStringList args,
                       const QString& set, int exit, const char* error) {
            QTest::newRow(name) << before << args << set << exit << QString::fromUtf8(error);
        };
        row("route by names", none, {"route", "pgm", "CAMERA 3"}, none, 0, "");
        row("ambiguous name", none, {"route", "1", "vtr"}, none, 2,
            "input name \"vtr\" is ambiguous: 4, 5");
        row("unknown name", none, {"route", "1", "Camera 9"}, none, 2,
            "no input is named \"Camera 9\"");
        row("beyond the matrix", none, {"route", "17", "1"}, none, 2, "no output 17");
        row("no such level", none, {"--level", "4", "show"}, none, 2, "no level 4");
        row("unknown command", none, {"reroute"}, none, 2, "unknown command");
        row("missing input", none, {"route", "1"}, none, 2, "route takes an output and an input");
        row("no switcher", none, {"show"}, "dead.set", 3,
            qPrintable(QString::fromStdString(PlainSimAddress(9))));
        row("locked by another panel", "lock 1 1 2", {"route", "2", "5", "--level", "1"}, none, 4,
            "output 2 is locked on L1 L1NAME");
        row("salvo taken", none, {"salvo", "take", "16-N"}, none, 0, "");
        row("salvo held by a lock", "lock 1 1 2", {"salvo", "take", "16-N"}, none, 4,
            "not taken: out 2 on L1 L1NAME: locked");
        row("dry run: everything would be taken", none, {"salvo", "take", "16-N", "--dry-run"},
            none, 0, "");
        row("dry run: a lock holds one", "lock 1 1 2", {"salvo", "take", "16-N", "--dry-run"}, none,
            4, "1 cross-points would not be taken");
        row("dry run of another command", none, {"route", "1", "2", "--dry-run"}, none, 2,
            "--dry-run applies to salvo take only");
        row("undo without a record", none, {"undo"}, none, 4, "nothing to undo");
        row("salvo taken ignoring locks", "lock 1 1 2", {"salvo", "take", "16-N", "--ignore-locks"},
            none, 0, "");
        row("no such salvo", none, {"salvo", "take", "nope"}, none, 2, "no salvo \"nope\"");
        row("already unlocked", none, {"unlock", "4"}, none, 0, "");
        row("unknown name, the closest listed", none, {"route", "1", "Cam"}, none, 2,
            "no input is named \"Cam\"; closest: 3 \"Camera 3\"");
        row("extra arguments", none, {"show", "x", "y"}, none, 2, "show takes no arguments");
        row("salvo by its name in another case", none, {"salvo", "take", "16-n"}, none, 0, "");
        row("control characters written out", none, {"route", "1", "a\x1b[2J\rX\x07"}, none, 2,
            "no input is named \"a\\x1b[2J\\x0dX\\x07\"");
        row("level set not a file", none, {"show"}, "fifo.set", 2, "fifo.set (not a regular file)");
        const std::string b = PlainSimAddress(2);
        row("switcher unreachable: the switcher and its level", none, {"show"}, "dead.set", 3,
            qPrintable(QStringLiteral("cannot connect to the switcher at %1:10004 (L3 L3NAME)")
                           .arg(QString::fromStdString(PlainSimAddress(9)))));
        row("no routing switcher: the switcher and its level", "fault 2 1 error", {"show"}, none, 3,
            qPrintable(QStringLiteral("no routing switcher answers at %1:10004")
                           .arg(QString::fromStdString(b))));
    }
    void outcomes() {
        QFETCH(QString, before);
        QFETCH(QStringList, args);
        QFETCH(QString, set);
        QFETCH(int, exit);
        QFETCH(QString, error);
        TRig rig;
        QVERIFY(rig.Sim->Running());
        if (!before.isEmpty())
            rig.Sim->Command(before.toStdString());
        const TResult r = rig.Run(args, set);
        QVERIFY2(r.Exit == exit, qPrintable(r.Err.join(QLatin1Char('/'))));
        if (error.isEmpty()) {
            QCOMPARE(r.Err, QStringList());
        } else {
            QCOMPARE(r.Err.size(), 1);
            QVERIFY2(r.Err[0].startsWith(QLatin1String("matrixctl: ")) && r.Err[0].contains(error),
                     qPrintable(r.Err[0]));
        }
        // Nothing but printable text reaches the terminal.
        for (const QString& line : r.Err + r.Out)
            for (const QChar c : line)
                QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7F, qPrintable(line));
    }

    // No level controlled and none given: a usage error, nothing sent.
    void noLevelToActOn() {
        TRig rig;
        QFile ini(rig.Dir.filePath(QStringLiteral("matrixpanel.ini")));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write("[LEVELS]\nCONTROL1=0\nCONTROL2=0\nCONTROL3=0\n");
        ini.close();
        rig.Frames(1, 1);
        for (const QStringList& args : {QStringList{"route", "1", "2"}, QStringList{"lock", "1"}}) {
            const TResult r = rig.Run(args);
            QCOMPARE(r.Exit, 2);
            QCOMPARE(r.Err.size(), 1);
            QVERIFY(r.Err[0].contains(QLatin1String("no level to act on")));
        }
        QVERIFY(rig.Frames(1, 1).empty() && rig.Frames(1, 8).empty());
    }

    // Routes and locks reach the switchers as frames; a lock is sent only
    // when it must change (the command toggles); the log names matrixctl.
    void framesAndLog() {
        TRig rig;
        rig.Frames(1, 1);
        QCOMPARE(rig.Run({"route", "PGM", "Camera 3", "--level", "2"}).Exit, 0);
        auto routes = rig.Frames(1, 1);
        QCOMPARE(routes.size(), std::size_t(1));
        QCOMPARE(routes[0][3], 1); // output 1
        QCOMPARE(routes[0][4], 1); // one level
        QCOMPARE(routes[0][5], 2); // address 2
        QCOMPARE(routes[0][6], 3); // input 3
        QVERIFY(rig.Frames(2, 1).empty());

        QCOMPARE(rig.Run({"lock", "1", "--level", "2"}).Exit, 0);
        QCOMPARE(rig.Frames(1, 8).size(), std::size_t(1));
        const TResult again = rig.Run({"lock", "1", "--level", "2"});
        QCOMPARE(again.Exit, 0);
        QVERIFY(rig.Frames(1, 8).empty());
        QCOMPARE(rig.Run({"unlock", "1"}).Exit, 0);
        QCOMPARE(rig.Frames(1, 8).size(), std::size_t(1));

        QFile log(rig.Dir.filePath(QStringLiteral("matrixpanel-operations.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QStringList lines = Lines(log.readAll());
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].contains(QLatin1String("ON LINE (matrixctl)")));
        QVERIFY(lines[0].contains(QLatin1String("out 1 \"PGM\"")));
        QVERIFY(lines[1].contains(QLatin1String("LOCK (matrixctl)")));
    }

    // A dry run lists what it holds and why, as JSON too, and sends nothing.
    void dryRunSendsNothing() {
        TRig rig;
        rig.Sim->Command("lock 1 1 2");
        rig.Frames(1, 10);
        const TResult r = rig.Run({"salvo", "take", "16-N", "--dry-run", "--json", "--level", "1"});
        QCOMPARE(r.Exit, 4);
        QVERIFY(r.Out.size() > 2);
        QSet<QString> reasons;
        for (int i = 0; i + 1 < r.Out.size(); ++i) {
            const QJsonObject held = Json(r.Out[i]);
            QCOMPARE(held.value(QStringLiteral("type")).toString(), QStringLiteral("held"));
            reasons << held.value(QStringLiteral("reason")).toString();
        }
        QCOMPARE(reasons,
                 (QSet<QString>{QStringLiteral("locked"), QStringLiteral("not_controlled")}));
        const QJsonObject last = Json(r.Out.last());
        QVERIFY(last.value(QStringLiteral("dry_run")).toBool());
        QCOMPARE(last.value(QStringLiteral("held")).toInt(), r.Out.size() - 1);
        QVERIFY(rig.Frames(1, 10).empty() && rig.Frames(1, 9).empty() && rig.Frames(1, 1).empty());
    }

    // undo steps back from matrixctl's last action once; not over a change
    // made elsewhere since, and not past a lock.
    void undoStepsBackOnce() {
        TRig rig;
        auto input = [&](int output, int level) {
            const TResult r = rig.Run({"show", "--json"});
            for (const QString& line : r.Out) {
                const QJsonObject o = Json(line);
                if (o.value(QStringLiteral("output")).toInt() == output)
                    return o.value(QStringLiteral("levels"))
                        .toArray()[level - 1]
                        .toObject()
                        .value(QStringLiteral("input"))
                        .toInt();
            }
            return -1;
        };
        QCOMPARE(rig.Run({"route", "3", "9"}).Exit, 0);
        QCOMPARE(input(3, 1), 9);
        QCOMPARE(rig.Run({"undo"}).Exit, 0);
        QCOMPARE(input(3, 1), 3);
        QCOMPARE(input(3, 3), 3);
        QCOMPARE(rig.Run({"undo"}).Exit, 4); // one step only

        QCOMPARE(rig.Run({"lock", "4", "--level", "2"}).Exit, 0);
        QCOMPARE(rig.Run({"undo"}).Exit, 0);
        QVERIFY(!Json(rig.Run({"show", "--json"}).Out[3])
                     .value(QStringLiteral("levels"))
                     .toArray()[1]
                     .toObject()
                     .value(QStringLiteral("locked"))
                     .toBool());

        QCOMPARE(rig.Run({"route", "5", "9"}).Exit, 0);
        rig.Sim->Command("route 1 1 5 11"); // another panel, meanwhile
        const TResult changed = rig.Run({"undo"});
        QCOMPARE(changed.Exit, 4);
        QVERIFY(changed.Err.value(0).contains(QLatin1String("the switchers changed since")));
        QCOMPARE(input(5, 2), 9);

        QCOMPARE(rig.Run({"route", "6", "9"}).Exit, 0);
        rig.Sim->Command("lock 1 1 6");
        const TResult held = rig.Run({"undo"});
        QCOMPARE(held.Exit, 4);
        QVERIFY2(held.Err.value(0).contains(QLatin1String("out 6 on L1 L1NAME: locked")),
                 qPrintable(held.Err.join(QLatin1Char('/'))));
        QCOMPARE(input(6, 1), 9);
        QCOMPARE(input(6, 2), 6);
        QFile log(rig.Dir.filePath(QStringLiteral("matrixpanel-operations.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("UNDO (matrixctl)"));
    }

    // Names exported from one panel's INI and imported into another's give the
    // same names; a bad row imports nothing and names its line.
    void namesExportImport() {
        TRig rig;
        const QString csv = rig.Dir.filePath(QStringLiteral("names.csv"));
        QCOMPARE(rig.Run({"names", "export", csv}).Exit, 0);
        QFile exported(csv);
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QStringList lines = Lines(exported.readAll());
        QCOMPARE(lines.size(), 2 + 16 + 16);
        QCOMPARE(lines[3], QStringLiteral("3,Camera 3,"));

        const QString other = rig.Dir.filePath(QStringLiteral("other.ini"));
        QFile o(other);
        QVERIFY(o.open(QIODevice::WriteOnly));
        o.write("[INPUTS]\nNAME2=Old\nNAME9=Gone\n[WINDOW]\nZOOM=5\n");
        o.close();
        const QStringList set = {"--set", rig.Dir.filePath(QStringLiteral("matrixpanel.set"))};
        QProcess p;
        p.start(QStringLiteral(MATRIXCTL_PATH),
                QStringList{"--ini", other} + set + QStringList{"names", "import", csv});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        p.start(QStringLiteral(MATRIXCTL_PATH),
                QStringList{"--ini", other} + set + QStringList{"show", "--json"});
        QVERIFY(p.waitForFinished(30000));
        const QStringList shown = Lines(p.readAllStandardOutput());
        QVERIFY(shown.size() >= 16);
        QCOMPARE(Json(shown[0])[QLatin1String("name")].toString(), QStringLiteral("PGM"));
        QVERIFY(o.open(QIODevice::ReadOnly));
        const QByteArray ini = o.readAll();
        o.close();
        QVERIFY(ini.contains("NAME2=Camera 3") && ini.contains("NAME3=VTR"));
        QVERIFY(!ini.contains("Gone") && ini.contains("ZOOM=5"));

        QFile bad(csv);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("input,name\n1,New\n99,Beyond\n");
        bad.close();
        p.start(QStringLiteral(MATRIXCTL_PATH),
                QStringList{"--ini", other} + set + QStringList{"names", "import", csv});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("line 3:"));
        QVERIFY(o.open(QIODevice::ReadOnly));
        QCOMPARE(o.readAll(), ini);
    }

    void showJson() {
        TRig rig;
        rig.Sim->Command("route 1 2 5 9");
        rig.Sim->Command("monitor 2 3 7");
        const TResult r = rig.Run({"show", "--json"});
        QCOMPARE(r.Exit, 0);
        QCOMPARE(r.Out.size(), 16 + 3);
        const QJsonObject out5 = Json(r.Out[4]);
        QCOMPARE(out5[QLatin1String("type")].toString(), QStringLiteral("output"));
        QCOMPARE(out5[QLatin1String("output")].toInt(), 5);
        const QJsonObject level2 = out5[QLatin1String("levels")].toArray()[1].toObject();
        QCOMPARE(level2[QLatin1String("input")].toInt(), 9);
        QCOMPARE(level2[QLatin1String("locked")].toBool(), false);
        const QJsonObject monitor3 = Json(r.Out[18]);
        QCOMPARE(monitor3[QLatin1String("type")].toString(), QStringLiteral("monitor"));
        QCOMPARE(monitor3[QLatin1String("level")].toInt(), 3);
        QCOMPARE(monitor3[QLatin1String("output")].toInt(), 7);
    }

    // watch reports another operator's route, the connection lost and back.
    void watchJson() {
        TRig rig;
        QProcess watch;
        watch.start(QStringLiteral(MATRIXCTL_PATH), rig.Args({"watch", "--json"}));
        QVERIFY(watch.waitForStarted());
        // Routes until watch has its first picture and reports one.
        QString line;
        for (int input = 2; input < 16 && line.isEmpty(); ++input) {
            rig.Sim->Command("route 1 1 6 " + std::to_string(input));
            if (watch.waitForReadyRead(500))
                line = QString::fromUtf8(watch.readLine()).trimmed();
        }
        const QJsonObject change = Json(line);
        QCOMPARE(change[QLatin1String("type")].toString(), QStringLiteral("crosspoint"));
        QCOMPARE(change[QLatin1String("level")].toInt(), 1);
        QCOMPARE(change[QLatin1String("output")].toInt(), 6);

        // Reads lines until one of the type given comes (others may come first).
        auto next = [&](const QString& type) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 15000) {
                if (!watch.canReadLine() && !watch.waitForReadyRead(200))
                    continue;
                const QJsonObject o = Json(QString::fromUtf8(watch.readLine()));
                if (o[QLatin1String("type")].toString() == type)
                    return o;
            }
            return QJsonObject();
        };
        rig.Sim->Command("fault 2 any close -1");
        const QJsonObject lost = next(QStringLiteral("connection"));
        QCOMPARE(lost[QLatin1String("state")].toString(), QStringLiteral("lost"));
        QVERIFY(lost[QLatin1String("reason")].toString().contains(QString::fromStdString(rig.B)));
        rig.Sim->Command("clear 2");
        QCOMPARE(next(QStringLiteral("connection"))[QLatin1String("state")].toString(),
                 QStringLiteral("back"));
        watch.terminate();
        QVERIFY(watch.waitForFinished(5000));
    }

    // Salvos are read, never written: no folder, even against a switcher whose
    // size flaps; the listing counts what a salvo sets inside this matrix.
    void salvosReadOnly() {
        TRig rig;
        TResult r = rig.Run({"salvo", "list", "--json"});
        QCOMPARE(r.Exit, 0);
        QJsonObject all;
        for (const QString& line : r.Out)
            if (Json(line)[QLatin1String("name")].toString() == QLatin1String("001-ALL"))
                all = Json(line);
        QCOMPARE(all[QLatin1String("type")].toString(), QStringLiteral("salvo"));
        QCOMPARE(all[QLatin1String("outputs")].toInt(), 16);
        QCOMPARE(all[QLatin1String("stored_outputs")].toInt(), 256);
        rig.Sim->Command("fault 1 9 sizeflip");
        rig.Sim->Command("fault 2 9 sizeflip");
        for (int i = 0; i < 3; ++i) {
            r = rig.Run({"salvo", "list"});
            QCOMPARE(r.Exit, 0);
            QCOMPARE(r.Err, QStringList());
        }
        QCOMPARE(rig.Run({"salvo", "take", "N-N"}).Exit, 0);
        QVERIFY(!QFileInfo::exists(rig.Dir.filePath(QStringLiteral("Memory"))));
    }

    // levels --json: every line has its type; an import through a linked INI
    // file writes the file the link names, and the link stays.
    void levelsJsonAndLinkedIni() {
        TRig rig;
        const TResult r = rig.Run({"levels", "--json"});
        QCOMPARE(r.Exit, 0);
        QCOMPARE(r.Out.size(), 3);
        for (const QString& line : r.Out)
            QCOMPARE(Json(line)[QLatin1String("type")].toString(), QStringLiteral("level"));
        const QString real = rig.Dir.filePath(QStringLiteral("matrixpanel.ini"));
        const QString link = rig.Dir.filePath(QStringLiteral("linked.ini"));
        QVERIFY(QFile::link(real, link));
        const QString csv = rig.Dir.filePath(QStringLiteral("one.csv"));
        QFile f(csv);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("output,name\n2,  Studio B  \n");
        f.close();
        QProcess p;
        p.start(QStringLiteral(MATRIXCTL_PATH),
                QStringList{"--ini", link, "--set",
                            rig.Dir.filePath(QStringLiteral("matrixpanel.set")), "names", "import",
                            csv});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QFileInfo(link).isSymLink());
        QFile ini(real);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().contains("NAME1=Studio B\n"));
    }

    void helpAndVersion() {
        QProcess p;
        p.start(QStringLiteral(MATRIXCTL_PATH), {QStringLiteral("--version")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().startsWith("matrixctl "));
        p.start(QStringLiteral(MATRIXCTL_PATH), {QStringLiteral("--help")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("route OUTPUT INPUT"));
    }
};

QTEST_GUILESS_MAIN(TestMatrixCtl)
#include "tst_matrixctl.moc"
