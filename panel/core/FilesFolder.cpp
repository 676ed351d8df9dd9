#include "FilesFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// Copies what the target lacks; never overwrites the user's files.
void Seed(const QString& from, const QString& to) {
    const QFileInfo source(from);
    if (source.isDir()) {
        QDir().mkpath(to);
        const QDir dir(from);
        for (const QString& name : dir.entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
            Seed(dir.filePath(name), QDir(to).filePath(name));
    } else if (source.isFile() && !QFileInfo::exists(to)) {
        QFile::copy(from, to);
    }
}

} // namespace

QString PanelFilesFolder(const QString& programFolder, const QString& configFolder,
                         const QString& baseName, bool programFolderWritable) {
    if (programFolderWritable || configFolder.isEmpty())
        return programFolder;
    QDir().mkpath(configFolder);
    const QDir program(programFolder), config(configFolder);
    for (const QString& name : {baseName + QStringLiteral(".ini"),
                                baseName + QStringLiteral(".set"), QStringLiteral("Memory")})
        Seed(program.filePath(name), config.filePath(name));
    return configFolder;
}

TPanelFileNames FindPanelFiles(const QString& iniGiven, const QString& levelSetGiven) {
    TPanelFileNames names;
    names.IniFile = iniGiven;
    if (names.IniFile.isEmpty()) {
        const QString programFolder = QCoreApplication::applicationDirPath();
        names.IniFile =
            PanelFilesFolder(
                programFolder,
                QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                    QStringLiteral("/matrixpanel"),
                QStringLiteral("matrixpanel"), QFileInfo(programFolder).isWritable()) +
            QStringLiteral("/matrixpanel.ini");
    }
    names.LevelSetFile = levelSetGiven;
    if (names.LevelSetFile.isEmpty()) {
        QString base = names.IniFile;
        if (base.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
            base.chop(4);
        names.LevelSetFile = base + QStringLiteral(".set");
    }
    return names;
}
