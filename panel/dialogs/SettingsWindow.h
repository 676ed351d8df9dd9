#pragma once

#include "LevelSetFile.h"

#include <QDialog>
#include <QString>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class TPanel;
class TSpeedButton;

// The Level box entries for a list using these level numbers.
QStringList LevelBoxEntries(const std::vector<TSettingsItem>& levels);
// One line of the level list: "1: Studio A (Level: 2) - 192.168.0.10".
QString LevelLine(int position, const TSettingsItem& level);
// Colour of a new level with this level number.
TColor DefaultLevelColor(int address);
// The packed address of a dotted IPv4 text; 0 for anything else.
std::int32_t ParseIPOrZero(const QString& text);

// "Settings": edits the level set file. Modal; reads the file when created
// and writes it only after a successful validation (APPLY, OK).
class TSettingsWindow : public QDialog {
    Q_OBJECT
public:
    TSettingsWindow(const QString& levelSetFile, QWidget* parent = nullptr);

    // While the panel operates the dialog only shows the levels.
    void SetReadOnly(bool on);
    const std::vector<TSettingsItem>& Levels() const { return FLevels; }
    int Selected() const { return FSelected; }
    void Select(int index);

    TPanel* PanelOptionsBack;
    TPanel* PanelBtnsBack;
    QListWidget* LBoxGroup;
    TSpeedButton *SBtnAdd, *SBtnDelete, *SBtnUp, *SBtnDown;
    QLineEdit* EditAddr;
    QComboBox* CBoxAddress;
    QLineEdit* EditName;
    QLabel *ShapeColor, *ShapeTextColor;
    TSpeedButton *SBtnColor, *SBtnTextColor;
    TSpeedButton *SBtnApply, *SBtnOK, *SBtnCancel;

    // Closing, also by the program while a box or picker of ours is open.
    void done(int r) override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Refresh();
    void CommitAddress();
    void New();
    void Delete();
    void Move(int delta);
    void PickColor(bool text);
    // Validates and writes the file; false (after telling why) when not saved.
    bool Save();
    void ConnectButton(TSpeedButton* b, TPanel* focusTarget, const std::function<void()>& act);

    QString FFileName;
    std::vector<TSettingsItem> FLevels;
    int FSelected = -1;
    bool FReadOnly = false;
    bool FAddrPending = false;
    bool FDone = false;
};
