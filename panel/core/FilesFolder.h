#pragma once

#include <QString>

// The folder of the panel's files (INI, level set, Memory/, operator's log):
// beside the program whenever that folder is writable (a portable install, the
// build tree); otherwise configFolder, created and seeded on first use with
// any copies of those files found beside the program.
QString PanelFilesFolder(const QString& programFolder, const QString& configFolder,
                         const QString& baseName, bool programFolderWritable);

// The INI file and level set a program without a window uses: those given
// (empty: not given), else the panel's as the panel finds them; the level set
// defaults to the INI file's name with ".set".
struct TPanelFileNames {
    QString IniFile, LevelSetFile;
};
TPanelFileNames FindPanelFiles(const QString& iniGiven, const QString& levelSetGiven);
