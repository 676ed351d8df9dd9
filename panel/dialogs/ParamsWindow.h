#pragma once

#include "KeyDialog.h"

#include <QImage>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class TPanel;
class TSpeedButton;

// Control characters (a pasted line break) become blanks: a name is one
// line of a file.
QString BlankControls(const QString& text);
// A name as it is stored: controls blanked, then codes up to 32 trimmed from
// both ends.
QString CleanParamsName(const QString& text);

// Loads a logo picture: a regular file of bounded size that decodes as an
// image; nothing otherwise.
std::optional<QImage> LoadLogoPicture(const QString& path);

// The name and logo of one input or output. Enter closes with OK, Esc with
// Cancel; OK and CANCEL act on the left button only.
class TParamsWindow : public TKeyDialog {
    Q_OBJECT
public:
    explicit TParamsWindow(QWidget* parent = nullptr);

    // Keeps the path even when no such file exists; loads the picture when it does.
    void SetLogoFile(const QString& path);
    const QString& LogoFile() const { return FLogoFile; }
    bool LogoLoaded() const { return FLogo.has_value(); }

    QLabel* STextIconCaption;
    TPanel* PanelLogoBack;
    QWidget* PBoxLogo;
    TSpeedButton* SBtnChange;
    TSpeedButton* SBtnClear;
    QLabel* STextNameCaption;
    QLineEdit* EditName;
    TSpeedButton* SBtnOk;
    TSpeedButton* SBtnCancel;

private:
    void SBtnChangeMouseDown(Qt::MouseButton button);
    void PaintLogo(QWidget* box);

    QString FLogoFile;
    std::optional<QImage> FLogo;
};
