#include "MainWindow.h"
#include "MainWindowForm.h"
#include "SimAddress.h"
#include "Simulator.h"
#include "Translation.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTranslator>

#include <vector>

namespace {

using WordList = std::vector<int>;

// Words 0..N with word N set so that words 1..N sum to 0.
QByteArray Reply(WordList w) {
    int sum = 0;
    for (std::size_t i = 1; i + 1 < w.size(); ++i)
        sum += w[i];
    w.back() = (65536 - (sum & 0xFFFF)) & 0xFFFF;
    QByteArray b;
    for (int v : w) {
        b.append(static_cast<char>(v & 0xFF));
        b.append(static_cast<char>((v >> 8) & 0xFF));
    }
    return b;
}

WordList Power(int presence1 = 1, int fault1 = 0) {
    WordList w(37, 0);
    w[0] = 36;
    w[1] = 102;
    w[2] = presence1;
    w[3] = 1;
    w[4] = fault1;
    const int mv[10] = {1200, 1800, 3300, 5000, 3300, 3300, 3300, 3300, 2500, 2500};
    for (int i = 0; i < 10; ++i)
        w[static_cast<std::size_t>(6 + 2 * i)] = mv[i];
    w[27] = 120;
    w[28] = 167;
    w[31] = 120;
    w[32] = 167;
    return w;
}

// A receive (t = 0) or transmit (t = 1) reply with record r (0-based) set.
WordList Sfp(int t, int r, int type, int power, const QByteArray& name = "SFP-LC") {
    const int rec = t == 0 ? 12 : 13;
    WordList w(t == 0 ? 387 : 419, 0);
    w[0] = static_cast<int>(w.size()) - 1;
    w[1] = t == 0 ? 100 : 101;
    const std::size_t first = static_cast<std::size_t>(2 + rec * r);
    w[first] = type;
    for (int i = 0; i < 20 && i < name.size(); i += 2)
        w[first + 1 + static_cast<std::size_t>(i / 2)] =
            static_cast<std::uint8_t>(name[i]) |
            ((i + 1 < name.size() ? static_cast<std::uint8_t>(name[i + 1]) : 0) << 8);
    w[first + 11] = power & 0xFFFF;
    if (t == 1)
        w[first + 12] = 1310;
    return w;
}

struct TWindow {
    MainWindow W{QStringLiteral("127.0.0.1"), nullptr, /*startWorker*/ false};
    void Deliver(int command, const QByteArray& bytes) {
        W.tcpThread.StoreReply(command, bytes);
        W.ShowReply();
    }
    QTableWidgetItem* Item(QTableWidget* t, int row, int column) { return t->item(row, column); }
    QColor Bg(QTableWidget* t, int row, int column) {
        return t->item(row, column)->background().color();
    }
};

// One simulated chassis on an address of this test process.
struct TOneChassis {
    sim::TSimulator Sim;
    sim::TChassis* Chassis = nullptr;
    TOneChassis() {
        sim::TChassisConfig c;
        c.Address = NextSimAddress();
        Chassis = Sim.AddChassis(c);
    }
};

// Ends the utility as the panel does by process id; true when it ended within
// limitMs, normally and with status 0.
bool TerminatesWithin(QProcess& p, qint64 limitMs, qint64* tookMs = nullptr) {
    QElapsedTimer clock;
    clock.start();
    p.terminate();
    const bool ended = p.waitForFinished(5000);
    if (tookMs)
        *tookMs = clock.elapsed();
    return ended && clock.elapsed() < limitMs && p.exitStatus() == QProcess::NormalExit &&
           p.exitCode() == 0;
}

const QColor Red(255, 0, 0), White(255, 255, 255), Yellow(255, 255, 0);

} // namespace

class TestFibrewatch : public QObject {
    Q_OBJECT
    QTranslator* FRussian = nullptr;

private Q_SLOTS:
    // The tables are checked in the device's original (Russian) wording.
    void initTestCase() {
        FRussian = InstallTranslation(QLocale(QLocale::Russian, QLocale::Russia));
        QVERIFY(FRussian);
    }

    // On the real window: Russian texts under a Russian locale, English ones
    // otherwise; every title cell shows all of its text.
    void languages_data() {
        QTest::addColumn<bool>("russian");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("optical");
        // Tab names, the limit cell's "Ignore", and numbers in one format
        // (nominal voltage, a current of 9677 mA, the fan speed, a wavelength).
        QTest::addColumn<QStringList>("window");
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("Russian") << true
                                 << QStringList{QStringLiteral("Наименование"),
                                                QStringLiteral("Выходное напряжение номинал, B"),
                                                QStringLiteral("Входная оптическ мощность, dB")}
                                 << QStringLiteral("оптический")
                                 << QStringList{QStringLiteral("Состояние блоков питания"),
                                                QStringLiteral("Приёмные SFP"),
                                                QStringLiteral("Передающие SFP"),
                                                QStringLiteral("Игнор.")}
                                 << QStringList{QStringLiteral("12,0 ± 10%"),
                                                QStringLiteral("9677"), QStringLiteral("10020"),
                                                QStringLiteral("1310")};
        QTest::newRow("English") << false
                                 << QStringList{QStringLiteral("Name"),
                                                QStringLiteral("Nominal output voltage, V"),
                                                QStringLiteral("Input optical power, dB")}
                                 << QStringLiteral("optical")
                                 << QStringList{QStringLiteral("Power Supply States"),
                                                QStringLiteral("Rx SFP"), QStringLiteral("Tx SFP"),
                                                QStringLiteral("Ignore")}
                                 << QStringList{QStringLiteral("12.0 ± 10%"),
                                                QStringLiteral("9677"), QStringLiteral("10020"),
                                                QStringLiteral("1310")};
    }
    void languages() {
        QFETCH(bool, russian);
        QFETCH(QStringList, titles);
        QFETCH(QString, optical);
        QFETCH(QStringList, window);
        QFETCH(QStringList, numbers);
        if (!russian)
            QCoreApplication::removeTranslator(FRussian);
        QLocale::setDefault(russian ? QLocale(QLocale::Russian, QLocale::Russia)
                                    : QLocale(QLocale::English, QLocale::UnitedStates));
        {
            TWindow t;
            t.W.show();
            QVERIFY(QTest::qWaitForWindowExposed(&t.W));
            QCOMPARE(t.W.ui->tableWidget1->item(0, 0)->text(), titles[0]);
            QCOMPARE(t.W.ui->tableWidget1->item(0, 2)->text(), titles[1]);
            QCOMPARE(t.W.ui->tableWidget2->item(0, 4)->text(), titles[2]);
            for (int i = 0; i < 3; ++i)
                QCOMPARE(t.W.ui->tabWidget->tabText(i), window[i]);
            WordList power = Power();
            power[26] = 9677;
            t.Deliver(102, Reply(power));
            QCOMPARE(t.W.ui->tableWidget1->item(1, 2)->text(), numbers[0]);
            QCOMPARE(t.W.ui->tableWidget1->item(1, 4)->text(), numbers[1]);
            QCOMPARE(t.W.ui->tableWidget1->item(1, 6)->text(), numbers[2]);
            t.Deliver(101, Reply(Sfp(1, 0, 7, 20)));
            QCOMPARE(t.W.ui->tableWidget3->item(1, 5)->text(), numbers[3]);
            t.Deliver(100, Reply(Sfp(0, 0, 7, -53)));
            QCOMPARE(t.W.ui->tableWidget2->item(1, 1)->text(), optical);
            // The limit cell's "Ignore" and its box show whole inside their row.
            for (QTableWidget* table : {t.W.ui->tableWidget2, t.W.ui->tableWidget3}) {
                t.W.ui->tabWidget->setCurrentWidget(table->parentWidget());
                QWidget* cell = table->cellWidget(1, 3);
                QVERIFY(cell);
                auto* label = cell->findChild<QLabel*>();
                auto* box = cell->findChild<QCheckBox*>();
                QVERIFY(label && box);
                QCOMPARE(label->text(), window[3]);
                QTRY_VERIFY(box->isVisible());
                const QRect row = table->visualRect(table->model()->index(1, 3));
                for (QWidget* part : {static_cast<QWidget*>(label), static_cast<QWidget*>(box)}) {
                    const QRect r(part->mapTo(table->viewport(), QPoint(0, 0)),
                                  part->sizeHint().boundedTo(QSize(row.width(), 1000)));
                    QVERIFY2(row.contains(r), qPrintable(QStringLiteral("%1 in %2,%3 %4x%5")
                                                             .arg(part->metaObject()->className())
                                                             .arg(row.x())
                                                             .arg(row.y())
                                                             .arg(row.width())
                                                             .arg(row.height())));
                }
            }
            for (QTableWidget* table :
                 {t.W.ui->tableWidget1, t.W.ui->tableWidget2, t.W.ui->tableWidget3})
                for (int c = 0; c < table->columnCount(); ++c) {
                    const QTableWidgetItem* title = table->item(0, c);
                    const QRect needed = table->fontMetrics().boundingRect(
                        QRect(0, 0, table->columnWidth(c) - 8, 1000), Qt::TextWordWrap,
                        title->text());
                    QVERIFY2(needed.height() <= table->rowHeight(0), qPrintable(title->text()));
                }
        }
        QLocale::setDefault(QLocale::c());
        if (!russian)
            QCoreApplication::installTranslator(FRussian);
    }

    void requests() {
        QCOMPARE(RequestBytes(102), QByteArray::fromHex("020066009AFF"));
        QCOMPARE(RequestBytes(100), QByteArray::fromHex("020064009CFF"));
        QCOMPARE(RequestBytes(101), QByteArray::fromHex("020065009BFF"));
    }

    void classification_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("klass");
        QTest::addColumn<int>("sum");
        const QByteArray valid = Reply(Power());
        QTest::newRow("valid") << valid << int(TReplyClass::Valid) << 0;
        QByteArray plusOne = valid;
        plusOne[20] = static_cast<char>(plusOne[20] + 1);
        QTest::newRow("word + 1") << plusOne << int(TReplyClass::Checksum) << 1;
        QByteArray word0 = valid;
        word0[0] = 99;
        QTest::newRow("word 0 changed alone") << word0 << int(TReplyClass::Valid) << 0;
        QTest::newRow("error reply")
            << Reply({3, 102, ErrorReplyMarker, 0}) << int(TReplyClass::Error) << 0;
        // Word 1 = 0 decides first, even when the rest is an error reply.
        QTest::newRow("undefined over error")
            << Reply({3, 0, ErrorReplyMarker, 0}) << int(TReplyClass::Undefined) << 0;
        QTest::newRow("undefined") << Reply({2, 0, 0}) << int(TReplyClass::Undefined) << 0;
    }
    void classification() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, klass);
        QFETCH(int, sum);
        // As stored: the reply over a 74-byte buffer of zeros.
        std::array<std::uint8_t, 74> buf{};
        std::copy(bytes.begin(), bytes.begin() + std::min<qsizetype>(74, bytes.size()),
                  buf.begin());
        std::array<std::int16_t, 37> words{};
        ConvertByteToShortBuffer(buf.data(), 74, words.data(), 37);
        std::uint16_t s = 0;
        QCOMPARE(int(ClassifyReply(words.data(), 37, s)), klass);
        if (klass == int(TReplyClass::Checksum))
            QCOMPARE(int(s), sum);
    }

    void powerColours_data() {
        QTest::addColumn<int>("word");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("red");
        QTest::newRow("volt 108") << 27 << 108 << "10.8" << false;
        QTest::newRow("volt 132") << 27 << 132 << "13.2" << false;
        QTest::newRow("volt 107") << 27 << 107 << "10.7" << true;
        QTest::newRow("volt 133") << 27 << 133 << "13.3" << true;
        QTest::newRow("fan 134") << 28 << 134 << "8040" << false;
        QTest::newRow("fan 133") << 28 << 133 << "7980" << true;
        QTest::newRow("fan 200") << 28 << 200 << "12000" << false;
        QTest::newRow("fan 201") << 28 << 201 << "12060" << true;
        QTest::newRow("conv 4 5000") << 12 << 5000 << "5" << false;
        QTest::newRow("conv 4 4499") << 12 << 4499 << "4.499" << true;
    }
    void powerColours() {
        QFETCH(int, word);
        QFETCH(int, value);
        QFETCH(QString, text);
        QFETCH(bool, red);
        QLocale::setDefault(QLocale::c());
        TWindow w;
        WordList p = Power(0); // module 1 absent: values are still shown
        p[static_cast<std::size_t>(word)] = value;
        w.Deliver(102, Reply(p));
        QTableWidget* t = w.W.ui->tableWidget1;
        const int row = word == 12 ? 6 : 1;
        const int column = word == 28 ? 6 : 3;
        QCOMPARE(t->item(row, column)->text(), text);
        QCOMPARE(w.Bg(t, row, column), red ? Red : White);
        QCOMPARE(t->item(1, 1)->text(), QStringLiteral("EMPTY"));
        QCOMPARE(w.Bg(t, 1, 1), Yellow);
        QCOMPARE(t->item(2, 1)->text(), QStringLiteral("OK"));
        QCOMPARE(w.W.ui->tableWidget1_2->item(2, 1)->text(), QStringLiteral("NO"));
    }

    void receivePower_data() {
        QTest::addColumn<int>("power");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("red");
        QTest::newRow("-53") << -53 << "-5.3" << false;
        QTest::newRow("-231") << -231 << "-23.1" << true;
        QTest::newRow("-230") << -230 << "-23" << false;
        QTest::newRow("-30") << -30 << "-3" << false;
        QTest::newRow("-29") << -29 << "-2.9" << true;
    }
    void receivePower() {
        QFETCH(int, power);
        QFETCH(QString, text);
        QFETCH(bool, red);
        QLocale::setDefault(QLocale::c());
        TWindow w;
        w.Deliver(100, Reply(Sfp(0, 4, 7, power, "SFP-3G-LC 5")));
        QTableWidget* t = w.W.ui->tableWidget2;
        QCOMPARE(t->item(5, 1)->text(), QStringLiteral("оптический"));
        QVERIFY(t->item(5, 2)->text().startsWith(QStringLiteral("SFP-3G-LC 5")));
        QCOMPARE(t->item(5, 2)->text().size(), 19);
        QCOMPARE(t->item(5, 4)->text(), text);
        QCOMPARE(w.Bg(t, 5, 4), red ? Red : White);
        QVERIFY(w.W.limitCellCreated[4]);
        QCOMPARE(t->cellWidget(5, 3), w.W.limitCell[4]);
        QCOMPARE(w.W.spinLow[4]->objectName(), QStringLiteral("40"));
        QCOMPARE(t->item(1, 1)->text(), QStringLiteral("нет"));
    }

    void limitCells() {
        QLocale::setDefault(QLocale::c());
        TWindow w;
        QTableWidget* t = w.W.ui->tableWidget2;
        w.Deliver(100, Reply(Sfp(0, 0, 7, -25)));
        QCOMPARE(w.Bg(t, 1, 4), Red); // -2.5 above the default -3.0
        w.W.spinHigh[0]->setValue(0.0);
        QCOMPARE(w.Bg(t, 1, 4), White); // at once

        // Empty slot: the cell and the operator's limits stay; reused later.
        QWidget* cell = w.W.limitCell[0];
        w.Deliver(100, Reply(Sfp(0, 0, 0, 0)));
        QCOMPARE(t->item(1, 4)->text(), QStringLiteral("-"));
        QCOMPARE(t->cellWidget(1, 3), cell);
        w.Deliver(100, Reply(Sfp(0, 0, 7, -25)));
        QCOMPARE(w.W.limitCell[0], cell);
        QCOMPARE(w.W.spinHigh[0]->value(), 0.0);
        QCOMPARE(w.Bg(t, 1, 4), White);

        // Ignore: the next reply writes column 4 without colour.
        w.W.ignoreBox[0]->setChecked(true);
        QCOMPARE(w.W.ignoreFlag[0], 1);
        w.Deliver(100, Reply(Sfp(0, 0, 7, -300)));
        QCOMPARE(t->item(1, 4)->background().style(), Qt::NoBrush);
        w.W.ignoreBox[0]->setChecked(false);
        QCOMPARE(w.W.ignoreFlag[0], 0);
        QCOMPARE(w.Bg(t, 1, 4), White);
        w.Deliver(100, Reply(Sfp(0, 0, 7, -300)));
        QCOMPARE(w.Bg(t, 1, 4), Red);

        // Electrical module: the cell goes; optical again: a new one with defaults.
        w.Deliver(100, Reply(Sfp(0, 0, 3, 0, "SFP-BNC")));
        QCOMPARE(w.W.limitCellCreated[0], 0);
        QVERIFY(!t->cellWidget(1, 3));
        QCOMPARE(t->item(1, 3)->text(), QStringLiteral("-"));
        QCOMPARE(t->item(1, 1)->text(), QStringLiteral("электрический"));
        w.Deliver(100, Reply(Sfp(0, 0, 7, -25)));
        QCOMPARE(w.W.spinHigh[0]->value(), -3.0);
        QCOMPARE(w.W.spinLow[0]->value(), -23.0);
        QVERIFY(!w.W.ignoreBox[0]->isChecked());

        // Transmit defaults and wavelength.
        w.Deliver(101, Reply(Sfp(1, 11, 7, 20)));
        QCOMPARE(w.W.spinLow[32 + 11]->value(), 0.0);
        QCOMPARE(w.W.ignoreBox[32 + 11]->objectName(), QStringLiteral("111"));
        QCOMPARE(w.W.ui->tableWidget3->item(12, 5)->text(), QStringLiteral("1310"));
        QCOMPARE(w.Bg(w.W.ui->tableWidget3, 12, 4), White);
    }

    void protocolErrorsKeepTables() {
        QLocale::setDefault(QLocale::c());
        TWindow w;
        w.Deliver(100, Reply(Sfp(0, 2, 7, -53)));
        QByteArray bad = Reply(Sfp(0, 2, 7, -99));
        bad[40] = static_cast<char>(bad[40] + 1);
        w.Deliver(100, bad);
        QCOMPARE(w.W.mbx.text(), QStringLiteral("FROM COMMAND 100: ERROR KS"));
        QCOMPARE(w.W.ui->tableWidget2->item(3, 4)->text(), QStringLiteral("-5.3"));
        w.Deliver(101, Reply({3, 101, ErrorReplyMarker, 0}));
        QCOMPARE(w.W.mbx.text(), QStringLiteral("FROM COMMAND 101: ERROR COMMAND"));
        w.Deliver(102, Reply({2, 0, 0}));
        QCOMPARE(w.W.mbx.text(), QStringLiteral("FROM COMMAND 102: COMMAND IS UNDEFINED"));
        // Two replies before the window runs: only the later one is handled.
        w.W.tcpThread.StoreReply(100, Reply(Sfp(0, 2, 7, -70)));
        w.W.tcpThread.StoreReply(102, Reply(Power()));
        w.W.ShowReply();
        w.W.ShowReply(); // finds the reply taken: nothing
        QCOMPARE(w.W.ui->tableWidget2->item(3, 4)->text(), QStringLiteral("-5.3"));
        QCOMPARE(w.W.ui->tableWidget1->item(1, 1)->text(), QStringLiteral("OK"));
    }

    // The yellow box goes away once the device answers correctly again.
    void boxHidesAfterValidReply() {
        QLocale::setDefault(QLocale::c());
        TWindow w;
        w.W.show();
        w.Deliver(100, Reply({3, 100, ErrorReplyMarker, 0}));
        QCOMPARE(w.W.mbx.text(), QStringLiteral("FROM COMMAND 100: ERROR COMMAND"));
        QVERIFY(w.W.mbx.isVisible());
        w.Deliver(100, Reply(Sfp(0, 2, 7, -53)));
        QVERIFY(!w.W.mbx.isVisible());
        // The same for the connection message.
        w.W.tcpThread.connState.store(-1);
        w.W.ShowConnectionState();
        QVERIFY(w.W.mbx.isVisible());
        w.W.tcpThread.connState.store(1);
        w.W.ShowConnectionState();
        QVERIFY(!w.W.mbx.isVisible());
        QCOMPARE(w.W.windowTitle(), QStringLiteral("Fibre watch")); // the panel finds it by this
    }

    void powerCells_data() {
        QTest::addColumn<int>("word");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("table"); // 1: tableWidget1, 2: tableWidget1_2
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("colour"); // 0 none, 1 white, 2 red, 3 yellow
        QTest::newRow("module 2 absent") << 3 << 0 << 1 << 2 << 1 << "EMPTY" << 3;
        QTest::newRow("module 2 fault") << 5 << 1 << 1 << 2 << 1 << "ERROR" << 2;
        QTest::newRow("module 2 volt 133") << 31 << 133 << 1 << 2 << 3 << "13.3" << 2;
        QTest::newRow("module 2 volt 120") << 31 << 120 << 1 << 2 << 3 << "12" << 1;
        QTest::newRow("module 2 current") << 30 << 4321 << 1 << 2 << 4 << "4321" << 0;
        QTest::newRow("module 2 fan 133") << 32 << 133 << 1 << 2 << 6 << "7980" << 2;
        QTest::newRow("module 1 current") << 26 << 777 << 1 << 1 << 4 << "777" << 0;
        QTest::newRow("converter 1 current") << 7 << 250 << 1 << 3 << 4 << "250" << 0;
        QTest::newRow("converter 10 low") << 24 << 2249 << 1 << 12 << 3 << "2.249" << 2;
        QTest::newRow("temperature 1") << 29 << 41 << 2 << 0 << 1 << "41" << 0;
        QTest::newRow("temperature 2") << 33 << -5 << 2 << 1 << 1 << "-5" << 0;
        QTest::newRow("overheat") << 34 << 1 << 2 << 2 << 1 << "YES" << 2;
        QTest::newRow("no overheat") << 34 << 0 << 2 << 2 << 1 << "NO" << 1;
        QTest::newRow("ventilation fault") << 35 << 1 << 2 << 3 << 1 << "ERROR" << 2;
        QTest::newRow("ventilation ok") << 35 << 0 << 2 << 3 << 1 << "OK" << 1;
    }
    void powerCells() {
        QFETCH(int, word);
        QFETCH(int, value);
        QFETCH(int, table);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(int, colour);
        QLocale::setDefault(QLocale::c());
        TWindow w;
        WordList p = Power();
        p[static_cast<std::size_t>(word)] = value & 0xFFFF;
        w.Deliver(102, Reply(p));
        QTableWidget* t = table == 1 ? w.W.ui->tableWidget1 : w.W.ui->tableWidget1_2;
        QCOMPARE(t->item(row, column)->text(), text);
        const QBrush bg = t->item(row, column)->background();
        if (colour == 0)
            QCOMPARE(bg.style(), Qt::NoBrush);
        else
            QCOMPARE(bg.color(), colour == 1 ? White : colour == 2 ? Red : Yellow);
    }

    // A transmit slot with an electrical module shows "-" in every value column.
    void transmitElectrical() {
        TWindow w;
        w.Deliver(101, Reply(Sfp(1, 4, 7, 20)));
        QVERIFY(w.W.limitCellCreated[32 + 4]);
        w.Deliver(101, Reply(Sfp(1, 4, 2, 20, "SFP-HD")));
        QTableWidget* t = w.W.ui->tableWidget3;
        for (int column : {3, 4, 5})
            QCOMPARE(t->item(5, column)->text(), QStringLiteral("-"));
        QCOMPARE(t->item(5, 2)->text().left(6), QStringLiteral("SFP-HD"));
        QVERIFY(!w.W.limitCellCreated[32 + 4]);
    }

    // Against a switcher that refuses connections the utility stays calm: about
    // one attempt a second, little memory, and it quits at once.
    void refusingDeviceQuitsQuickly() {
        TOneChassis one;
        sim::TChassis* chassis = one.Chassis;
        QVERIFY(chassis);
        const sim::TChassisConfig& c = chassis->Config();
        chassis->SetRefusing(true);
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(FIBREWATCH_PATH),
                {QStringLiteral("--verbose"), c.Address.toString()});
        QVERIFY(p.waitForStarted(5000));
        // Wait for the third attempt: attempts are paced, so that takes two seconds.
        QByteArray out;
        QVERIFY(QTest::qWaitFor(
            [&] {
                out += p.readAll();
                return out.count("Didn't connected!") >= 3;
            },
            10000));
        QTest::qWait(500);
        out += p.readAll();
        QVERIFY2(out.count("Didn't connected!") <= 6, out.right(200).constData());
        QFile status(QStringLiteral("/proc/%1/status").arg(p.processId()));
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QByteArray text = status.readAll();
        const int at = text.indexOf("VmRSS:");
        QVERIFY(at >= 0);
        const qint64 rssKb = text.mid(at + 6).trimmed().split(' ').value(0).toLongLong();
        QVERIFY2(rssKb < 60 * 1024, QByteArray::number(rssKb).constData());
        qint64 took = 0;
        QVERIFY2(TerminatesWithin(p, 1000, &took), QByteArray::number(took).constData());
    }

    void againstSimulator() {
        TOneChassis one;
        sim::TChassis* chassis = one.Chassis;
        QVERIFY(chassis);
        const sim::TChassisConfig& c = chassis->Config();
        chassis->SetRefusing(true);
        MainWindow w(c.Address.toString());
        w.show();
        QTRY_COMPARE_WITH_TIMEOUT(w.mbx.text(), QStringLiteral("NO CONNECTION TO DEVICE!      "),
                                  5000);
        QCOMPARE(w.tcpThread.connState.load(), -1);
        chassis->SetRefusing(false);
        QTRY_VERIFY_WITH_TIMEOUT(w.ui->tableWidget3->item(32, 1) != nullptr, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(w.ui->tableWidget1->item(12, 3) != nullptr, 10000);
        QCOMPARE(w.tcpThread.connState.load(), 1);
        QVERIFY(!w.mbx.isVisible());
        const auto requests = chassis->Requests();
        QVERIFY(requests.size() >= 3);
        QCOMPARE(requests[0], simframe::Words({2, 102, 65434}));
        QCOMPARE(requests[1], simframe::Words({2, 100, 65436}));
        QCOMPARE(requests[2], simframe::Words({2, 101, 65435}));
        // A chassis without injected faults looks healthy: no reading is red.
        for (QTableWidget* table :
             {w.ui->tableWidget1, w.ui->tableWidget1_2, w.ui->tableWidget2, w.ui->tableWidget3})
            for (int r = 0; r < table->rowCount(); ++r)
                for (int c = 0; c < table->columnCount(); ++c)
                    if (const QTableWidgetItem* item = table->item(r, c))
                        QVERIFY2(item->background().color() != Red,
                                 qPrintable(QStringLiteral("%1 (%2, %3) %4")
                                                .arg(table->objectName())
                                                .arg(r)
                                                .arg(c)
                                                .arg(item->text())));
        const QString artefact = QStringLiteral(FIBREWATCH_ARTEFACT_DIR "/fibrewatch.png");
        w.grab().save(artefact);
        w.ui->tabWidget->setCurrentIndex(1);
        w.grab().save(QStringLiteral(FIBREWATCH_ARTEFACT_DIR "/fibrewatch-rx.png"));
    }

    // Against an answering device: one cycle of three requests per 250 ms at
    // the most, and nothing logged per reply unless asked for.
    void pacedAndQuiet() {
        TOneChassis one;
        sim::TChassis* chassis = one.Chassis;
        QVERIFY(chassis);
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(FIBREWATCH_PATH), {chassis->Config().Address.toString()});
        QVERIFY(p.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!chassis->Requests().isEmpty(), 10000);
        QElapsedTimer clock;
        clock.start();
        chassis->ClearRequests();
        QTest::qWait(1500);
        const int requests = int(chassis->Requests().size());
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(requests <= 3 * int(elapsed / MinCycleMs + 2),
                 qPrintable(QStringLiteral("%1 requests in %2 ms").arg(requests).arg(elapsed)));
        QVERIFY(requests >= 3); // still polling
        QVERIFY(TerminatesWithin(p, 5000));
        const QByteArray out = p.readAll();
        QVERIFY2(!out.contains("slot_SrvMsgObrabot") && !out.contains("Connected!"),
                 out.left(300).constData());
    }

    void quitWhileDeviceSilent() {
        TOneChassis one;
        sim::TChassis* chassis = one.Chassis;
        QVERIFY(chassis);
        const sim::TChassisConfig& c = chassis->Config();
        chassis->AddFault({0, sim::TFault::Silent, -1, 0, 0});
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(FIBREWATCH_PATH),
                {c.Address.toString(), QStringLiteral("ignored"), QStringLiteral("--verbose")});
        QVERIFY(p.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(!chassis->Requests().isEmpty(), 10000); // waiting on the device
        QVERIFY(TerminatesWithin(p, 5000));
        QVERIFY(p.readAll().contains("Connected!"));
    }
};

QTEST_MAIN(TestFibrewatch)
#include "tst_fibrewatch.moc"
