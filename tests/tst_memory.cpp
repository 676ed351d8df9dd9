// Salvos: the .mem codec, the output-numbers grammar, names, the folder per
// matrix size, and the MEMORY section driven with real events.
#include "Field.h"
#include "MainWindow.h"
#include "MemoryItem.h"
#include "MessageBox.h"
#include "Panel.h"
#include "PanelTest.h"
#include "SalvoDialog.h"
#include "SalvoFile.h"
#include "SpeedButton.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::int32_t Word(const QByteArray& b, int offset) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= static_cast<std::uint32_t>(static_cast<unsigned char>(b[offset + i])) << (8 * i);
    return static_cast<std::int32_t>(u);
}

} // namespace

class TestMemory : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    TBoxRecorder FBoxes;
    // What the Edit Salvo dialog does when shown: each entry types into the
    // shown dialog with real key events and returns its result.
    QList<std::function<int(TSalvoDialog&)>> FDialogSteps;

    QString Folder16() const { return FDir.filePath(QStringLiteral("Memory/16x16-4/")); }

    // A window in PRESET mode on a 16 x 16 matrix with two levels.
    std::unique_ptr<TMainWindow> Preset() {
        auto w = std::make_unique<TMainWindow>(FDir.filePath(QStringLiteral("matrixpanel.ini")));
        w->Session().SizeSettleMs = 0; // the size holds: its folder comes at once
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
        QCoreApplication::processEvents(); // first idle pass
        w->Session().ApplySize(16, 16);
        w->Session().FirstCycle(2);
        w->Session().SetMode(TMode::Preset);
        return w;
    }
    static int Type(TSalvoDialog& d, const QString& name, const QString& numbers = {}) {
        d.show();
        d.EditSlotName->selectAll();
        QTest::keyClicks(d.EditSlotName, name);
        if (!numbers.isNull()) {
            QTest::mouseClick(d.RBtnNumbers, Qt::LeftButton);
            QTest::keyClicks(d.EditNumbers, numbers);
        }
        QTest::keyClick(d.EditSlotName, Qt::Key_Return);
        return d.result();
    }
    void ClickItem(TMainWindow& w, const QString& name) {
        const auto found = Part<QListWidget>(w, "LBoxMemory")->findItems(name, Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        Part<QListWidget>(w, "LBoxMemory")->scrollToItem(found.first());
        QTest::mouseClick(
            Part<QListWidget>(w, "LBoxMemory")->viewport(), Qt::LeftButton, Qt::NoModifier,
            Part<QListWidget>(w, "LBoxMemory")->visualItemRect(found.first()).center());
    }

private Q_SLOTS:
    void init() {
        FBoxes.Install();
        FDialogSteps.clear();
        msgbox::SetDialogHandler([this](QDialog& d) {
            auto* dialog = qobject_cast<TSalvoDialog*>(&d);
            if (!dialog || FDialogSteps.isEmpty())
                return int(QDialog::Rejected);
            return FDialogSteps.takeFirst()(*dialog);
        });
        QDir(FDir.filePath(QStringLiteral("Memory"))).removeRecursively();
        QFile::remove(FDir.filePath(QStringLiteral("Memory")));
    }
    void cleanup() {
        TBoxRecorder::Uninstall();
        msgbox::SetDialogHandler({});
    }

    void grammar_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QList<int>>("outputs"); // 0-based; only the first 4 checked
        QTest::addColumn<int>("count");
        QTest::newRow("blanks dropped") << "1 - 4, 9" << true << QList<int>{0, 1, 2, 3} << 5;
        QTest::newRow("reverse range alone") << "3-1" << false << QList<int>{} << 0;
        QTest::newRow("reverse range after one") << "1,3-1" << true << QList<int>{0} << 1;
        QTest::newRow("zero") << "0" << false << QList<int>{} << 0;
        QTest::newRow("257") << "257" << false << QList<int>{} << 0;
        QTest::newRow("-5") << "-5" << false << QList<int>{} << 0;
        QTest::newRow("5-") << "5-" << false << QList<int>{} << 0;
        QTest::newRow("1-2-3") << "1-2-3" << false << QList<int>{} << 0;
        QTest::newRow("maximum") << "1-256,1" << true << QList<int>{0, 1, 2, 3} << 257;
        QTest::newRow("too many") << "1-256,1-2" << false << QList<int>{} << 0;
        QTest::newRow("trailing comma") << "1,2," << true << QList<int>{0, 1} << 2;
        QTest::newRow("leading comma") << ",1" << false << QList<int>{} << 0;
        QTest::newRow("double comma") << "1,,2" << false << QList<int>{} << 0;
        QTest::newRow("empty") << "" << false << QList<int>{} << 0;
        QTest::newRow("letters only") << "abc" << false << QList<int>{} << 0;
        QTest::newRow("huge number") << "99999999999" << false << QList<int>{} << 0;
        QTest::newRow("leading zeros") << "0007" << true << QList<int>{6} << 1;
        QTest::newRow("repeats kept") << "5,5,2" << true << QList<int>{4, 4, 1} << 3;
    }
    void grammar() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(QList<int>, outputs);
        QFETCH(int, count);
        std::vector<int> got;
        QCOMPARE(salvofile::ParseOutputNumbers(text.toStdString(), got), ok);
        if (!ok)
            return;
        QCOMPARE(int(got.size()), count);
        for (int i = 0; i < outputs.size(); ++i)
            QCOMPARE(got[static_cast<std::size_t>(i)], outputs[i]);
    }

    void names_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "Show 1" << true;
        QTest::newRow("dots inside") << "a.b" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot dot") << ".." << false;
        QTest::newRow("leaves folder") << "../x" << false;
        QTest::newRow("backslash") << "a\\b" << false;
        QTest::newRow("control") << "a\tb" << false;
    }
    void names() {
        QFETCH(QString, name);
        QFETCH(bool, valid);
        QCOMPARE(salvofile::ValidSalvoName(name.toStdString()), valid);
    }
    void longestName_data() {
        QTest::addColumn<long>("nameMax");
        QTest::addColumn<int>("longest");
        QTest::newRow("most file systems") << 255L << 251;
        QTest::newRow("only the extension fits") << 4L << 0;
        QTest::newRow("not even that") << 3L << 0;
        QTest::newRow("unknown") << -1L << 0;
    }
    void longestName() {
        QFETCH(long, nameMax);
        QFETCH(int, longest);
        QCOMPARE(int(salvofile::LongestSalvoName(nameMax)), longest);
    }

    void codec() {
        TMemorySlot s;
        s.Count = 2;
        s.Outputs[0] = 7;
        s.Outputs[1] = 256;
        s.Sources[0] = {1, -1, 3, 4};
        s.Sources[1] = {256, 0, 0, 0};
        s.Outputs[200] = -99; // beyond Count: written, never checked
        const std::string bytes = salvofile::Encode(s);
        QCOMPARE(bytes.size(), std::size_t(5144));
        const QByteArray b = QByteArray::fromStdString(bytes);
        QCOMPARE(Word(b, 0), 2);
        QCOMPARE(Word(b, 4 + 4), 256);
        QCOMPARE(Word(b, 1032 + 4), -1);
        TMemorySlot back;
        QVERIFY(salvofile::Decode(bytes, back));
        QCOMPARE(back.Outputs[1], 256);
        QCOMPARE(back.Sources[0], s.Sources[0]);
        // Damaged files are refused whole.
        auto refused = [&](int offset, std::int32_t value) {
            std::string bad = bytes;
            for (int i = 0; i < 4; ++i)
                bad[static_cast<std::size_t>(offset + i)] =
                    static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
            TMemorySlot out;
            return !salvofile::Decode(bad, out);
        };
        QVERIFY(refused(0, -1));
        QVERIFY(refused(0, 258));
        QVERIFY(refused(4, 257));
        QVERIFY(refused(4, -1));
        QVERIFY(refused(1032, -2));
        QVERIFY(refused(1032 + 16 + 4, 257));
        QVERIFY(!refused(4 + 4 * 5, 1000)); // beyond Count
        TMemorySlot out;
        QVERIFY(!salvofile::Decode(bytes.substr(0, 5143), out));
        QVERIFY(!salvofile::Decode(bytes + "x", out));
    }

    // A new folder receives the default salvos; an existing one is never refilled.
    void defaultFolder() {
        auto w = Preset();
        QVERIFY(w);
        QCOMPARE(w->Session().SalvoFolder(), Folder16());
        const QStringList files = QDir(Folder16()).entryList(QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 18);
        QVERIFY(files.contains(QStringLiteral("001-ALL.mem")));
        QVERIFY(files.contains(QStringLiteral("016-ALL.mem")));
        QVERIFY(files.contains(QStringLiteral("N-N.mem")));
        QVERIFY(files.contains(QStringLiteral("16-N.mem")));
        QCOMPARE(Part<QListWidget>(*w, "LBoxMemory")->count(), 18);
        const QByteArray all = ReadAll(Folder16() + QStringLiteral("016-ALL.mem"));
        QCOMPARE(all.size(), 5144);
        QCOMPARE(Word(all, 0), 256);
        QCOMPARE(Word(all, 4 + 4 * 255), 255);
        QCOMPARE(Word(all, 1032 + 16 * 200 + 12), 15);
        const QByteArray reverse = ReadAll(Folder16() + QStringLiteral("16-N.mem"));
        QCOMPARE(Word(reverse, 1032), 15);              // input 16 to output 1
        QCOMPARE(Word(reverse, 1032 + 16 * 15), 0);     // input 1 to output 16
        QCOMPARE(Word(reverse, 1032 + 16 * 20 + 4), 0); // outputs above 16 get input 1
        const QByteArray nn = ReadAll(Folder16() + QStringLiteral("N-N.mem"));
        QCOMPARE(Word(nn, 1032 + 16 * 9 + 8), 9);

        // Deleted defaults stay deleted; odd names and damaged files.
        QFile::remove(Folder16() + QStringLiteral("N-N.mem"));
        QFile::copy(Folder16() + QStringLiteral("001-ALL.mem"),
                    Folder16() + QStringLiteral("a.b.mem"));
        QFile::copy(Folder16() + QStringLiteral("001-ALL.mem"),
                    Folder16() + QStringLiteral("X.MEM"));
        QFile bad(Folder16() + QStringLiteral("short.mem"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("tiny");
        bad.close();
        w->Session().ApplySize(16, 16);
        QVERIFY(!QFile::exists(Folder16() + QStringLiteral("N-N.mem")));
        QVERIFY(!Part<QListWidget>(*w, "LBoxMemory")
                     ->findItems(QStringLiteral("a.b"), Qt::MatchExactly)
                     .isEmpty());
        QVERIFY(!Part<QListWidget>(*w, "LBoxMemory")
                     ->findItems(QStringLiteral("X"), Qt::MatchExactly)
                     .isEmpty());
        QVERIFY(Part<QListWidget>(*w, "LBoxMemory")
                    ->findItems(QStringLiteral("short"), Qt::MatchExactly)
                    .isEmpty());
        QCOMPARE(Part<QListWidget>(*w, "LBoxMemory")->count(), 19);
        // Sorted ignoring case: "a.b" before "N..." and "X" after the digits.
        QCOMPARE(Part<QListWidget>(*w, "LBoxMemory")
                     ->item(Part<QListWidget>(*w, "LBoxMemory")->count() - 1)
                     ->text(),
                 QStringLiteral("X"));
    }

    // A folder that cannot be created leaves nothing of another size listed.
    void folderCannotBeCreated() {
        auto w = Preset();
        QVERIFY(w);
        QVERIFY(Part<QListWidget>(*w, "LBoxMemory")->count() > 0);
        QDir(FDir.filePath(QStringLiteral("Memory"))).removeRecursively();
        QFile blocker(FDir.filePath(QStringLiteral("Memory")));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        w->Session().ApplySize(8, 8);
        QCOMPARE(Part<QListWidget>(*w, "LBoxMemory")->count(), 0);
    }

    // New, Save and Del with real clicks; the dialog gets real keys.
    void newSaveDelete() {
        auto w = Preset();
        QVERIFY(w);
        Part<TField>(*w, "Field")->SetPreset(2, {5, 6, 0, 0});
        FDialogSteps << [](TSalvoDialog& d) {
            if (d.SlotName() != QStringLiteral("New salvo 1"))
                return int(QDialog::Rejected);
            return Type(d, QStringLiteral("  Show A  "), QStringLiteral("3, 1-2"));
        };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnNewSlot"), Qt::LeftButton);
        QVERIFY(FDialogSteps.isEmpty());
        QVERIFY(FBoxes.isEmpty());
        const QByteArray a = ReadAll(Folder16() + QStringLiteral("Show A.mem"));
        QCOMPARE(a.size(), 5144);
        QCOMPARE(Word(a, 0), 3);
        QCOMPARE(Word(a, 4), 2); // output 3 first, as given
        QCOMPARE(Word(a, 1032), 5);
        QCOMPARE(Word(a, 1032 + 4), 6);

        // Save under a new name: the new file comes, the old one goes.
        ClickItem(*w, QStringLiteral("Show A"));
        QVERIFY(Part<TSpeedButton>(*w, "SBtnSaveSlot")->isEnabled());
        FDialogSteps << [](TSalvoDialog& d) {
            return d.RBtnAll->isChecked() ? Type(d, QStringLiteral("Show B")) : 0;
        };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnSaveSlot"), Qt::LeftButton);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Text, QStringLiteral("Press OK to Save changes"));
        QVERIFY(!QFile::exists(Folder16() + QStringLiteral("Show A.mem")));
        QCOMPARE(Word(ReadAll(Folder16() + QStringLiteral("Show B.mem")), 0), 256);
        QVERIFY(!Part<QListWidget>(*w, "LBoxMemory")
                     ->findItems(QStringLiteral("Show B"), Qt::MatchExactly)
                     .isEmpty());

        // Del, first refused, then confirmed.
        ClickItem(*w, QStringLiteral("Show B"));
        FBoxes.Reply = msgbox::TAnswer::Cancel;
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnDelSlot"), Qt::LeftButton);
        QVERIFY(QFile::exists(Folder16() + QStringLiteral("Show B.mem")));
        FBoxes.Reply = msgbox::TAnswer::Ok;
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnDelSlot"), Qt::LeftButton);
        QCOMPARE(FBoxes.last().Text, QStringLiteral("Press OK if you want to Delete this item."));
        QVERIFY(!QFile::exists(Folder16() + QStringLiteral("Show B.mem")));
        QCOMPARE(Part<QListWidget>(*w, "LBoxMemory")->count(), 18);
        QCOMPARE(QDir(Folder16()).entryList(QDir::Files).size(), 18); // the list is the folder
    }

    // A salvo that cannot be written is reported, and the dialog comes back
    // with the texts as typed; nothing is listed until a save succeeds.
    void failedWriteKeepsTheDialog() {
        auto w = Preset();
        QVERIFY(w);
        QVERIFY(QDir().mkpath(Folder16() + QStringLiteral("Blocked.mem"))); // a folder in its place
        QString shownAgain, numbersAgain;
        FDialogSteps << [](TSalvoDialog& d) {
            return Type(d, QStringLiteral("Blocked"), QStringLiteral("1-3"));
        } << [&](TSalvoDialog& d) {
            shownAgain = d.SlotName();
            numbersAgain = d.Numbers();
            return Type(d, QStringLiteral("Free"));
        };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnNewSlot"), Qt::LeftButton);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Caption, QStringLiteral("Error:"));
        QVERIFY(FBoxes[0].Text.startsWith(QStringLiteral("Cannot save the salvo: ")));
        QCOMPARE(shownAgain, QStringLiteral("Blocked"));
        QCOMPARE(numbersAgain, QStringLiteral("1-3"));
        QVERIFY(Part<QListWidget>(*w, "LBoxMemory")
                    ->findItems(QStringLiteral("Blocked"), Qt::MatchExactly)
                    .isEmpty());
        QVERIFY(!Part<QListWidget>(*w, "LBoxMemory")
                     ->findItems(QStringLiteral("Free"), Qt::MatchExactly)
                     .isEmpty());
        QCOMPARE(Word(ReadAll(Folder16() + QStringLiteral("Free.mem")), 0), 3);
    }

    // The longest name the file system takes is saved; one byte more is
    // refused with a clear message and the name kept for correction.
    void longNames() {
        auto w = Preset();
        QVERIFY(w);
        const QString longest(251, QLatin1Char('x')), tooLong(252, QLatin1Char('y'));
        QString shownAgain;
        FDialogSteps << [&](TSalvoDialog& d) { return Type(d, tooLong); } << [&](TSalvoDialog& d) {
            shownAgain = d.SlotName();
            return Type(d, longest);
        };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnNewSlot"), Qt::LeftButton);
        QCOMPARE(FBoxes.size(), 1);
        QVERIFY(
            FBoxes[0].Text.startsWith(QStringLiteral("Invalid Salvo Name: longer than the 251")));
        QCOMPARE(shownAgain, tooLong);
        QVERIFY(QFile::exists(Folder16() + longest + QStringLiteral(".mem")));
        // Nothing but the salvos is left beside them.
        QCOMPARE(QDir(Folder16()).entryList(QDir::Files | QDir::Hidden).size(), 19);
    }

    // A size that keeps changing gets no folder until it holds; one run
    // creates a bounded number of folders; the operator's New creates at once.
    void sizeFoldersOnlyForSizesThatHold() {
        auto w = Preset(); // 16 x 16, created at once
        QVERIFY(w);
        w->Session().SizeSettleMs = 300;
        for (int n = 17; n < 47; ++n)
            w->Session().ApplySize(n, n);
        QTest::qWait(50);
        QCOMPARE(QDir(FDir.filePath(QStringLiteral("Memory")))
                     .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                     .size(),
                 1);
        // The last size holds: its folder and defaults come.
        QTRY_VERIFY(QFile::exists(FDir.filePath(QStringLiteral("Memory/46x46-4/N-N.mem"))));
        QTRY_COMPARE(Part<QListWidget>(*w, "LBoxMemory")->count(), 48);
        QCOMPARE(QDir(FDir.filePath(QStringLiteral("Memory")))
                     .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                     .size(),
                 2);
        // The bound: with none left, a new size gets no folder, and New says so.
        w->Session().NewSalvoFoldersLeft = 0;
        w->Session().SizeSettleMs = 0;
        w->Session().ApplySize(8, 8);
        QVERIFY(!QFileInfo::exists(FDir.filePath(QStringLiteral("Memory/8x8-4"))));
        QCOMPARE(Part<QListWidget>(*w, "LBoxMemory")->count(), 0);
        FDialogSteps << [](TSalvoDialog& d) { return Type(d, QStringLiteral("Kept")); }
                     << [](TSalvoDialog&) { return int(QDialog::Rejected); };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnNewSlot"), Qt::LeftButton);
        QCOMPARE(FBoxes.size(), 1);
        QVERIFY(FBoxes[0].Text.startsWith(QStringLiteral("Cannot save the salvo: ")));
        // With folders left, New on an unsettled size creates it at once.
        w->Session().NewSalvoFoldersLeft = 1;
        w->Session().SizeSettleMs = 60000;
        w->Session().ApplySize(9, 9);
        FDialogSteps << [](TSalvoDialog& d) { return Type(d, QStringLiteral("Now")); };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnNewSlot"), Qt::LeftButton);
        QVERIFY(QFile::exists(FDir.filePath(QStringLiteral("Memory/9x9-4/Now.mem"))));
        QVERIFY(QFile::exists(FDir.filePath(QStringLiteral("Memory/9x9-4/N-N.mem"))));
        // The bound holds across runs: with that many size folders on disk, a
        // new size gets none by itself, whatever this run has left.
        for (int n = 100; n < 100 + TSession::MaxNewSalvoFolders; ++n)
            QVERIFY(QDir().mkpath(FDir.filePath(QStringLiteral("Memory/%1x%1-4").arg(n))));
        w->Session().NewSalvoFoldersLeft = TSession::MaxNewSalvoFolders;
        w->Session().SizeSettleMs = 0;
        w->Session().ApplySize(10, 10);
        QVERIFY(!QFileInfo::exists(FDir.filePath(QStringLiteral("Memory/10x10-4"))));
    }

    // In the salvo folder too, only our own unfinished saves go; files the
    // operator keeps beside the salvos stay.
    void operatorFilesSurviveLoading() {
        const QStringList keep{QStringLiteral("z_keep.mem.backup"),
                               QStringLiteral("N-N.mem.old123"), QStringLiteral("notes.txt")};
        const QString ours = QStringLiteral(".matrixpanel-tmp-x1Y2z3");
        QVERIFY(QDir().mkpath(Folder16()));
        for (const QString& name : keep + QStringList{ours}) {
            QFile f(Folder16() + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
            QVERIFY(f.flush());
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                                  QFileDevice::FileModificationTime));
        }
        auto w = Preset();
        QVERIFY(w);
        for (const QString& name : keep)
            QVERIFY2(QFile::exists(Folder16() + name), qPrintable(name));
        QVERIFY(!QFile::exists(Folder16() + ours));
    }

    // A file whose name is not UTF-8 is listed (with a replacement character)
    // and can be deleted; the real file goes.
    void nameNotUtf8() {
        TMemorySlot slot;
        slot.Count = 1;
        const std::string bytes = salvofile::Encode(slot);
        QVERIFY(QDir().mkpath(Folder16()));
        const QByteArray raw = QFile::encodeName(Folder16()) + "caf\xE9.mem";
        FILE* f = std::fopen(raw.constData(), "wb");
        QVERIFY(f);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        auto w = Preset();
        QVERIFY(w);
        const QString shown = QStringLiteral("caf") + QChar(0xFFFD);
        ClickItem(*w, shown);
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnDelSlot"), Qt::LeftButton);
        QVERIFY(Part<QListWidget>(*w, "LBoxMemory")->findItems(shown, Qt::MatchExactly).isEmpty());
        struct stat st {};
        const bool gone = ::stat(raw.constData(), &st) != 0;
        ::unlink(raw.constData()); // the folder's removal between tests cannot name it
        QVERIFY(gone);
    }

    // The dialog lands inside the screen however close to its edge the window
    // stands (where the rule's place fits, the helper's table shows it kept).
    void dialogInsideTheScreen() {
        auto w = Preset();
        QVERIFY(w);
        const QRect screen = w->screen()->availableGeometry();
        QRect placed;
        QPoint rule;
        FDialogSteps << [&](TSalvoDialog& d) {
            placed = d.frameGeometry();
            return int(QDialog::Rejected);
        };
        w->move(screen.right() - 60, screen.bottom() - 40);
        rule = QPoint(w->x() + Part<TPanel>(*w, "PanelOperBack")->x(),
                      w->y() + Part<TPanel>(*w, "PanelMemoryBack")->y());
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnNewSlot"), Qt::LeftButton);
        QVERIFY(!placed.isEmpty());
        QVERIFY2(screen.contains(placed), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                         .arg(placed.x())
                                                         .arg(placed.y())
                                                         .arg(placed.width())
                                                         .arg(placed.height())));
        QVERIFY(placed.topLeft() != rule);
    }

    // Save and Del follow the selection made with the arrow keys, and agree
    // with it after Del.
    void buttonsFollowKeyboardSelection() {
        auto w = Preset();
        QVERIFY(w);
        QVERIFY(!Part<TSpeedButton>(*w, "SBtnSaveSlot")->isEnabled());
        Part<QListWidget>(*w, "LBoxMemory")->setFocus();
        QTest::keyClick(Part<QListWidget>(*w, "LBoxMemory"), Qt::Key_Down);
        QTest::keyClick(Part<QListWidget>(*w, "LBoxMemory"), Qt::Key_Down);
        QVERIFY(!Part<QListWidget>(*w, "LBoxMemory")->selectedItems().isEmpty());
        QVERIFY(Part<TSpeedButton>(*w, "SBtnSaveSlot")->isEnabled());
        QVERIFY(Part<TSpeedButton>(*w, "SBtnDelSlot")->isEnabled());
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnDelSlot"), Qt::LeftButton);
        QCOMPARE(Part<QListWidget>(*w, "LBoxMemory")->count(), 17);
        const bool selected = !Part<QListWidget>(*w, "LBoxMemory")->selectedItems().isEmpty();
        QCOMPARE(Part<TSpeedButton>(*w, "SBtnSaveSlot")->isEnabled(), selected);
        QCOMPARE(Part<TSpeedButton>(*w, "SBtnDelSlot")->isEnabled(), selected);
    }

    // Name errors show the dialog again with the texts as entered.
    void nameErrors() {
        auto w = Preset();
        QVERIFY(w);
        FDialogSteps << [](TSalvoDialog& d) { return Type(d, QStringLiteral("New salvo 1")); };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnNewSlot"), Qt::LeftButton);
        QString shownAgain;
        FDialogSteps << [](TSalvoDialog& d) { return Type(d, QStringLiteral("new salvo 1")); } <<
            [&](TSalvoDialog& d) {
                shownAgain = d.SlotName();
                return Type(d, QStringLiteral("../x"));
            } <<
            [](TSalvoDialog& d) { return Type(d, QStringLiteral("ok"), QStringLiteral("0")); }
                     << [](TSalvoDialog&) { return int(QDialog::Rejected); };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnNewSlot"), Qt::LeftButton);
        QCOMPARE(shownAgain, QStringLiteral("new salvo 1"));
        QCOMPARE(FBoxes.size(), 3);
        QCOMPARE(FBoxes[0].Text, QStringLiteral("Duplicated Salvo Name: new salvo 1"));
        QCOMPARE(FBoxes[1].Text, QStringLiteral("Invalid Salvo Name."));
        QCOMPARE(FBoxes[2].Text, QStringLiteral("Invalid Output Numbers Selection."));
        for (const auto& b : FBoxes)
            QCOMPARE(b.Caption, QStringLiteral("Error:"));
        QVERIFY(!QFile::exists(FDir.filePath(QStringLiteral("Memory/16x16-4/../x.mem"))));
        QCOMPARE(Part<QListWidget>(*w, "LBoxMemory")->count(), 19);
        // Saving under its own name in another case is allowed.
        ClickItem(*w, QStringLiteral("New salvo 1"));
        FDialogSteps << [](TSalvoDialog& d) { return Type(d, QStringLiteral("NEW SALVO 1")); };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnSaveSlot"), Qt::LeftButton);
        QVERIFY(QFile::exists(Folder16() + QStringLiteral("NEW SALVO 1.mem")));
        QVERIFY(!QFile::exists(Folder16() + QStringLiteral("New salvo 1.mem")));
    }

    // A size change or the end of operation while the dialog is open writes
    // nothing and frees nothing in use.
    void worldChangesWhileEditing_data() {
        QTest::addColumn<int>("change");
        QTest::newRow("size change") << 0;
        QTest::newRow("operation ends") << 1;
    }
    void worldChangesWhileEditing() {
        QFETCH(int, change);
        auto w = Preset();
        QVERIFY(w);
        ClickItem(*w, QStringLiteral("N-N"));
        for (const char* button : {"new", "save"}) {
            TMainWindow* win = w.get();
            FDialogSteps << [win, change](TSalvoDialog& d) {
                if (change == 0)
                    win->Session().ApplySize(8, 8);
                else
                    win->Session().SetMode(TMode::Off);
                return Type(d, QStringLiteral("Late"));
            };
            QTest::mouseClick(QByteArray(button) == "new" ? Part<TSpeedButton>(*w, "SBtnNewSlot")
                                                          : Part<TSpeedButton>(*w, "SBtnSaveSlot"),
                              Qt::LeftButton);
            QVERIFY(FBoxes.isEmpty());
            QVERIFY(!QFile::exists(Folder16() + QStringLiteral("Late.mem")));
            QVERIFY(!QFile::exists(FDir.filePath(QStringLiteral("Memory/8x8-4/Late.mem"))));
            w->Session().ApplySize(16, 16);
            w->Session().SetMode(TMode::Preset);
            ClickItem(*w, QStringLiteral("N-N"));
        }
        // The Del question outlived by a size change deletes nothing.
        FBoxes.WhileOpen = [&](const msgbox::TBox&) { w->Session().ApplySize(8, 8); };
        QTest::mouseClick(Part<TSpeedButton>(*w, "SBtnDelSlot"), Qt::LeftButton);
        QVERIFY(QFile::exists(Folder16() + QStringLiteral("N-N.mem")));
    }

    // Recall writes the preset of every level, whatever CONTROL and the locks
    // say, and sends nothing.
    // Inputs the matrix does not have are never recalled (so never sent); the
    // other levels and entries of the salvo are.
    void recallSkipsInputsOutsideTheMatrix() {
        auto w = Preset();
        QVERIFY(w);
        TMemorySlot slot;
        slot.Count = 4;
        slot.Outputs = {};
        slot.Outputs[0] = 0;
        slot.Outputs[1] = 1;
        slot.Outputs[2] = 2;
        slot.Outputs[3] = 3;
        slot.Sources[0] = {256, 3, 0, 0};
        slot.Sources[1] = {200, 200, 0, 0};
        slot.Sources[2] = {-1, 16, 0, 0};
        slot.Sources[3] = {15, 4, 0, 0};
        QFile f(Folder16() + QStringLiteral("Wide.mem"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        const std::string bytes = salvofile::Encode(slot);
        f.write(bytes.data(), qint64(bytes.size()));
        f.close();
        w->Session().LoadSalvos();
        const TLevelValues before1 = Part<TField>(*w, "Field")->GetPreset(1),
                           before2 = Part<TField>(*w, "Field")->GetPreset(2);
        ClickItem(*w, QStringLiteral("Wide"));
        const QRect r = Part<QListWidget>(*w, "LBoxMemory")
                            ->visualItemRect(Part<QListWidget>(*w, "LBoxMemory")->currentItem());
        QTest::mouseDClick(Part<QListWidget>(*w, "LBoxMemory")->viewport(), Qt::LeftButton,
                           Qt::NoModifier, r.center());
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(0)[0],
                 Part<TField>(*w, "Field")->GetStatus(0)[0]); // 256 skipped
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(0)[1], 3);
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(1), before1);
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(2), before2);
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(3)[0], 15);
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(3)[1], 4);
    }

    void recallOverridesControlAndLocks() {
        auto w = Preset();
        QVERIFY(w);
        Part<TField>(*w, "Field")->SetControl(0);
        Part<TField>(*w, "Field")->SetLock(4, 0x00000101);
        const TLevelValues status4 = Part<TField>(*w, "Field")->GetStatus(4);
        ClickItem(*w, QStringLiteral("007-ALL"));
        const QRect r = Part<QListWidget>(*w, "LBoxMemory")
                            ->visualItemRect(Part<QListWidget>(*w, "LBoxMemory")->currentItem());
        QTest::mouseDClick(Part<QListWidget>(*w, "LBoxMemory")->viewport(), Qt::LeftButton,
                           Qt::NoModifier, r.center());
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(4)[0], 6);
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(4)[1], 6);
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(15)[1], 6);
        QCOMPARE(Part<TField>(*w, "Field")->GetStatus(4),
                 status4); // a preset only: nothing is routed
        // Enter on the list recalls too.
        ClickItem(*w, QStringLiteral("N-N"));
        Part<QListWidget>(*w, "LBoxMemory")->setFocus();
        QTest::keyClick(Part<QListWidget>(*w, "LBoxMemory"), Qt::Key_Return);
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(9)[0], 9);
        // Not in ON LINE mode.
        w->Session().SetMode(TMode::OnLine);
        w->Session().SetMode(TMode::Preset);
        ClickItem(*w, QStringLiteral("007-ALL"));
        w->Session().SetMode(TMode::OnLine);
        QTest::mouseDClick(Part<QListWidget>(*w, "LBoxMemory")->viewport(), Qt::LeftButton,
                           Qt::NoModifier, r.center());
        QCOMPARE(Part<TField>(*w, "Field")->GetPreset(9)[0],
                 Part<TField>(*w, "Field")->GetStatus(9)[0]);
    }
};

QTEST_MAIN(TestMemory)
#include "tst_memory.moc"
