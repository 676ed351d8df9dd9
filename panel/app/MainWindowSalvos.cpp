#include "MainWindow.h"

#include "FieldHover.h"
#include "MemoryItem.h"
#include "MessageBox.h"
#include "Panel.h"
#include "SalvoDialog.h"
#include "SalvoFile.h"

#include <QListWidget>

#include <unordered_set>

namespace {

void ShowError(const QString& text) {
    msgbox::Show(QStringLiteral("Error:"), text, msgbox::TIcon::Error);
}

} // namespace

void TMainWindow::ShowSalvos() {
    // The list is rebuilt from the session's; the selected salvo stays selected.
    const TMemoryItem* selected = SelectedSlotItem();
    const std::string keep = selected ? selected->Slot.Name : std::string();
    const bool hadSelection = selected != nullptr;
    LBoxMemory->setSortingEnabled(false);
    LBoxMemory->clear();
    for (const TMemorySlot& slot : FSession->Salvos()) {
        auto* item = new TMemoryItem(slot);
        LBoxMemory->addItem(item);
        if (hadSelection && slot.Name == keep)
            item->setSelected(true);
    }
    LBoxMemory->setSortingEnabled(true);
    ShowMode();
}

TMemoryItem* TMainWindow::FindSlotItem(const std::string& name) const {
    for (int i = 0; i < LBoxMemory->count(); ++i)
        if (auto* item = static_cast<TMemoryItem*>(LBoxMemory->item(i)); item->Slot.Name == name)
            return item;
    return nullptr;
}

TMemoryItem* TMainWindow::SelectedSlotItem() const {
    const QList<QListWidgetItem*> selected = LBoxMemory->selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<TMemoryItem*>(selected.first());
}

bool TMainWindow::EditSlot(TMemorySlot& slot, bool isNew, const TSlotCommit& commit) {
    TSalvoDialog dialog(this);
    FSalvoDlg = &dialog;
    dialog.move(x() + PanelOperBack->x(), y() + PanelMemoryBack->y());
    dialog.SetSlotName(QString::fromStdString(slot.Name));
    const QString folder = FSession->SalvoFolder();
    // Every modal step may end operation or change the matrix (and so the
    // folder and the list): then give up as Cancel, nothing written.
    auto stillHere = [&] {
        return FSession->Mode() == TMode::Preset && FSession->SalvoFolder() == folder;
    };
    auto error = [&](const QString& text) {
        return RunModal([&] { ShowError(text); }) && stillHere();
    };
    bool filled = false;
    while (FSession->Mode() != TMode::Off) {
        FHover->HideTip();
        int result = QDialog::Rejected;
        if (!RunModal([&] { result = msgbox::ExecDialog(dialog); }) || !stillHere() ||
            result != QDialog::Accepted)
            break;
        const QString shown = dialog.SlotName();
        const std::string name = shown.toStdString();
        const QString nameError = FSession->CheckSalvoName(name, isNew ? nullptr : &slot.Name);
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
        TMemorySlot filledSlot = FSession->SalvoOfPresets(name, outputs);
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
    FSalvoDlg = nullptr;
    return filled;
}

bool TMainWindow::ConfirmInPreset(const QString& question) {
    msgbox::TAnswer answer = msgbox::TAnswer::Cancel;
    return RunModal([&] {
               answer = msgbox::Show(QStringLiteral("Confirm"), question, msgbox::TIcon::Question,
                                     msgbox::TButtons::OkCancel);
           }) &&
           answer == msgbox::TAnswer::Ok && FSession->Mode() == TMode::Preset;
}

void TMainWindow::NewSalvo() {
    if (FSession->Mode() != TMode::Preset)
        return;
    TMemorySlot slot;
    std::unordered_set<std::string> taken;
    for (const TMemorySlot& listed : FSession->Salvos())
        taken.insert(salvofile::FoldAZ(listed.Name));
    for (int n = 1;; ++n) {
        slot.Name = "New salvo " + std::to_string(n);
        if (!taken.count(salvofile::FoldAZ(slot.Name)))
            break;
    }
    EditSlot(slot, true, [this](const TMemorySlot& filled) {
        QString error;
        if (!FSession->StoreSalvo(filled, nullptr, &error))
            return TCommitResult{TCommitResult::Failed,
                                 QStringLiteral("Cannot save the salvo: ") + error};
        return TCommitResult{TCommitResult::Done, {}};
    });
}

void TMainWindow::SaveSalvo() {
    TMemoryItem* item = SelectedSlotItem();
    if (FSession->Mode() != TMode::Preset || !item)
        return;
    const std::string oldName = item->Slot.Name;
    TMemorySlot copy = item->Slot;
    copy.FileName.clear(); // saved as <name>.mem
    std::string storedName;
    EditSlot(copy, false, [&](const TMemorySlot& filled) {
        // The question runs an event loop: the salvo may have gone meanwhile.
        if (!ConfirmInPreset(QStringLiteral("Press OK to Save changes")) ||
            !FSession->FindSalvo(oldName))
            return TCommitResult{TCommitResult::Cancelled, {}};
        QString error;
        if (!FSession->StoreSalvo(filled, &oldName, &error))
            return TCommitResult{TCommitResult::Failed,
                                 QStringLiteral("Cannot save the salvo: ") + error};
        storedName = filled.Name;
        return TCommitResult{TCommitResult::Done, {}};
    });
    // The stored salvo stays selected under its new name.
    if (!storedName.empty())
        if (TMemoryItem* stored = FindSlotItem(storedName)) {
            stored->setSelected(true);
            ShowMode();
        }
}

void TMainWindow::DeleteSalvo() {
    const TMemoryItem* item = SelectedSlotItem();
    if (FSession->Mode() != TMode::Preset || LBoxMemory->count() == 0 || !item)
        return;
    const std::string name = item->Slot.Name;
    if (!ConfirmInPreset(QStringLiteral("Press OK if you want to Delete this item.")) ||
        !FSession->FindSalvo(name))
        return;
    QString error;
    if (!FSession->DeleteSalvo(name, &error))
        ShowError(QStringLiteral("Cannot delete the salvo: ") + error);
    ShowMode();
}

void TMainWindow::RecallSelectedSalvo() {
    const TMemoryItem* item = SelectedSlotItem();
    if (FSession->Mode() != TMode::Preset || LBoxMemory->count() == 0 || !item)
        return;
    FSession->RecallSalvo(item->Slot);
}

bool TMainWindow::SalvoListKey(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    RecallSelectedSalvo();
    return true;
}
