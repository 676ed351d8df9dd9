#include "IniFile.h"
#include "IpText.h"
#include "LabelFile.h"
#include "LevelSetFile.h"
#include "OperatorLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class TestFiles : public QObject {
    Q_OBJECT

    QString WriteText(const QTemporaryDir& dir, const char* name, const QByteArray& text) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(text);
        return path;
    }

private Q_SLOTS:
    void parseIP_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("packed");
        QTest::newRow("plain") << "192.168.0.10" << true << qint64(167815360);
        QTest::newRow("blanks around") << "  192.168.0.10 " << true << qint64(167815360);
        QTest::newRow("blanks in parts") << "192. 168 .0.10" << true << qint64(167815360);
        QTest::newRow("negative packing") << "10.0.0.200" << true << qint64(-939524086);
        QTest::newRow("loopback") << "127.0.0.1" << true << qint64(16777343);
        QTest::newRow("three parts") << "192.168.0" << false << qint64(0);
        QTest::newRow("five parts") << "1.2.3.4.5" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
        // An invalid part zeroes itself and every later byte; earlier bytes stay.
        QTest::newRow("300 in last") << "192.168.0.300" << false << qint64(43200);
        QTest::newRow("300 in second") << "192.300.0.10" << false << qint64(192);
        QTest::newRow("letters") << "192.abc.0.10" << false << qint64(192);
        QTest::newRow("empty part") << "192..0.10" << false << qint64(192);
        QTest::newRow("negative part") << "-1.0.0.1" << false << qint64(0);
        QTest::newRow("all zero") << "0.0.0.0" << true << qint64(0);
        QTest::newRow("max") << "255.255.255.255" << true << qint64(-1);
    }
    void parseIP() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(qint64, packed);
        bool parsed = !ok;
        QCOMPARE(qint64(ParseIP(text.toStdString(), parsed)), packed);
        QCOMPARE(parsed, ok);
        if (ok)
            QCOMPARE(QString::fromStdString(FormatIP(static_cast<std::int32_t>(packed))),
                     text.remove(QLatin1Char(' ')));
    }

    void formatIP() {
        QCOMPARE(FormatIP(0), std::string("0.0.0.0"));
        QCOMPARE(FormatIP(-939524086), std::string("10.0.0.200"));
    }

    void iniIntegers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << "42" << 42;
        QTest::newRow("blanks") << "  42 " << 42;
        QTest::newRow("negative") << "-939524086" << -939524086;
        QTest::newRow("plus") << "+7" << 7;
        QTest::newRow("trailing text") << "12abc" << -5;
        QTest::newRow("text") << "abc" << -5;
        QTest::newRow("empty") << "" << -5;
        QTest::newRow("overflow") << "99999999999" << -5;
    }
    void iniIntegers() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString path = WriteText(dir, "a.ini", "[S]\nK=" + text.toUtf8() + "\n");
        TIniFile ini(path.toStdString());
        QVERIFY(ini.Load());
        QCOMPARE(ini.ReadInteger("S", "K", -5), expected);
    }

    void iniDialect() {
        QTemporaryDir dir;
        const QString path = WriteText(dir, "b.ini",
                                       "[window]\nleft = 12\nSTATE=2\nAPP= C:\\Media\\x \"q\" \n"
                                       "[EMPTY]\n");
        TIniFile ini(path.toStdString());
        QVERIFY(ini.Load());
        // Names compare case-insensitively; values are trimmed but otherwise kept.
        QCOMPARE(ini.ReadInteger("WINDOW", "LEFT", 0), 12);
        QCOMPARE(ini.ReadBool("WINDOW", "STATE", false), true);
        QCOMPARE(ini.ReadString("WINDOW", "APP", ""), std::string("C:\\Media\\x \"q\""));
        QCOMPARE(ini.ReadString("WINDOW", "MISSING", "d"), std::string("d"));

        ini.WriteString("WINDOW", "PATH", "C:\\logos\\a b.bmp");
        ini.WriteBool("WINDOW", "FLAG", true);
        QVERIFY(ini.Save());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.contains("PATH=C:\\logos\\a b.bmp\n"));
        QVERIFY(text.contains("FLAG=1\n"));
        QVERIFY(!text.contains("[General]"));
    }

    void iniMissingFile() {
        TIniFile ini("/nonexistent-dir/x.ini");
        QVERIFY(!ini.Load());
        QCOMPARE(ini.ReadInteger("A", "B", 3), 3);
        ini.WriteInteger("A", "B", 4);
        QVERIFY(!ini.Save()); // the folder does not exist: reported, not hidden
    }

    void levelSetRead() {
        QTemporaryDir dir;
        QByteArray text = "[OPTIONS]\nCOUNT=7\n";
        for (int n = 1; n <= 7; ++n)
            text += "[LEVEL" + QByteArray::number(n) + "]\nADDRESS=" + QByteArray::number(n) +
                    "\nIP=16777343\nNAME=L" + QByteArray::number(n) + "\n";
        const QString path = WriteText(dir, "a.set", text);
        const auto levels = ReadLevelSet(path.toStdString());
        QCOMPARE(levels.size(), std::size_t(4));
        QCOMPARE(levels[3].Name, std::string("L4"));
        QCOMPARE(levels[3].Address, 4);
        QCOMPARE(levels[0].Color, TColor(16777215));
        QCOMPARE(levels[0].TextColor, TColor(0));
    }

    void levelSetDefaults_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("address3");
        QTest::addColumn<QString>("name3");
        const QByteArray levels = "[LEVEL1]\nNAME=A\n[LEVEL2]\nNAME=B\n[LEVEL3]\nADDRESS=";
        QTest::newRow("no name, address 0")
            << QByteArray("[OPTIONS]\nCOUNT=3\n" + levels + "0\n") << 3 << 1 << "LEVEL3";
        QTest::newRow("address 9")
            << QByteArray("[OPTIONS]\nCOUNT=3\n" + levels + "9\n") << 3 << 1 << "LEVEL3";
        QTest::newRow("address 3")
            << QByteArray("[OPTIONS]\nCOUNT=3\n" + levels + "3\n") << 3 << 3 << "LEVEL3";
        QTest::newRow("count negative")
            << QByteArray("[OPTIONS]\nCOUNT=-2\n" + levels) << 0 << 0 << "";
        QTest::newRow("count missing") << QByteArray(levels) << 0 << 0 << "";
        QTest::newRow("count not a number")
            << QByteArray("[OPTIONS]\nCOUNT=x3\n" + levels) << 0 << 0 << "";
    }
    void levelSetDefaults() {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        QFETCH(int, address3);
        QFETCH(QString, name3);
        QTemporaryDir dir;
        const auto levels = ReadLevelSet(WriteText(dir, "d.set", text).toStdString());
        QCOMPARE(int(levels.size()), count);
        if (count >= 3) {
            QCOMPARE(levels[2].Address, address3);
            QCOMPARE(QString::fromStdString(levels[2].Name), name3);
        }
    }

    void levelSetRoundTrip() {
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("r.set")).toStdString();
        // A longer old file must not leave sections behind.
        std::vector<TSettingsItem> four(4);
        for (int i = 0; i < 4; ++i)
            four[static_cast<std::size_t>(i)] = {i + 1, "OLD", 1, 2, 3};
        QVERIFY(WriteLevelSet(path, four));
        const std::vector<TSettingsItem> two{{2, "VIDEO", -939524086, 255, 65280},
                                             {1, "AUDIO =x", 16777343, 16777215, 0}};
        QVERIFY(WriteLevelSet(path, two));
        QCOMPARE(ReadLevelSet(path), two);
        QFile f(QString::fromStdString(path));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(!text.contains("LEVEL3"));
        QVERIFY(text.indexOf("ADDRESS=") < text.indexOf("NAME=") &&
                text.indexOf("NAME=") < text.indexOf("IP=") &&
                text.indexOf("IP=") < text.indexOf("COLOR=") &&
                text.indexOf("COLOR=") < text.indexOf("TEXTCOLOR="));
    }
    // Lines with local time to the millisecond, one per call, line breaks folded.
    // A label file is checked whole: one bad row and nothing is read.
    void labelFileRead_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error"); // empty: read
        QTest::addColumn<int>("inputRows");
        QTest::addColumn<QString>("lastName");
        QTest::newRow("both blocks")
            << QByteArray("input,name,logo\n1,Cam 1,\n2,\"VTR, 2\",/l.png\n"
                          "output,name,logo\n1,PGM\n")
            << QString() << 2 << "PGM";
        QTest::newRow("quotes, BOM, CRLF, blank lines")
            << QByteArray("\xEF\xBB\xBFinput,name,logo\r\n\r\n3,\"say \"\"hi\"\"\",\r\n")
            << QString() << 1 << "say \"hi\"";
        QTest::newRow("UTF-8 names")
            << QByteArray("input,name\n1,Kamera \xC3\xBC\n") << QString() << 1 << "Kamera \u00fc";
        QTest::newRow("no header") << QByteArray("1,Cam\n") << "line 1: the first line" << 0 << "";
        QTest::newRow("beyond the matrix")
            << QByteArray("input,name\n1,a\n17,b\n")
            << "line 3: \"17\" is not a number from 1 to 16" << 0 << "";
        QTest::newRow("zero") << QByteArray("output,name\n0,a\n") << "line 2:" << 0 << "";
        QTest::newRow("not a number") << QByteArray("input,name\nx,a\n") << "line 2:" << 0 << "";
        QTest::newRow("twice") << QByteArray("input,name\n4,a\n4,b\n")
                               << "line 3: number 4 comes twice" << 0 << "";
        QTest::newRow("control character")
            << QByteArray("input,name\n1,a\x07z\n") << "line 2: a control character" << 0 << "";
        QTest::newRow("tab in a logo") << QByteArray("input,name,logo\n1,a,b\tc\n")
                                       << "line 2: a control character" << 0 << "";
        QTest::newRow("open quote") << QByteArray("input,name\n1,\"abc\n2,d\n")
                                    << "line 2: a quote is not closed" << 0 << "";
        QTest::newRow("too many fields") << QByteArray("input,name\n1,a,b,c\n")
                                         << "line 2: a row is number,name[,logo]" << 0 << "";
        QTest::newRow("not UTF-8")
            << QByteArray("input,name\n1,\xFF\xFE\n") << "the file is not UTF-8" << 0 << "";
        QTest::newRow("second block")
            << QByteArray("input,name\ninput,name\n") << "line 2: a second input block" << 0 << "";
        QTest::newRow("empty") << QByteArray("\n\n") << "no input or output block" << 0 << "";
        QTest::newRow("NUL in a number") << QByteArray("input,name\n1\0junk,ab,\n", 22)
                                         << "line 2: \"1\\x00junk\" is not a number" << 0 << "";
        QTest::newRow("NUL alone") << QByteArray("input,name\n\0,ab,\n", 17)
                                   << "line 2: \"\\x00\" is not a number" << 0 << "";
        QTest::newRow("a million digits")
            << QByteArray("input,name\n") + QByteArray(1000000, '7') + ",a\n"
            << "line 2: \"7777777" << 0 << "";
        QTest::newRow("blanks around names, as the INI reads them back")
            << QByteArray("input,name,logo\n1,\"  lead\",\" /l.png \"\n2,\"trail  \"\n")
            << QString() << 2 << "trail";
    }
    void labelFileRead() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QFETCH(int, inputRows);
        QFETCH(QString, lastName);
        TLabels labels;
        labels.Inputs.push_back({9, QStringLiteral("kept on failure"), {}});
        QString why;
        const bool ok = labelfile::Read(text, 16, 16, labels, &why);
        QCOMPARE(ok, error.isEmpty());
        if (!ok) {
            QVERIFY2(why.startsWith(error), qPrintable(why));
            QVERIFY2(why.size() < 200, qPrintable(why.left(200))); // quotes a bounded part
            QVERIFY(!why.contains(QChar(0)));
            QCOMPARE(labels.Inputs.size(), std::size_t(1));
            return;
        }
        QCOMPARE(int(labels.Inputs.size()), inputRows);
        const TLabel& last = labels.Outputs.empty() ? labels.Inputs.back() : labels.Outputs.back();
        QCOMPARE(last.Name, lastName);
    }

    // Export, then import into another INI: the same names and logos.
    void labelFileRoundTrip() {
        QTemporaryDir dir;
        std::array<QString, 256> inNames, inLogos, outNames, outLogos;
        inNames[0] = QStringLiteral("Cam, \"one\"");
        inNames[5] = QStringLiteral("  spaced  ");
        inLogos[5] = QStringLiteral("/logos/a b.png");
        outNames[2] = QStringLiteral("PGM \u00e9");
        const QByteArray csv = labelfile::Write(inNames, inLogos, 8, outNames, outLogos, 4);
        TLabels labels;
        QString why;
        QVERIFY2(labelfile::Read(csv, 8, 4, labels, &why), qPrintable(why));
        QCOMPARE(labels.Inputs.size(), std::size_t(8));
        QCOMPARE(labels.Outputs.size(), std::size_t(4));
        const QString path = WriteText(dir, "panel.ini", "[INPUTS]\nNAME7=old\nNAME20=beyond\n");
        TIniFile ini(path.toStdString());
        QVERIFY(ini.Load());
        QVERIFY(labelfile::Apply(ini, labels, &why));
        TIniFile again(path.toStdString());
        QVERIFY(again.Load());
        auto name = [&](const char* s, int n) {
            return QString::fromStdString(again.ReadString(s, "NAME" + std::to_string(n), "?"));
        };
        QCOMPARE(name("INPUTS", 0), inNames[0]);
        QCOMPARE(name("INPUTS", 7), QString());                 // listed empty: cleared
        QCOMPARE(name("INPUTS", 20), QStringLiteral("beyond")); // not listed: kept
        QCOMPARE(name("OUTPUTS", 2), outNames[2]);
        QCOMPARE(QString::fromStdString(again.ReadString("INPUTS", "LOGO5", "?")), inLogos[5]);
        // What the INI reads back is what was imported: blanks at the ends go.
        QCOMPARE(name("INPUTS", 5), QStringLiteral("spaced"));
        QCOMPARE(labels.Inputs[5].Name, QStringLiteral("spaced"));
    }

    void operatorLogLines() {
        QTemporaryDir dir;
        TOperatorLog log(dir.filePath(QStringLiteral("ops.log")));
        log.Now = [] { return QDateTime(QDate(2026, 12, 9), QTime(17, 5, 3, 42)); };
        QVERIFY(log.Append(QStringLiteral("ON LINE"), QStringLiteral("out 3 <- in 12")));
        QVERIFY(log.Append(QStringLiteral("COMMUNICATION ERROR"), QStringLiteral("a\nb\r\nc")));
        QFile f(log.FileName());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(),
                 QByteArray("2026-12-09 17:05:03.042  ON LINE  out 3 <- in 12\n"
                            "2026-12-09 17:05:03.042  COMMUNICATION ERROR  a/b / c\n"));
    }

    void operatorLogRotation_data() {
        QTest::addColumn<int>("lines");
        QTest::addColumn<QStringList>("files");
        // Each line is 46 bytes; 100 bytes hold two.
        QTest::newRow("fits") << 2 << QStringList{"ops.log"};
        QTest::newRow("one rotation") << 3 << QStringList{"ops.log", "ops.log.1"};
        QTest::newRow("keeps three files") << 9 << QStringList{"ops.log", "ops.log.1", "ops.log.2"};
    }
    void operatorLogRotation() {
        QFETCH(int, lines);
        QFETCH(QStringList, files);
        QTemporaryDir dir;
        TOperatorLog log(dir.filePath(QStringLiteral("ops.log")), 100, 3);
        log.Now = [] { return QDateTime(QDate(2026, 1, 1), QTime(0, 0)); };
        for (int i = 0; i < lines; ++i)
            QVERIFY(log.Append(QStringLiteral("TAKE"), QStringLiteral("line %1 of ten").arg(i)));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name), files);
        QFile last(log.FileName());
        QVERIFY(last.open(QIODevice::ReadOnly));
        QVERIFY(last.size() <= 100);
        QVERIFY(last.readAll().contains(QStringLiteral("line %1 ").arg(lines - 1).toLatin1()));
    }

    // A log that cannot be written is reported once, and every call returns
    // at once: a FIFO (with or without a reader) or a device is refused.
    void operatorLogFailureReportedOnce_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing folder") << "folder";
        QTest::newRow("FIFO, no reader") << "fifo";
        QTest::newRow("FIFO with a reader") << "fifo reader";
        QTest::newRow("device") << "device";
    }
    void operatorLogFailureReportedOnce() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("no such folder/ops.log"));
        int reader = -1;
        if (kind.startsWith(QStringLiteral("fifo"))) {
            path = dir.filePath(QStringLiteral("ops.log"));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            if (kind.endsWith(QStringLiteral("reader")))
                reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        } else if (kind == QStringLiteral("device")) {
            path = QStringLiteral("/dev/null");
        }
        TOperatorLog log(path);
        int reports = 0;
        log.OnFailure = [&](const QString&) { ++reports; };
        for (int i = 0; i < 3; ++i)
            QVERIFY(!log.Append(QStringLiteral("TAKE"), QString()));
        QCOMPARE(reports, 1);
        if (reader >= 0)
            ::close(reader);
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
