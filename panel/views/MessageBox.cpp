#include "MessageBox.h"

#include "LogCategories.h"
#include "ScreenFit.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

#include <algorithm>

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

QString Breakable(const QString& text, int longestRun) {
    // A zero-width space lets the box wrap a long path or name; after a '/' where
    // there is one, else after longestRun characters.
    const QChar zeroWidthSpace(0x200B);
    QString out;
    out.reserve(text.size() + text.size() / std::max(longestRun, 1) + 8);
    int run = 0;
    for (const QChar c : text) {
        out += c;
        run = c.isSpace() ? 0 : run + 1;
        if (run > 0 && (c == QLatin1Char('/') || run >= longestRun)) {
            out += zeroWidthSpace;
            run = 0;
        }
    }
    return out;
}

void SetDialogHandler(TDialogHandler handler) {
    DialogHandler() = std::move(handler);
}

int ExecDialog(QDialog& dialog) {
    // A dialog its caller placed by a rule comes back inside the screen; one
    // left unplaced is centred over its parent by Qt, which keeps it inside too.
    if (dialog.testAttribute(Qt::WA_Moved))
        screenfit::KeepInside(dialog);
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
                               caption, QString(), QMessageBox::Ok, QApplication::activeWindow());
    // Texts carry names and paths from devices and files: never rich text.
    mb->setTextFormat(Qt::PlainText);
    mb->setText(Breakable(text));
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
    mb.setTextFormat(Qt::PlainText);
    mb.setText(Breakable(text));
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
