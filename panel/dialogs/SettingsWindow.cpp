#include "SettingsWindow.h"

#include "IpText.h"
#include "MessageBox.h"
#include "Panel.h"
#include "ParamsWindow.h"
#include "Pickers.h"
#include "SpeedButton.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <algorithm>

namespace {

constexpr int Margin = 8;
constexpr int NameMax = 32;

void Paint(QLabel* swatch, TColor c) {
    swatch->setStyleSheet(
        QStringLiteral("background: %1; border: 1px solid black;").arg(ToQColor(c).name()));
}

} // namespace

QStringList LevelBoxEntries(const std::vector<TSettingsItem>& levels) {
    QStringList entries;
    for (int n = 1; n <= MaxLevels; ++n) {
        const bool used = std::any_of(levels.begin(), levels.end(),
                                      [n](const TSettingsItem& l) { return l.Address == n; });
        entries << QStringLiteral("LEVEL %1%2")
                       .arg(n)
                       .arg(used ? QString() : QStringLiteral(" (free)"));
    }
    return entries;
}

QString LevelLine(int position, const TSettingsItem& level) {
    return QStringLiteral("%1: %2 (Level: %3) - %4")
        .arg(position)
        .arg(QString::fromStdString(level.Name))
        .arg(level.Address)
        .arg(QString::fromStdString(FormatIP(level.IP)));
}

TColor DefaultLevelColor(int address) {
    switch (address) {
    case 1:
        return 0x0000FF;
    case 2:
        return 0x008000;
    case 3:
        return 0xFF0000;
    case 4:
        return 0x00FFFF;
    default:
        return clr::White;
    }
}

std::int32_t ParseIPOrZero(const QString& text) {
    bool ok = false;
    const std::int32_t ip = ParseIP(text.toStdString(), ok);
    return ok ? ip : 0;
}

TSettingsWindow::TSettingsWindow(const QString& levelSetFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      FFileName(levelSetFile) {
    setObjectName(QStringLiteral("SettingsWindow"));
    setWindowTitle(QStringLiteral("Settings"));
    auto button = [](QWidget* parent, const char* name, const char* caption, QRect r) {
        auto* b = new TSpeedButton(parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(QString::fromLatin1(caption));
        b->setGeometry(r);
        b->SetHandPointer(true);
        return b;
    };
    auto label = [](QWidget* parent, const char* text, QRect r) {
        auto* l = new QLabel(QString::fromLatin1(text), parent);
        l->setGeometry(r);
        return l;
    };

    PanelOptionsBack = new TPanel(this);
    PanelOptionsBack->setObjectName(QStringLiteral("PanelOptionsBack"));
    PanelOptionsBack->SetBevels(TPanel::TBevel::Lowered, TPanel::TBevel::None);
    PanelOptionsBack->setGeometry(Margin, Margin, 380, 276);
    PanelOptionsBack->setFocusPolicy(Qt::ClickFocus);
    LBoxGroup = new QListWidget(PanelOptionsBack);
    LBoxGroup->setObjectName(QStringLiteral("LBoxGroup"));
    LBoxGroup->setGeometry(8, 8, 364, 76);
    SBtnAdd = button(PanelOptionsBack, "SBtnAdd", "NEW", QRect(8, 92, 65, 17));
    SBtnDelete = button(PanelOptionsBack, "SBtnDelete", "DELETE", QRect(80, 92, 65, 17));
    label(PanelOptionsBack, "Position:", QRect(200, 92, 56, 17));
    SBtnUp = button(PanelOptionsBack, "SBtnUp", "UP", QRect(258, 92, 54, 17));
    SBtnDown = button(PanelOptionsBack, "SBtnDown", "DOWN", QRect(318, 92, 54, 17));
    label(PanelOptionsBack, "IP Address:", QRect(8, 124, 90, 21));
    EditAddr = new QLineEdit(PanelOptionsBack);
    EditAddr->setObjectName(QStringLiteral("EditAddr"));
    EditAddr->setGeometry(100, 124, 150, 21);
    label(PanelOptionsBack, "Level:", QRect(8, 154, 90, 21));
    CBoxAddress = new QComboBox(PanelOptionsBack);
    CBoxAddress->setObjectName(QStringLiteral("CBoxAddress"));
    CBoxAddress->setGeometry(100, 154, 150, 21);
    label(PanelOptionsBack, "Name:", QRect(8, 184, 90, 21));
    EditName = new QLineEdit(PanelOptionsBack);
    EditName->setObjectName(QStringLiteral("EditName"));
    EditName->setGeometry(100, 184, 272, 21);
    EditName->setMaxLength(NameMax);
    label(PanelOptionsBack, "Color:", QRect(8, 216, 90, 17));
    ShapeColor = new QLabel(PanelOptionsBack);
    ShapeColor->setObjectName(QStringLiteral("ShapeColor"));
    ShapeColor->setGeometry(100, 216, 40, 17);
    SBtnColor = button(PanelOptionsBack, "SBtnColor", "SELECT", QRect(148, 216, 65, 17));
    label(PanelOptionsBack, "Text Color:", QRect(8, 244, 90, 17));
    ShapeTextColor = new QLabel(PanelOptionsBack);
    ShapeTextColor->setObjectName(QStringLiteral("ShapeTextColor"));
    ShapeTextColor->setGeometry(100, 244, 40, 17);
    SBtnTextColor = button(PanelOptionsBack, "SBtnTextColor", "SELECT", QRect(148, 244, 65, 17));

    PanelBtnsBack = new TPanel(this);
    PanelBtnsBack->setObjectName(QStringLiteral("PanelBtnsBack"));
    PanelBtnsBack->SetBevels(TPanel::TBevel::None, TPanel::TBevel::None);
    PanelBtnsBack->setGeometry(Margin, 292, 380, 33);
    PanelBtnsBack->setFocusPolicy(Qt::ClickFocus);
    SBtnApply = button(PanelBtnsBack, "SBtnApply", "APPLY", QRect(8, 8, 85, 21));
    SBtnOK = button(PanelBtnsBack, "SBtnOK", "OK", QRect(146, 8, 85, 21));
    SBtnCancel = button(PanelBtnsBack, "SBtnCancel", "CANCEL", QRect(287, 8, 85, 21));
    // As wide as CANCEL's right edge plus APPLY's left margin plus 1.
    const int right = PanelBtnsBack->x() + SBtnCancel->geometry().right() + 1;
    setFixedSize(right + SBtnApply->x() + 1, PanelBtnsBack->geometry().bottom() + 1 + Margin);

    ConnectButton(SBtnAdd, PanelOptionsBack, [this] { New(); });
    ConnectButton(SBtnDelete, PanelOptionsBack, [this] { Delete(); });
    ConnectButton(SBtnUp, PanelOptionsBack, [this] { Move(-1); });
    ConnectButton(SBtnDown, PanelOptionsBack, [this] { Move(1); });
    ConnectButton(SBtnColor, PanelOptionsBack, [this] { PickColor(false); });
    ConnectButton(SBtnTextColor, PanelOptionsBack, [this] { PickColor(true); });
    ConnectButton(SBtnApply, PanelBtnsBack, [this] { Save(); });
    ConnectButton(SBtnOK, PanelBtnsBack, [this] {
        if (Save())
            accept();
    });
    ConnectButton(SBtnCancel, PanelBtnsBack, [this] { reject(); });
    connect(PanelOptionsBack, &TPanel::MouseDown, this, [this] { PanelOptionsBack->setFocus(); });
    // The selection, not the current row, picks the line: the list makes its
    // first line current (unselected) when it takes the focus, and the dialog
    // opens with no line selected.
    connect(LBoxGroup, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = LBoxGroup->selectedItems();
        const int row = selected.isEmpty() ? -1 : LBoxGroup->row(selected.first());
        if (row == FSelected)
            return;
        CommitAddress();
        FSelected = row;
        Refresh();
    });
    connect(EditName, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (FSelected < 0 || FReadOnly)
            return;
        FLevels[static_cast<std::size_t>(FSelected)].Name = BlankControls(text).toStdString();
        Refresh();
    });
    connect(EditAddr, &QLineEdit::textEdited, this, [this] { FAddrPending = true; });
    connect(CBoxAddress, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (FSelected < 0 || index < 0 || FReadOnly)
            return;
        FLevels[static_cast<std::size_t>(FSelected)].Address = index + 1;
        Refresh();
    });
    // The dialog sees every key first; the address field's focus loss commits it.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);

    std::string error;
    FLevels = ReadLevelSet(FFileName.toStdString(), &error);
    Refresh();
}

void TSettingsWindow::ConnectButton(TSpeedButton* b, TPanel* focusTarget,
                                    const std::function<void()>& act) {
    connect(b, &TSpeedButton::MouseDown, this, [this, focusTarget, act](Qt::MouseButton button) {
        if (button != Qt::LeftButton)
            return;
        // A pending address is committed before any button acts.
        focusTarget->setFocus();
        CommitAddress();
        act();
    });
}

void TSettingsWindow::SetReadOnly(bool on) {
    FReadOnly = on;
    Refresh();
}

void TSettingsWindow::Select(int index) {
    CommitAddress();
    FSelected = index >= 0 && index < static_cast<int>(FLevels.size()) ? index : -1;
    Refresh();
}

void TSettingsWindow::CommitAddress() {
    if (!FAddrPending)
        return;
    FAddrPending = false;
    if (FSelected < 0 || FReadOnly)
        return;
    FLevels[static_cast<std::size_t>(FSelected)].IP = ParseIPOrZero(EditAddr->text());
    Refresh();
}

void TSettingsWindow::Refresh() {
    const bool selected = FSelected >= 0 && FSelected < static_cast<int>(FLevels.size());
    const int count = static_cast<int>(FLevels.size());
    {
        // Rebuilding the box must not commit anything.
        const QSignalBlocker block(CBoxAddress);
        const QStringList entries = LevelBoxEntries(FLevels);
        if (CBoxAddress->count() != entries.size()) {
            CBoxAddress->clear();
            CBoxAddress->addItems(entries);
        } else {
            for (int i = 0; i < entries.size(); ++i)
                CBoxAddress->setItemText(i, entries[i]);
        }
        CBoxAddress->setCurrentIndex(
            selected ? FLevels[static_cast<std::size_t>(FSelected)].Address - 1 : -1);
    }
    SBtnAdd->setEnabled(count < MaxLevels);
    for (QWidget* w : std::initializer_list<QWidget*>{SBtnDelete, SBtnColor, SBtnTextColor,
                                                      CBoxAddress, EditName, EditAddr})
        w->setEnabled(selected);
    SBtnUp->setEnabled(selected && FSelected > 0);
    SBtnDown->setEnabled(selected && FSelected < count - 1);
    if (selected) {
        const TSettingsItem& l = FLevels[static_cast<std::size_t>(FSelected)];
        const QString name = QString::fromStdString(l.Name);
        const QString ip = QString::fromStdString(FormatIP(l.IP));
        if (EditName->text() != name)
            EditName->setText(name);
        if (EditAddr->text() != ip && !FAddrPending)
            EditAddr->setText(ip);
        Paint(ShapeColor, l.Color);
        Paint(ShapeTextColor, l.TextColor);
    } else {
        EditName->clear();
        EditAddr->clear();
        FAddrPending = false;
        Paint(ShapeColor, clr::Silver);
        Paint(ShapeTextColor, clr::Silver);
    }
    {
        const QSignalBlocker block(LBoxGroup);
        while (LBoxGroup->count() > count)
            delete LBoxGroup->takeItem(LBoxGroup->count() - 1);
        for (int i = 0; i < count; ++i) {
            const QString line = LevelLine(i + 1, FLevels[static_cast<std::size_t>(i)]);
            if (i >= LBoxGroup->count())
                LBoxGroup->addItem(line);
            else if (LBoxGroup->item(i)->text() != line)
                LBoxGroup->item(i)->setText(line);
        }
        LBoxGroup->setCurrentRow(selected ? FSelected : -1);
    }
    if (FReadOnly)
        for (QWidget* w : std::initializer_list<QWidget*>{
                 SBtnAdd, SBtnDelete, SBtnUp, SBtnDown, EditAddr, CBoxAddress, EditName, SBtnColor,
                 SBtnTextColor, SBtnApply, SBtnOK})
            w->setEnabled(false);
}

void TSettingsWindow::New() {
    if (FLevels.size() >= MaxLevels || FReadOnly)
        return;
    TSettingsItem l;
    for (int n = 1; n <= MaxLevels; ++n)
        if (std::none_of(FLevels.begin(), FLevels.end(),
                         [n](const TSettingsItem& x) { return x.Address == n; })) {
            l.Address = n;
            break;
        }
    l.Name = "New Level";
    l.IP = ParseIPOrZero(EditAddr->text());
    l.Color = DefaultLevelColor(l.Address);
    l.TextColor = 0xFFFFFF;
    FLevels.push_back(l);
    FSelected = static_cast<int>(FLevels.size()) - 1;
    Refresh();
}

void TSettingsWindow::Delete() {
    if (FSelected < 0 || FReadOnly)
        return;
    const int at = FSelected;
    if (msgbox::Show(QStringLiteral("Confirm"),
                     QStringLiteral("Press OK if you want to Delete this item."),
                     msgbox::TIcon::Question, msgbox::TButtons::OkCancel) != msgbox::TAnswer::Ok)
        return;
    // The box's loop may have closed the dialog (polling ended).
    if (FDone || at >= static_cast<int>(FLevels.size()))
        return;
    FLevels.erase(FLevels.begin() + at);
    LBoxGroup->setFocus();
    FSelected = FLevels.empty() ? -1 : std::min(at, static_cast<int>(FLevels.size()) - 1);
    Refresh();
}

void TSettingsWindow::Move(int delta) {
    const int to = FSelected + delta;
    if (FSelected < 0 || to < 0 || to >= static_cast<int>(FLevels.size()) || FReadOnly)
        return;
    std::swap(FLevels[static_cast<std::size_t>(FSelected)], FLevels[static_cast<std::size_t>(to)]);
    FSelected = to;
    Refresh();
}

void TSettingsWindow::PickColor(bool text) {
    if (FSelected < 0 || FReadOnly)
        return;
    const int at = FSelected;
    TColor& target = text ? FLevels[static_cast<std::size_t>(at)].TextColor
                          : FLevels[static_cast<std::size_t>(at)].Color;
    const std::optional<TColor> chosen = pickers::ChooseColor(this, target);
    if (!chosen || FDone || at != FSelected)
        return;
    (text ? FLevels[static_cast<std::size_t>(at)].TextColor
          : FLevels[static_cast<std::size_t>(at)].Color) = *chosen;
    Refresh();
}

bool TSettingsWindow::Save() {
    if (FReadOnly)
        return false;
    std::array<bool, MaxLevels + 1> used{};
    for (int i = 0; i < static_cast<int>(FLevels.size()); ++i) {
        const int a = std::clamp(FLevels[static_cast<std::size_t>(i)].Address, 1, MaxLevels);
        if (used[static_cast<std::size_t>(a)]) {
            FSelected = i;
            Refresh();
            msgbox::Show(QStringLiteral("Error"), QStringLiteral("Duplicated Level number"),
                         msgbox::TIcon::Error);
            CBoxAddress->setFocus();
            return false;
        }
        used[static_cast<std::size_t>(a)] = true;
    }
    for (int i = 0; i < static_cast<int>(FLevels.size()); ++i)
        if (FLevels[static_cast<std::size_t>(i)].IP == 0) {
            FSelected = i;
            Refresh();
            msgbox::Show(QStringLiteral("Error"), QStringLiteral("Invalid IP Address or Host name"),
                         msgbox::TIcon::Error);
            EditAddr->selectAll();
            EditAddr->setFocus();
            return false;
        }
    if (!WriteLevelSet(FFileName.toStdString(), FLevels)) {
        msgbox::Show(QStringLiteral("Error"),
                     QStringLiteral("The level set could not be saved to %1.").arg(FFileName),
                     msgbox::TIcon::Error);
        return false;
    }
    return true;
}

void TSettingsWindow::done(int r) {
    FDone = true;
    QDialog::done(r);
}

bool TSettingsWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Escape) {
            reject();
            return true;
        }
        if (watched == EditAddr && (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) &&
            (k->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0) {
            FAddrPending = true;
            CommitAddress();
            return true;
        }
    } else if (e->type() == QEvent::FocusOut && watched == EditAddr) {
        CommitAddress();
    }
    return QDialog::eventFilter(watched, e);
}

void TSettingsWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(e);
}
