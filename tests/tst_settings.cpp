// The Settings dialog, alone and as the main window runs it.
#include "IpText.h"
#include "LevelControl.h"
#include "LevelSetFile.h"
#include "MainWindow.h"
#include "MessageBox.h"
#include "Panel.h"
#include "PanelTest.h"
#include "Pickers.h"
#include "PollThread.h"
#include "SettingsWindow.h"
#include "SpeedButton.h"
#include "WindowFinder.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

std::int32_t IP(const char* text) {
    bool ok = false;
    return ParseIP(text, ok);
}

TSettingsItem Level(int address, const char* name, const char* ip) {
    TSettingsItem l;
    l.Address = address;
    l.Name = name;
    l.IP = IP(ip);
    return l;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

    QTemporaryDir FDir;
    TBoxRecorder FBoxes;
    QString Set() const { return FDir.filePath(QStringLiteral("matrixpanel.set")); }
    QString Ini() const { return FDir.filePath(QStringLiteral("matrixpanel.ini")); }
    QByteArray SetText() const {
        QFile f(Set());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void init() {
        FBoxes.Install();
        QFile::remove(Set());
        QFile::remove(Ini());
    }
    void cleanup() {
        TBoxRecorder::Uninstall();
        msgbox::SetDialogHandler({});
        pickers::SetColorHandler({});
    }

    void addresses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("valid") << QStringLiteral("10.0.0.5") << QStringLiteral("10.0.0.5");
        QTest::newRow("three parts") << QStringLiteral("192.168.1") << QStringLiteral("0.0.0.0");
        QTest::newRow("part above 255")
            << QStringLiteral("192.168.0.300") << QStringLiteral("0.0.0.0");
        QTest::newRow("explicit zero") << QStringLiteral("0.0.0.0") << QStringLiteral("0.0.0.0");
        QTest::newRow("host name") << QStringLiteral("router.local") << QStringLiteral("0.0.0.0");
        QTest::newRow("blanks around")
            << QStringLiteral(" 10.1.2.3 ") << QStringLiteral("10.1.2.3");
    }
    // Typed and committed with Enter, then refused at APPLY unless valid.
    void addresses() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        TSettingsWindow d(Set());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QApplication::setActiveWindow(&d);
        QTest::mouseClick(d.SBtnAdd, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Selected(), 0);
        d.EditAddr->setFocus();
        d.EditAddr->selectAll();
        QTest::keyClicks(d.EditAddr, text);
        QTest::keyClick(d.EditAddr, Qt::Key_Return);
        QCOMPARE(d.EditAddr->text(), shown);
        QTest::mouseClick(d.SBtnApply, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        if (shown == QStringLiteral("0.0.0.0")) {
            QCOMPARE(FBoxes.size(), 1);
            QCOMPARE(FBoxes[0].Caption, QStringLiteral("Error"));
            QCOMPARE(FBoxes[0].Text, QStringLiteral("Invalid IP Address or Host name"));
            QVERIFY(!QFile::exists(Set()));
        } else {
            QVERIFY(FBoxes.isEmpty());
            QCOMPARE(ReadLevelSet(Set().toStdString()).at(0).IP, IP(shown.toLatin1().constData()));
        }
    }

    // The dialog opens with no line selected and nothing to edit, however the
    // focus comes to the list.
    void opensWithNothingSelected() {
        WriteLevelSet(Set().toStdString(),
                      {Level(1, "VIDEO", "10.0.0.5"), Level(2, "AUDIO", "10.0.0.6")});
        TSettingsWindow d(Set());
        d.show();
        QApplication::setActiveWindow(&d);
        QVERIFY(QTest::qWaitForWindowActive(&d));
        QCOMPARE(d.Selected(), -1);
        QVERIFY(d.LBoxGroup->selectedItems().isEmpty());
        QVERIFY(!d.EditName->isEnabled());
        QTest::keyClick(&d, Qt::Key_Tab);
        QCOMPARE(d.Selected(), -1);
        QVERIFY(!d.EditName->isEnabled());
        // A click on a line selects it.
        QTest::mouseClick(d.LBoxGroup->viewport(), Qt::LeftButton, Qt::NoModifier,
                          d.LBoxGroup->visualItemRect(d.LBoxGroup->item(1)).center());
        QCOMPARE(d.Selected(), 1);
        QVERIFY(d.EditName->isEnabled());
    }

    // A pending address is committed when a button is pressed.
    void pendingAddressCommittedByButton() {
        WriteLevelSet(Set().toStdString(), {Level(1, "VIDEO", "10.0.0.5")});
        TSettingsWindow d(Set());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QApplication::setActiveWindow(&d);
        d.Select(0);
        d.EditAddr->setFocus();
        d.EditAddr->selectAll();
        QTest::keyClicks(d.EditAddr, QStringLiteral("10.0.0.9"));
        QTest::mouseClick(d.SBtnOK, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QCOMPARE(ReadLevelSet(Set().toStdString()).at(0).IP, IP("10.0.0.9"));
    }

    void levelBox_data() {
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("1 and 3") << QList<int>{1, 3}
                                 << QStringList{"LEVEL 1", "LEVEL 2 (free)", "LEVEL 3",
                                                "LEVEL 4 (free)"};
        QTest::newRow("none") << QList<int>{}
                              << QStringList{"LEVEL 1 (free)", "LEVEL 2 (free)", "LEVEL 3 (free)",
                                             "LEVEL 4 (free)"};
        QTest::newRow("all") << QList<int>{4, 3, 2, 1}
                             << QStringList{"LEVEL 1", "LEVEL 2", "LEVEL 3", "LEVEL 4"};
    }
    void levelBox() {
        QFETCH(QList<int>, used);
        QFETCH(QStringList, entries);
        std::vector<TSettingsItem> levels;
        for (int a : used)
            levels.push_back(Level(a, "L", "10.0.0.1"));
        QCOMPARE(LevelBoxEntries(levels), entries);
    }

    // Level 2 at positions 1 and 3: APPLY selects position 3, the file stays.
    void duplicateLevelNumber() {
        WriteLevelSet(Set().toStdString(), {Level(2, "A", "10.0.0.1"), Level(1, "B", "10.0.0.1"),
                                            Level(3, "C", "10.0.0.2")});
        const QByteArray before = SetText();
        TSettingsWindow d(Set());
        QCOMPARE(d.LBoxGroup->count(), 3);
        QCOMPARE(d.LBoxGroup->item(0)->text(), QStringLiteral("1: A (Level: 2) - 10.0.0.1"));
        QCOMPARE(d.Selected(), -1);
        QVERIFY(!d.EditName->isEnabled() && !d.SBtnDelete->isEnabled());
        d.Select(2);
        d.CBoxAddress->setCurrentIndex(1); // LEVEL 2, as an operator's choice
        QCOMPARE(d.Levels()[2].Address, 2);
        d.Select(0);
        QTest::mouseClick(d.SBtnApply, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Text, QStringLiteral("Duplicated Level number"));
        QCOMPARE(FBoxes[0].Icon, msgbox::TIcon::Error);
        QCOMPARE(d.Selected(), 2);
        QCOMPARE(SetText(), before);
        // Rebuilding the box on selection changes commits nothing.
        d.Select(1);
        d.Select(-1);
        d.Select(0);
        QCOMPARE(d.Levels()[0].Address, 2);
        QCOMPARE(d.Levels()[1].Address, 1);
    }

    // NEW takes the selected level's address, the smallest free number and
    // its colour; with nothing selected the address is 0. Four is the limit.
    void newDeleteAndMove() {
        WriteLevelSet(Set().toStdString(), {Level(1, "VIDEO", "10.0.0.5")});
        TSettingsWindow d(Set());
        d.Select(0);
        QTest::mouseClick(d.SBtnAdd, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Levels().size(), std::size_t(2));
        const TSettingsItem& n = d.Levels()[1];
        QCOMPARE(n.Name, std::string("New Level"));
        QCOMPARE(n.IP, IP("10.0.0.5"));
        QCOMPARE(n.Address, 2);
        QCOMPARE(n.Color, TColor(0x008000));
        QCOMPARE(n.TextColor, TColor(0xFFFFFF));
        QCOMPARE(d.Selected(), 1);
        d.Select(-1);
        QTest::mouseClick(d.SBtnAdd, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Levels()[2].IP, 0);
        QCOMPARE(d.Levels()[2].Color, TColor(0xFF0000));
        QTest::mouseClick(d.SBtnAdd, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Levels().size(), std::size_t(4));
        QVERIFY(!d.SBtnAdd->isEnabled());
        // UP moves the selection with the level.
        d.Select(3);
        QVERIFY(!d.SBtnDown->isEnabled());
        QTest::mouseClick(d.SBtnUp, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Selected(), 2);
        QCOMPARE(d.Levels()[2].Address, 4);
        // DELETE asks; Cancel keeps, OK removes and selects the same position.
        FBoxes.Reply = msgbox::TAnswer::Cancel;
        QTest::mouseClick(d.SBtnDelete, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Levels().size(), std::size_t(4));
        QCOMPARE(FBoxes.last().Text, QStringLiteral("Press OK if you want to Delete this item."));
        QCOMPARE(FBoxes.last().Caption, QStringLiteral("Confirm"));
        FBoxes.Reply = msgbox::TAnswer::Ok;
        QTest::mouseClick(d.SBtnDelete, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Levels().size(), std::size_t(3));
        QCOMPARE(d.Selected(), 2);
        d.Select(2);
        QTest::mouseClick(d.SBtnDelete, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Selected(), 1); // the removed one was last
        // A line break in a name becomes a blank; the list follows.
        d.Select(0);
        d.EditName->setFocus();
        d.EditName->selectAll();
        QTest::keyClicks(d.EditName, QStringLiteral("CAM"));
        QCOMPARE(d.Levels()[0].Name, std::string("CAM"));
        QCOMPARE(d.LBoxGroup->item(0)->text(), QStringLiteral("1: CAM (Level: 1) - 10.0.0.5"));
        // Colour through the picker.
        pickers::SetColorHandler([](TColor) -> std::optional<TColor> { return 0x123456; });
        QTest::mouseClick(d.SBtnTextColor, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Levels()[0].TextColor, TColor(0x123456));
        pickers::SetColorHandler([](TColor) -> std::optional<TColor> { return std::nullopt; });
        QTest::mouseClick(d.SBtnColor, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(d.Levels()[0].Color, TColor(16777215)); // as read from the file
    }

    // While operating: only viewing; APPLY then CANCEL keeps what was applied.
    void readOnlyAndApplyThenCancel() {
        WriteLevelSet(Set().toStdString(), {Level(1, "VIDEO", "10.0.0.5")});
        {
            TSettingsWindow d(Set());
            d.SetReadOnly(true);
            d.Select(0);
            for (QWidget* w : std::initializer_list<QWidget*>{
                     d.SBtnAdd, d.SBtnDelete, d.SBtnUp, d.SBtnDown, d.EditAddr, d.CBoxAddress,
                     d.EditName, d.SBtnColor, d.SBtnTextColor, d.SBtnApply, d.SBtnOK})
                QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
            QVERIFY(d.SBtnCancel->isEnabled());
        }
        TSettingsWindow d(Set());
        d.show();
        d.Select(0);
        d.EditName->setText(QStringLiteral("X"));
        QTest::keyClicks(d.EditName, QStringLiteral("Y"));
        QTest::mouseClick(d.SBtnApply, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(d.isVisible());
        QTest::keyClick(d.EditName, Qt::Key_Escape);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(ReadLevelSet(Set().toStdString()).at(0).Name, std::string("XY"));
    }

    // A level set that cannot be written is reported and OK does not close.
    void writeFailureKeepsDialogOpen() {
        WriteLevelSet(Set().toStdString(), {Level(1, "VIDEO", "10.0.0.5")});
        QVERIFY(QFile::setPermissions(Set(), QFile::ReadOwner));
        TSettingsWindow d(Set());
        d.show();
        d.setResult(-1);
        QTest::mouseClick(d.SBtnOK, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QFile::setPermissions(Set(), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(FBoxes.size(), 1);
        QCOMPARE(FBoxes[0].Caption, QStringLiteral("Error"));
        QVERIFY(FBoxes[0].Text.contains(Set()));
        QVERIFY(d.isVisible());
        QCOMPARE(d.result(), -1);
    }

    // OK in the main window: utilities quit before the level set is loaded
    // again, so even a list without switchers ends them.
    void okQuitsUtilitiesBeforeReload() {
        WriteLevelSet(Set().toStdString(), {Level(1, "VIDEO", "127.0.0.1")});
        TMainWindow w(Ini());
        QCOMPARE(w.Session().Levels().SwitcherCount, 1);
        w.Utilities().SetProgram(QStringLiteral(FIBREWATCH_PATH));
        w.Utilities().Launch(1, 1, QStringLiteral("127.0.0.1"));
        const qint64 pid = w.Utilities().Pid(1);
        QVERIFY(pid > 0);
        QVERIFY(findwindow::ProcessAlive(pid));
        msgbox::SetDialogHandler([](QDialog& d) {
            auto* s = qobject_cast<TSettingsWindow*>(&d);
            s->Select(0);
            DeleteAndOk(s);
            return d.result();
        });
        w.show();
        QTest::mouseClick(w.findChild<TSpeedButton*>(QStringLiteral("SBtnSettings")),
                          Qt::LeftButton);
        QCOMPARE(w.Session().Levels().Count, 0);
        QCOMPARE(w.Utilities().Pid(1), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!findwindow::ProcessAlive(pid), 5000);
        QVERIFY(!w.findChild<TSettingsWindow*>());
    }

private:
    // Deletes the selected level and presses OK.
    static void DeleteAndOk(TSettingsWindow* s) {
        QTest::mouseClick(s->SBtnDelete, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QTest::mouseClick(s->SBtnOK, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    }
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
