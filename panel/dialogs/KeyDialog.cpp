#include "KeyDialog.h"

#include <QKeyEvent>

void TKeyDialog::WatchChildKeys() {
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
}

bool TKeyDialog::HandleKey(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        EnterPressed();
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    default:
        return false;
    }
}

bool TKeyDialog::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(e)))
        return true;
    return QDialog::eventFilter(watched, e);
}

void TKeyDialog::keyPressEvent(QKeyEvent* e) {
    if (!HandleKey(e))
        QDialog::keyPressEvent(e);
}
