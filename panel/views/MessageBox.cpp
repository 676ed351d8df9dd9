#include "MessageBox.h"

#include "PanelLog.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

namespace msgbox {

namespace {
THandler& Handler() {
    static THandler h;
    return h;
}
TDialogHandler& DialogHandler() {
    static TDialogHandler h;
    return h;
}
} // namespace

void SetDialogHandler(TDialogHandler handler) {
    DialogHandler() = std::move(handler);
}

int ExecDialog(QDialog& dialog) {
    if (DialogHandler())
        return DialogHandler()(dialog);
    return dialog.exec();
}

void SetHandler(THandler handler) {
    Handler() = std::move(handler);
}

void Notify(const QString& caption, const QString& text, TIcon icon) {
    if (icon == TIcon::Error)
        qCWarning(lcUi).noquote() << caption << text;
    if (Handler()) {
        Handler()(TBox{caption, text, icon, TButtons::Ok});
        return;
    }
    auto* mb = new QMessageBox(icon == TIcon::Error ? QMessageBox::Critical : QMessageBox::Warning,
                               caption, text, QMessageBox::Ok, QApplication::activeWindow());
    mb->setAttribute(Qt::WA_DeleteOnClose);
    mb->setModal(false);
    mb->show();
}

TAnswer Show(const QString& caption, const QString& text, TIcon icon, TButtons buttons) {
    const TBox box{caption, text, icon, buttons};
    if (icon == TIcon::Error) // every error report shown to the operator
        qCWarning(lcUi).noquote() << caption << text;
    if (Handler())
        return Handler()(box);

    QMessageBox mb(QApplication::activeWindow());
    mb.setWindowTitle(caption);
    mb.setText(text);
    switch (icon) {
    case TIcon::None:
        mb.setIcon(QMessageBox::NoIcon);
        break;
    case TIcon::Information:
        mb.setIcon(QMessageBox::Information);
        break;
    case TIcon::Warning:
        mb.setIcon(QMessageBox::Warning);
        break;
    case TIcon::Error:
        mb.setIcon(QMessageBox::Critical);
        break;
    case TIcon::Question:
        mb.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case TButtons::Ok:
        mb.setStandardButtons(QMessageBox::Ok);
        break;
    case TButtons::OkCancel:
        mb.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case TButtons::YesNo:
        mb.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    switch (mb.exec()) {
    case QMessageBox::Ok:
        return TAnswer::Ok;
    case QMessageBox::Yes:
        return TAnswer::Yes;
    case QMessageBox::No:
        return TAnswer::No;
    default:
        return TAnswer::Cancel;
    }
}

} // namespace msgbox
