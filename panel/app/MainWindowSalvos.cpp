#include "MainWindow.h"

#include "OperatorLog.h"

#include "Field.h"
#include "LogCategories.h"
#include "MemoryItem.h"
#include "MessageBox.h"
#include "Panel.h"
#include "SafeFile.h"
#include "SalvoDialog.h"
#include "SalvoFile.h"
#include "TipForm.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <unordered_set>

namespace {

void ShowError(const QString& text) {
    msgbox::Show(QStringLiteral("Error:"), text, msgbox::TIcon::Error);
}

std::string SlotPath(const QString& folder, const TMemorySlot& slot) {
    return folder.toStdString() +
           (slot.FileName.empty() ? slot.Name + salvofile::Extension : slot.FileName);
}

// The longest file name the folder's file system takes, in bytes.
long NameMaxIn(const QString& folder) {
    const long n = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return n > 0 ? n : 255;
}

} // namespace

void TMainWindow::RemoveUnfinishedSaves(const QString& folder) {
    for (const std::string& name : safefile::RemoveStaleTemporaries(folder.toStdString()))
        qCWarning(lcFiles).noquote()
            << "Removed an unfinished save:" << QDir(folder).filePath(QString::fromStdString(name));
}

void TMainWindow::PrepareMemoryDir(bool now) {
    const QString base = QFileInfo(FIniFileName).absolutePath();
    FMemoryDir = QString::fromStdString(
        salvofile::FolderFor(base.toStdString(), Field->GetInputCount(), Field->GetOutputCount()));
    if (QFileInfo(FMemoryDir).isDir())
        return; // a folder that exists is never refilled
    if (now || FSizeSettleMs <= 0) {
        CreateMemoryDir();
        return;
    }
    // A new size gets its folder once it has held for a while: a switcher
    // flapping its size must not fill the disk with folders of default salvos.
    if (FFolderTimer->isActive() && !FUnstableSizeReported) {
        FUnstableSizeReported = true;
        qCWarning(lcFiles).noquote()
            << "The matrix size changes before it holds for" << FSizeSettleMs
            << "ms; a new size gets its salvo folder only once it holds";
    }
    FPendingMemoryDir = FMemoryDir;
    FFolderTimer->start(FSizeSettleMs);
}

void TMainWindow::MemoryDirSettled() {
    if (FPendingMemoryDir != FMemoryDir || QFileInfo(FMemoryDir).isDir())
        return;
    if (CreateMemoryDir())
        LoadMemory();
}

bool TMainWindow::CreateMemoryDir() {
    if (FNewMemoryDirsLeft <= 0) {
        if (!FMemoryDirsExhaustedReported)
            qCWarning(lcFiles).noquote() << "No more salvo folders are created in this run ("
                                         << MaxNewMemoryDirs << "new matrix sizes met)";
        FMemoryDirsExhaustedReported = true;
        return false;
    }
    if (!QDir().mkpath(FMemoryDir)) {
        qCWarning(lcFiles).noquote() << "Cannot create the salvo folder" << FMemoryDir;
        return false;
    }
    --FNewMemoryDirsLeft;
    for (const TMemorySlot& slot : salvofile::DefaultSalvos(Field->GetInputCount()))
        SaveSlotFile(slot);
    return true;
}

void TMainWindow::LoadMemory() {
    // Without the current folder nothing may stay listed: a salvo of another
    // matrix size must never be recalled onto this one.
    LBoxMemory->clear();
    if (FMemoryDir.isEmpty() || !QFileInfo(FMemoryDir).isDir())
        return;
    RemoveUnfinishedSaves(FMemoryDir);
    const std::string folder = QFile::encodeName(FMemoryDir).toStdString();
    std::vector<std::string> files = salvofile::SalvoFileNames(folder);
    if (files.size() > salvofile::MaxListed) {
        qCWarning(lcFiles).noquote()
            << files.size() << "salvo files in" << FMemoryDir << "; only the first"
            << salvofile::MaxListed << "by name are listed";
        files.resize(salvofile::MaxListed);
    }
    for (const std::string& file : files) {
        // Listed under its name as it reads (an undecodable byte shows as a
        // replacement character); the file keeps its real name for Save and Del.
        TMemorySlot slot;
        const QString name = QString::fromUtf8(file.data(), qsizetype(file.size()) - 4);
        slot.Name = name.toStdString();
        if (slot.Name + salvofile::Extension != file)
            slot.FileName = file;
        std::string bytes, why;
        if (!safefile::ReadRegular(folder + file, salvofile::FileBytes, bytes, &why) ||
            !salvofile::Decode(bytes, slot, &why)) {
            qCWarning(lcFiles).noquote()
                << "Skipped the salvo file" << QFile::decodeName((folder + file).c_str()) << "("
                << why.c_str() << ")";
            continue;
        }
        LBoxMemory->addItem(new TMemoryItem(std::move(slot)));
    }
    LBoxMemory->sortItems();
}

bool TMainWindow::SaveSlotFile(const TMemorySlot& slot, QString* error) {
    if (!QFileInfo(FMemoryDir).isDir())
        PrepareMemoryDir(/*now*/ true); // the operator stores a salvo: the size is wanted
    std::string why;
    if (safefile::Save(SlotPath(FMemoryDir, slot), salvofile::Encode(slot), &why))
        return true;
    if (error)
        *error = QString::fromStdString(SlotPath(FMemoryDir, slot) + ": " + why);
    return false;
}

bool TMainWindow::DeleteSlotFile(const TMemorySlot& slot, QString* error) {
    if (!QFileInfo(FMemoryDir).isDir())
        return true;
    // By its bytes: a file whose name is not UTF-8 is still the one removed.
    const std::string path = SlotPath(FMemoryDir, slot);
    if (::unlink(path.c_str()) == 0 || errno == ENOENT)
        return true;
    if (error)
        *error = QFile::decodeName(path.c_str()) + QStringLiteral(": ") +
                 QString::fromLocal8Bit(std::strerror(errno));
    return false;
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
    const QString folder = FMemoryDir;
    // Every modal step may end operation or change the matrix (and so the
    // folder and the list): then give up as Cancel, nothing written.
    auto stillHere = [&] { return FMode == 2 && FMemoryDir == folder; };
    auto error = [&](const QString& text) {
        return RunModal([&] { ShowError(text); }) && stillHere();
    };
    const std::size_t longest = salvofile::LongestSalvoName(
        NameMaxIn(folder.isEmpty() ? QFileInfo(FIniFileName).absolutePath() : folder));
    bool filled = false;
    while (FMode != 0) {
        if (Tip && Tip->width() != 0)
            HideHover();
        int result = QDialog::Rejected;
        if (!RunModal([&] { result = msgbox::ExecDialog(dialog); }) || !stillHere() ||
            result != QDialog::Accepted)
            break;
        const QString shown = dialog.SlotName();
        const std::string name = shown.toStdString();
        const std::string folded = salvofile::FoldAZ(name);
        const bool ownName =
            !isNew && folded == salvofile::FoldAZ(salvofile::TrimControls(slot.Name));
        bool duplicate = false;
        for (int i = 0; i < LBoxMemory->count() && !ownName && !duplicate; ++i)
            duplicate = salvofile::FoldAZ(LBoxMemory->item(i)->text().toStdString()) == folded;
        if (duplicate) {
            if (!error(QStringLiteral("Duplicated Salvo Name: ") + shown))
                break;
            continue;
        }
        if (!salvofile::ValidSalvoName(name)) {
            if (!error(QStringLiteral("Invalid Salvo Name.")))
                break;
            continue;
        }
        if (name.size() > longest) {
            if (!error(QStringLiteral("Invalid Salvo Name: longer than the %1 bytes a file name "
                                      "may have here.")
                           .arg(longest)))
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
        TMemorySlot filledSlot = slot;
        filledSlot.Name = name;
        filledSlot.Count = static_cast<std::int32_t>(outputs.size());
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            filledSlot.Outputs[i] = outputs[i];
            filledSlot.Sources[i] = Field->GetPreset(outputs[i]);
        }
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
           answer == msgbox::TAnswer::Ok && FMode == 2;
}

void TMainWindow::SBtnNewSlotMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton || FMode != 2)
        return;
    TMemorySlot slot;
    std::unordered_set<std::string> taken;
    for (int i = 0; i < LBoxMemory->count(); ++i)
        taken.insert(salvofile::FoldAZ(LBoxMemory->item(i)->text().toStdString()));
    for (int n = 1;; ++n) {
        slot.Name = "New salvo " + std::to_string(n);
        if (!taken.count(salvofile::FoldAZ(slot.Name)))
            break;
    }
    const bool stored = EditSlot(slot, true, [this](const TMemorySlot& filled) {
        QString error;
        if (!SaveSlotFile(filled, &error))
            return TCommitResult{TCommitResult::Failed,
                                 QStringLiteral("Cannot save the salvo: ") + error};
        return TCommitResult{TCommitResult::Done, {}};
    });
    if (!stored)
        return;
    LBoxMemory->addItem(new TMemoryItem(std::move(slot)));
    LBoxMemory->sortItems();
    SetMode(FMode);
}

void TMainWindow::SBtnSaveSlotMouseDown(Qt::MouseButton button) {
    TMemoryItem* item = SelectedSlotItem();
    if (button != Qt::LeftButton || FMode != 2 || !item)
        return;
    const TMemorySlot old = item->Slot;
    TMemorySlot copy = old;
    copy.FileName.clear(); // saved as <name>.mem
    const bool stored = EditSlot(copy, false, [&](const TMemorySlot& filled) {
        if (!ConfirmInPreset(QStringLiteral("Press OK to Save changes")) || !FindSlotItem(old.Name))
            return TCommitResult{TCommitResult::Cancelled, {}};
        // The new file first; the old one goes only once the new one is safe.
        QString error;
        if (!SaveSlotFile(filled, &error))
            return TCommitResult{TCommitResult::Failed,
                                 QStringLiteral("Cannot save the salvo: ") + error};
        if (SlotPath(FMemoryDir, filled) != SlotPath(FMemoryDir, old) &&
            !DeleteSlotFile(old, &error))
            qCWarning(lcFiles).noquote() << "Cannot remove the old salvo file" << error;
        return TCommitResult{TCommitResult::Done, {}};
    });
    if (!stored)
        return;
    item = FindSlotItem(old.Name); // the dialog and the question ran event loops
    if (item) {
        item->setText(QString::fromStdString(copy.Name));
        item->Slot = std::move(copy);
    }
    LBoxMemory->sortItems();
    SetMode(FMode);
}

void TMainWindow::SBtnDelSlotMouseDown(Qt::MouseButton button) {
    TMemoryItem* item = SelectedSlotItem();
    if (button != Qt::LeftButton || FMode != 2 || LBoxMemory->count() == 0 || !item)
        return;
    const std::string name = item->Slot.Name;
    if (!ConfirmInPreset(QStringLiteral("Press OK if you want to Delete this item.")))
        return;
    item = FindSlotItem(name);
    if (!item)
        return;
    QString error;
    if (!DeleteSlotFile(item->Slot, &error)) {
        ShowError(QStringLiteral("Cannot delete the salvo: ") + error);
        LoadMemory(); // show what is on disk
    } else {
        delete item;
    }
    SetMode(FMode);
}

void TMainWindow::LBoxMemoryClick() {
    SetMode(FMode);
}

void TMainWindow::LBoxMemoryDblClick() {
    const TMemoryItem* item = SelectedSlotItem();
    if (FMode != 2 || LBoxMemory->count() == 0 || !item)
        return;
    // A forced write: every level of the field, whatever CONTROL and the locks
    // say. A file may name inputs the current matrix does not have: such a
    // level keeps its preset, so nothing outside the matrix reaches the wire.
    const TMemorySlot& slot = item->Slot;
    const int inputs = Field->GetInputCount(), outputs = Field->GetOutputCount();
    int skipped = 0;
    for (int i = 0; i < slot.Count; ++i) {
        const int output = slot.Outputs[static_cast<std::size_t>(i)];
        if (output < 0 || output >= outputs)
            continue;
        const TLevelValues& wanted = slot.Sources[static_cast<std::size_t>(i)];
        TLevelValues preset = Field->GetPreset(output);
        for (std::size_t k = 0; k < preset.size(); ++k) {
            if (wanted[k] >= 0 && wanted[k] < inputs)
                preset[k] = wanted[k];
            else if (static_cast<int>(k) < FLevelCount)
                ++skipped;
        }
        Field->SetPreset(output, preset);
    }
    if (skipped > 0)
        qCWarning(lcFiles).noquote() << "Salvo" << QString::fromStdString(slot.Name) << ":"
                                     << skipped << "preset(s) name inputs outside the" << inputs
                                     << "x" << outputs << "matrix and were left as they were";
    if (FOperatorLog)
        FOperatorLog->Append(QStringLiteral("SALVO RECALL"),
                             QStringLiteral("\"%1\", %2 outputs preset")
                                 .arg(QString::fromStdString(slot.Name))
                                 .arg(slot.Count));
}

bool TMainWindow::LBoxMemoryKeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    LBoxMemoryDblClick();
    return true;
}
