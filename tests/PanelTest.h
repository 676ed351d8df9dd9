#pragma once

// Shared pieces of the tests that build the main window.
#include "MainWindow.h"
#include "MessageBox.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTest>
#include <QtGlobal>

#include <functional>

// A part of a window by its object name; a part that is missing ends the test
// program at once, naming it.
template <class T> T* Part(const QObject& window, const char* name) {
    T* part = window.findChild<T*>(QString::fromLatin1(name));
    if (!part)
        qFatal("No %s named %s", T::staticMetaObject.className(), name);
    return part;
}

// Records every message box and answers it, so that no test blocks on a modal
// loop. Reply answers unless Answer is set; WhileOpen runs while the box is
// "open" (a test may change the world there, as a nested event loop could).
class TBoxRecorder : public QList<msgbox::TBox> {
public:
    msgbox::TAnswer Reply = msgbox::TAnswer::Ok;
    std::function<msgbox::TAnswer(const msgbox::TBox&)> Answer;
    std::function<void(const msgbox::TBox&)> WhileOpen;

    // Forgets what was recorded and routes every box here.
    void Install() {
        clear();
        Reply = msgbox::TAnswer::Ok;
        Answer = nullptr;
        WhileOpen = nullptr;
        msgbox::SetHandler([this](const msgbox::TBox& b) {
            append(b);
            if (WhileOpen)
                WhileOpen(b);
            return Answer ? Answer(b) : Reply;
        });
    }
    static void Uninstall() { msgbox::SetHandler({}); }
};

// Ends the window's polling and waits until the poll thread is gone.
inline void StopPolling(TMainWindow& w) {
    w.Session().StopPolling();
    QTRY_VERIFY_WITH_TIMEOUT(!w.Session().Polling(), 5000);
}
