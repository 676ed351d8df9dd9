#pragma once

#include <QDialog>

class QKeyEvent;

// A dialog that sees every key before its controls: Enter runs EnterPressed
// (OK by default), Esc closes with Cancel.
class TKeyDialog : public QDialog {
    Q_OBJECT
public:
    using QDialog::QDialog;

protected:
    // Routes the keys of every child created so far through the dialog.
    void WatchChildKeys();
    virtual void EnterPressed() { accept(); }
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    bool HandleKey(QKeyEvent* e);
};
