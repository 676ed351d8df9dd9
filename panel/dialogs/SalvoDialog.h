#pragma once

#include "KeyDialog.h"

class QLineEdit;
class QRadioButton;
class TSpeedButton;

// "Edit Salvo": the name of a salvo and its scope, all outputs or a list of
// output numbers. Enter trims both texts and closes with OK; Esc, CANCEL and
// the close box close with Cancel.
class TSalvoDialog : public TKeyDialog {
    Q_OBJECT
public:
    explicit TSalvoDialog(QWidget* parent = nullptr);

    QString SlotName() const;
    void SetSlotName(const QString& name);
    QString Numbers() const;
    void SetNumbers(const QString& numbers);
    bool AllOutputs() const;

    QLineEdit* EditSlotName;
    QRadioButton* RBtnAll;
    QRadioButton* RBtnNumbers;
    QLineEdit* EditNumbers;
    TSpeedButton* SBtnOK;
    TSpeedButton* SBtnCancel;

protected:
    void EnterPressed() override { AcceptTrimmed(); }

private:
    // Enter and OK: trim the texts (codes up to 32 at both ends) and accept.
    void AcceptTrimmed();
};
