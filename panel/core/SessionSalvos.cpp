#include "Session.h"

#include "LogCategories.h"
#include "SafeFile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

std::string SlotPath(const QString& folder, const TMemorySlot& slot) {
    return QFile::encodeName(folder).toStdString() +
           (slot.FileName.empty() ? slot.Name + salvofile::Extension : slot.FileName);
}

// The longest file name the folder's file system takes, in bytes.
long NameMaxIn(const QString& folder) {
    const long n = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return n > 0 ? n : 255;
}

// By name ignoring case, then by the exact text, as the list shows them.
bool ListedBefore(const TMemorySlot& a, const TMemorySlot& b) {
    const QString x = QString::fromStdString(a.Name), y = QString::fromStdString(b.Name);
    const int c = x.compare(y, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : x < y;
}

} // namespace

void TSession::RemoveUnfinishedSaves() {
    for (const std::string& name : safefile::RemoveStaleTemporaries(FSalvoFolder.toStdString()))
        qCWarning(lcFiles).noquote() << "Removed an unfinished save:"
                                     << QDir(FSalvoFolder).filePath(QString::fromStdString(name));
}

void TSession::PrepareSalvoFolder(bool now) {
    FSalvoFolder = QString::fromStdString(
        salvofile::FolderFor(FFolder.toStdString(), FCross.Inputs(), FCross.Outputs()));
    if (QFileInfo(FSalvoFolder).isDir())
        return; // a folder that exists is never refilled
    if (now || SizeSettleMs <= 0) {
        CreateSalvoFolder(now);
        return;
    }
    // A new size gets its folder once it has held for a while: a switcher
    // flapping its size must not fill the disk with folders of default salvos.
    if (FFolderTimer->isActive() && !FUnstableSizeReported) {
        FUnstableSizeReported = true;
        qCWarning(lcFiles).noquote()
            << "The matrix size changes before it holds for" << SizeSettleMs
            << "ms; a new size gets its salvo folder only once it holds";
    }
    FPendingSalvoFolder = FSalvoFolder;
    FFolderTimer->start(SizeSettleMs);
}

void TSession::SalvoFolderSettled() {
    if (FPendingSalvoFolder != FSalvoFolder || QFileInfo(FSalvoFolder).isDir())
        return;
    if (CreateSalvoFolder(false))
        LoadSalvos();
}

bool TSession::CreateSalvoFolder(bool asked) {
    if (!asked) {
        const QStringList sizes = QDir(QDir::cleanPath(FSalvoFolder + QStringLiteral("/..")))
                                      .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (sizes.size() >= MaxNewSalvoFolders) {
            if (!FSalvoFoldersExhaustedReported)
                qCWarning(lcFiles).noquote()
                    << "The memory folder holds" << sizes.size()
                    << "size folders: a new size gets one only when a salvo is stored for it";
            FSalvoFoldersExhaustedReported = true;
            return false;
        }
    }
    if (NewSalvoFoldersLeft <= 0) {
        if (!FSalvoFoldersExhaustedReported)
            qCWarning(lcFiles).noquote() << "No more salvo folders are created in this run ("
                                         << MaxNewSalvoFolders << "new matrix sizes met)";
        FSalvoFoldersExhaustedReported = true;
        return false;
    }
    if (!QDir().mkpath(FSalvoFolder)) {
        qCWarning(lcFiles).noquote() << "Cannot create the salvo folder" << FSalvoFolder;
        return false;
    }
    --NewSalvoFoldersLeft;
    for (const TMemorySlot& slot : salvofile::DefaultSalvos(FCross.Inputs())) {
        std::string why;
        if (!safefile::Save(SlotPath(FSalvoFolder, slot), salvofile::Encode(slot), &why))
            qCWarning(lcFiles).noquote() << "Cannot save the default salvo"
                                         << QString::fromStdString(slot.Name) << why.c_str();
    }
    return true;
}

void TSession::ListSalvos() {
    FSalvoFolder = QString::fromStdString(
        salvofile::FolderFor(FFolder.toStdString(), FCross.Inputs(), FCross.Outputs()));
    if (QFileInfo(FSalvoFolder).isDir()) {
        LoadSalvos(/*tidy*/ false);
        return;
    }
    FSalvos = salvofile::DefaultSalvos(FCross.Inputs());
    SortSalvos();
    Q_EMIT SalvosChanged();
}

void TSession::SortSalvos() {
    std::stable_sort(FSalvos.begin(), FSalvos.end(), ListedBefore);
}

void TSession::LoadSalvos(bool tidy) {
    // Without the current folder nothing may stay listed: a salvo of another
    // matrix size must never be recalled onto this one.
    FSalvos.clear();
    if (!FSalvoFolder.isEmpty() && QFileInfo(FSalvoFolder).isDir()) {
        if (tidy)
            RemoveUnfinishedSaves();
        const std::string folder = QFile::encodeName(FSalvoFolder).toStdString();
        std::vector<std::string> files = salvofile::SalvoFileNames(folder);
        if (files.size() > salvofile::MaxListed) {
            qCWarning(lcFiles).noquote()
                << files.size() << "salvo files in" << FSalvoFolder << "; only the first"
                << salvofile::MaxListed << "by name are listed";
            files.resize(salvofile::MaxListed);
        }
        for (const std::string& file : files) {
            // Listed under its name as it reads (an undecodable byte shows as a
            // replacement character); the file keeps its real name for Save and Del.
            TMemorySlot slot;
            slot.Name = QString::fromUtf8(file.data(), qsizetype(file.size()) - 4).toStdString();
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
            FSalvos.push_back(std::move(slot));
        }
        SortSalvos();
    }
    Q_EMIT SalvosChanged();
}

const TMemorySlot* TSession::FindSalvo(const std::string& name) const {
    for (const TMemorySlot& slot : FSalvos)
        if (slot.Name == name)
            return &slot;
    return nullptr;
}

bool TSession::StoreSalvo(const TMemorySlot& slot, const std::string* replaces, QString* error) {
    if (!QFileInfo(FSalvoFolder).isDir())
        PrepareSalvoFolder(/*now*/ true); // the operator stores a salvo: the size is wanted
    std::string why;
    const std::string path = SlotPath(FSalvoFolder, slot);
    if (!safefile::Save(path, salvofile::Encode(slot), &why)) {
        if (error)
            *error = QFile::decodeName(path.c_str()) + QStringLiteral(": ") +
                     QString::fromStdString(why);
        return false;
    }
    // The new file first; the old one goes only once the new one is safe.
    const TMemorySlot* old = replaces ? FindSalvo(*replaces) : nullptr;
    if (old && SlotPath(FSalvoFolder, *old) != path) {
        if (::unlink(SlotPath(FSalvoFolder, *old).c_str()) != 0 && errno != ENOENT)
            qCWarning(lcFiles).noquote()
                << "Cannot remove the old salvo file"
                << QFile::decodeName(SlotPath(FSalvoFolder, *old).c_str()) << std::strerror(errno);
    }
    if (old)
        FSalvos.erase(FSalvos.begin() + (old - FSalvos.data()));
    FSalvos.push_back(slot);
    FSalvos.back().FileName.clear();
    SortSalvos();
    Q_EMIT SalvosChanged();
    return true;
}

bool TSession::DeleteSalvo(const std::string& name, QString* error) {
    const TMemorySlot* slot = FindSalvo(name);
    if (!slot)
        return true;
    // By its bytes: a file whose name is not UTF-8 is still the one removed.
    const std::string path = SlotPath(FSalvoFolder, *slot);
    if (QFileInfo(FSalvoFolder).isDir() && ::unlink(path.c_str()) != 0 && errno != ENOENT) {
        if (error)
            *error = QFile::decodeName(path.c_str()) + QStringLiteral(": ") +
                     QString::fromLocal8Bit(std::strerror(errno));
        LoadSalvos(); // show what is on disk
        return false;
    }
    FSalvos.erase(FSalvos.begin() + (slot - FSalvos.data()));
    Q_EMIT SalvosChanged();
    return true;
}

void TSession::RecallSalvo(const TMemorySlot& slot, bool log) {
    // A forced write: every level, whatever CONTROL and the locks say. A file
    // may name inputs the current matrix does not have: such a level keeps
    // its preset, so nothing outside the matrix reaches the wire.
    const int inputs = FCross.Inputs(), outputs = FCross.Outputs();
    int skipped = 0;
    // What the matrix cannot hold is kept for the TAKE's list of what it leaves out.
    FRecallLeftOut.clear();
    const int levels = std::min(FCross.LevelCount(), FLevels.Count);
    // "All Outputs" stores outputs 1 to 256 whatever the matrix: those beyond
    // it are the scope, not routes the operator asked for.
    bool allOutputs = slot.Count == 256;
    for (int i = 0; allOutputs && i < 256; ++i)
        allOutputs = slot.Outputs[static_cast<std::size_t>(i)] == i;
    for (int i = 0; i < std::clamp(slot.Count, 0, TMemorySlot::MaxEntries); ++i) {
        const int output = slot.Outputs[static_cast<std::size_t>(i)];
        const TLevelValues& wanted = slot.Sources[static_cast<std::size_t>(i)];
        if (output < 0 || output >= outputs) {
            if (allOutputs)
                continue;
            for (int k = 1; k <= levels; ++k)
                FRecallLeftOut.push_back(
                    {output, k, wanted[static_cast<std::size_t>(k - 1)], THold::OutsideMatrix});
            continue;
        }
        TLevelValues preset = FCross.State().Preset(output);
        for (std::size_t k = 0; k < preset.size(); ++k) {
            if (wanted[k] >= 0 && wanted[k] < inputs) {
                preset[k] = wanted[k];
            } else if (static_cast<int>(k) < FLevels.Count) {
                ++skipped;
                if (static_cast<int>(k) < levels)
                    FRecallLeftOut.push_back(
                        {output, static_cast<int>(k) + 1, wanted[k], THold::OutsideMatrix});
            }
        }
        FCross.ApplyPreset(output, preset, true);
    }
    if (skipped > 0)
        qCWarning(lcFiles).noquote() << "Salvo" << QString::fromStdString(slot.Name) << ":"
                                     << skipped << "preset(s) name inputs outside the" << inputs
                                     << "x" << outputs << "matrix and were left as they were";
    if (log)
        Log(QStringLiteral("SALVO RECALL"), QStringLiteral("\"%1\", %2 outputs preset")
                                                .arg(QString::fromStdString(slot.Name))
                                                .arg(slot.Count));
}

QString TSession::CheckSalvoName(const std::string& name, const std::string* ownName) const {
    const std::string folded = salvofile::FoldAZ(name);
    const bool own = ownName && folded == salvofile::FoldAZ(salvofile::TrimControls(*ownName));
    if (!own)
        for (const TMemorySlot& slot : FSalvos)
            if (salvofile::FoldAZ(slot.Name) == folded)
                return QStringLiteral("Duplicated Salvo Name: ") + QString::fromStdString(name);
    if (!salvofile::ValidSalvoName(name))
        return QStringLiteral("Invalid Salvo Name.");
    const std::size_t longest =
        salvofile::LongestSalvoName(NameMaxIn(FSalvoFolder.isEmpty() ? FFolder : FSalvoFolder));
    if (name.size() > longest)
        return QStringLiteral("Invalid Salvo Name: longer than the %1 bytes a file name may "
                              "have here.")
            .arg(longest);
    return {};
}

TMemorySlot TSession::SalvoOfPresets(const std::string& name,
                                     const std::vector<int>& outputs) const {
    TMemorySlot slot;
    slot.Name = name;
    slot.Count =
        static_cast<std::int32_t>(std::min<std::size_t>(outputs.size(), TMemorySlot::MaxEntries));
    for (int i = 0; i < slot.Count; ++i) {
        slot.Outputs[static_cast<std::size_t>(i)] = outputs[static_cast<std::size_t>(i)];
        slot.Sources[static_cast<std::size_t>(i)] =
            FCross.State().Preset(outputs[static_cast<std::size_t>(i)]);
    }
    return slot;
}
