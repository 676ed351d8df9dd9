#pragma once

#include <QCoreApplication>
#include <QEvent>

#include <cstdint>

// The main window's messages, carried as events posted to it from any thread.
constexpr int WM_USER = 0x400;
constexpr int WM_STARTPOLL = WM_USER + 1;
constexpr int WM_POLLDONE = WM_USER + 100;
constexpr int WM_PROGRESS = WM_USER + 101;
constexpr int WM_CLOCKDONE = WM_USER + 200;

class TWindowMessage : public QEvent {
public:
    static QEvent::Type EventType(int msg) { return static_cast<QEvent::Type>(QEvent::User + msg); }

    TWindowMessage(int msg, std::intptr_t wParam = 0, std::intptr_t lParam = 0)
        : QEvent(EventType(msg)), Msg(msg), WParam(wParam), LParam(lParam) {}

    const int Msg;
    const std::intptr_t WParam;
    const std::intptr_t LParam;
};

// PostMessage: queue the message for the receiver's thread; safe from any thread.
inline void PostWindowMessage(QObject* receiver, int msg, std::intptr_t wParam = 0,
                              std::intptr_t lParam = 0) {
    QCoreApplication::postEvent(receiver, new TWindowMessage(msg, wParam, lParam));
}
