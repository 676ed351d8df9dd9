#include "SalvoSection.h"

#include "MemoryItem.h"
#include "MessageBox.h"
#include "Panel.h"
#include "SalvoDialog.h"
#include "SalvoFile.h"
#include "SpeedButton.h"

#include <QListWidget>

#include <unordered_set>

namespace {

void ShowError(const QString& text) {
    msgbox::Show(QStringLiteral("Error:"), text, msgbox::TIcon::Error);
}

} // namespace

TSalvoSection::TSalvoSection(TSession& session, TRunModal runModal, QWidget* parent)
    : QWidget(parent), FSession(session), FRunModal(std::move(runModal)) {
    setObjectName(QStringLiteral("SalvoSection"));
    FList = new QListWidget(this);
    FList->setObjectName(QStringLiteral("LBoxMemory"));
    FList->setSortingEnabled(true);
    FList->setSelectionMode(QAbstractItemView::SingleSelection);
    FList->setFont(MakeFont("Lucida Console", 12));
    FList->setUniformItemSizes(true);
    FList->setStyleSheet(QStringLiteral("QListWidget { background: white; } "
                                        "QListWidget::item { height: 13px; }"));
    FList->setEnabled(false);
    auto* buttons = new TPanel(this);
    buttons->setObjectName(QStringLiteral("PanelMemoryBtns"));
    buttons->SetBevels(TPanel::TBevel::None, TPanel::TBevel::None);
    FButtons = buttons;
    auto button = [buttons](const char* name, const QString& caption, int x,
                            void (TSalvoSection::*handler)(), TSalvoSection* self) {
        auto* b = new TSpeedButton(buttons);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(caption);
        b->setGeometry(x, 8, 41, 17);
        b->setEnabled(false);
        connect(b, &TSpeedButton::MouseDown, self, [self, handler](Qt::MouseButton m) {
            if (m == Qt::LeftButton)
                (self->*handler)();
        });
        return b;
    };
    FNew = button("SBtnNewSlot", QStringLiteral("New"), 8, &TSalvoSection::NewSalvo, this);
    FSave = button("SBtnSaveSlot", QStringLiteral("Save"), 56, &TSalvoSection::SaveSalvo, this);
    FDelete = button("SBtnDelSlot", QStringLiteral("Del"), 104, &TSalvoSection::DeleteSalvo, this);
    // Save and Del follow the selection however it changes (click, arrow keys, Del).
    connect(FList, &QListWidget::itemClicked, this, &TSalvoSection::ShowButtons);
    connect(FList, &QListWidget::itemSelectionChanged, this, &TSalvoSection::ShowButtons);
    connect(FList, &QListWidget::itemDoubleClicked, this, &TSalvoSection::RecallSelected);
}

void TSalvoSection::Layout(int captionHeight) {
    const int w = width() - 4, h = height();
    FButtons->setGeometry(2, h - 2 - 29, w, 29);
    FList->setGeometry(2, 2 + captionHeight, w, std::max(0, h - 4 - captionHeight - 29));
}

void TSalvoSection::ShowMode(TMode mode, TColor buttonColor) {
    FMode = mode;
    FButtonColor = buttonColor;
    ShowButtons();
}

void TSalvoSection::ShowButtons() {
    const bool preset = FMode == TMode::Preset;
    const bool selected = !FList->selectedItems().isEmpty();
    FList->setEnabled(preset);
    FNew->setEnabled(preset);
    FSave->setEnabled(preset && selected);
    FDelete->setEnabled(preset && selected);
    for (TSpeedButton* b : {FNew, FSave, FDelete})
        b->SetColor(FButtonColor);
}

void TSalvoSection::CancelEdit() {
    if (FDialog)
        FDialog->reject();
}

void TSalvoSection::ShowSalvos() {
    // The list is rebuilt from the session's; the selected salvo stays selected.
    const TMemoryItem* selected = SelectedItem();
    const std::string keep = selected ? selected->Slot.Name : std::string();
    const bool hadSelection = selected != nullptr;
    FList->setSortingEnabled(false);
    FList->clear();
    for (const TMemorySlot& slot : FSession.Salvos()) {
        auto* item = new TMemoryItem(slot);
        FList->addItem(item);
        if (hadSelection && slot.Name == keep)
            item->setSelected(true);
    }
    FList->setSortingEnabled(true);
    ShowButtons();
}

TMemoryItem* TSalvoSection::FindItem(const std::string& name) const {
    for (int i = 0; i < FList->count(); ++i)
        if (auto* item = static_cast<TMemoryItem*>(FList->item(i)); item->Slot.Name == name)
            return item;
    return nullptr;
}

TMemoryItem* TSalvoSection::SelectedItem() const {
    const QList<QListWidgetItem*> selected = FList->selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<TMemoryItem*>(selected.first());
}

bool TSalvoSection::EditSlot(TMemorySlot& slot, bool isNew, const TSlotCommit& commit) {
    TSalvoDialog dialog(window());
    FDialog = &dialog;
    // At the column's left edge, level with the MEMORY section.
    const QWidget* section = parentWidget();
    dialog.move(window()->x() + section->parentWidget()->x(), window()->y() + section->y());
    dialog.SetSlotName(QString::fromStdString(slot.Name));
    const QString folder = FSession.SalvoFolder();
    // Every modal step may end operation or change the matrix (and so the
    // folder and the list): then give up as Cancel, nothing written.
    auto stillHere = [&] {
        return FSession.Mode() == TMode::Preset && FSession.SalvoFolder() == folder;
    };
    auto error = [&](const QString& text) {
        return FRunModal([&] { ShowError(text); }) && stillHere();
    };
    bool filled = false;
    while (FSession.Mode() != TMode::Off) {
        if (BeforeDialog)
            BeforeDialog();
        int result = QDialog::Rejected;
        if (!FRunModal([&] { result = msgbox::ExecDialog(dialog); }) || !stillHere() ||
            result != QDialog::Accepted)
            break;
        const QString shown = dialog.SlotName();
        const std::string name = shown.toStdString();
        const QString nameError = FSession.CheckSalvoName(name, isNew ? nullptr : &slot.Name);
        if (!nameError.isEmpty()) {
            if (!error(nameError))
                break;
            continue;
        }
        std::vector<int> outputs;
        if (dialog.AllOutputs()) {
            for (int o = 0; o < 256; ++o)
                outputs.push_back(o);
        } else if (!salvofile::ParseOutputNumbers(dialog.Numbers().toStdString(), outputs)) {
            if (!error(QStringLiteral("Invalid Output Numbers Selection.")))
                break;
            continue;
        }
        TMemorySlot filledSlot = FSession.SalvoOfPresets(name, outputs);
        filledSlot.FileName = slot.FileName;
        // A salvo that cannot be stored brings the dialog back with the texts
        // as typed, so nothing the operator entered is lost.
        const TCommitResult committed =
            commit ? commit(filledSlot) : TCommitResult{TCommitResult::Done, {}};
        if (committed.Kind == TCommitResult::Failed) {
            if (!error(committed.Error))
                break;
            continue;
        }
        if (committed.Kind == TCommitResult::Done) {
            slot = std::move(filledSlot);
            filled = true;
        }
        break;
    }
    FDialog = nullptr;
    return filled;
}

bool TSalvoSection::ConfirmInPreset(const QString& question) {
    msgbox::TAnswer answer = msgbox::TAnswer::Cancel;
    return FRunModal([&] {
               answer = msgbox::Show(QStringLiteral("Confirm"), question, msgbox::TIcon::Question,
                                     msgbox::TButtons::OkCancel);
           }) &&
           answer == msgbox::TAnswer::Ok && FSession.Mode() == TMode::Preset;
}

void TSalvoSection::NewSalvo() {
    if (FSession.Mode() != TMode::Preset)
        return;
    TMemorySlot slot;
    std::unordered_set<std::string> taken;
    for (const TMemorySlot& listed : FSession.Salvos())
        taken.insert(salvofile::FoldAZ(listed.Name));
    for (int n = 1;; ++n) {
        slot.Name = "New salvo " + std::to_string(n);
        if (!taken.count(salvofile::FoldAZ(slot.Name)))
            break;
    }
    EditSlot(slot, true, [this](const TMemorySlot& filled) {
        QString error;
        if (!FSession.StoreSalvo(filled, nullptr, &error))
            return TCommitResult{TCommitResult::Failed,
                                 QStringLiteral("Cannot save the salvo: ") + error};
        return TCommitResult{TCommitResult::Done, {}};
    });
}

void TSalvoSection::SaveSalvo() {
    TMemoryItem* item = SelectedItem();
    if (FSession.Mode() != TMode::Preset || !item)
        return;
    const std::string oldName = item->Slot.Name;
    TMemorySlot copy = item->Slot;
    copy.FileName.clear(); // saved as <name>.mem
    std::string storedName;
    EditSlot(copy, false, [&](const TMemorySlot& filled) {
        // The question runs an event loop: the salvo may have gone meanwhile.
        if (!ConfirmInPreset(QStringLiteral("Press OK to Save changes")) ||
            !FSession.FindSalvo(oldName))
            return TCommitResult{TCommitResult::Cancelled, {}};
        QString error;
        if (!FSession.StoreSalvo(filled, &oldName, &error))
            return TCommitResult{TCommitResult::Failed,
                                 QStringLiteral("Cannot save the salvo: ") + error};
        storedName = filled.Name;
        return TCommitResult{TCommitResult::Done, {}};
    });
    // The stored salvo stays selected under its new name.
    if (!storedName.empty())
        if (TMemoryItem* stored = FindItem(storedName)) {
            stored->setSelected(true);
            ShowButtons();
        }
}

void TSalvoSection::DeleteSalvo() {
    const TMemoryItem* item = SelectedItem();
    if (FSession.Mode() != TMode::Preset || FList->count() == 0 || !item)
        return;
    const std::string name = item->Slot.Name;
    if (!ConfirmInPreset(QStringLiteral("Press OK if you want to Delete this item.")) ||
        !FSession.FindSalvo(name))
        return;
    QString error;
    if (!FSession.DeleteSalvo(name, &error))
        ShowError(QStringLiteral("Cannot delete the salvo: ") + error);
    ShowButtons();
}

void TSalvoSection::RecallSelected() {
    const TMemoryItem* item = SelectedItem();
    if (FSession.Mode() != TMode::Preset || FList->count() == 0 || !item)
        return;
    FSession.RecallSalvo(item->Slot);
}

bool TSalvoSection::ListKey(const QWidget* receiver, int key) {
    if (receiver != FList || (key != Qt::Key_Return && key != Qt::Key_Enter))
        return false;
    RecallSelected();
    return true;
}
