#pragma once

#include <QString>

class QDialog;

#include <functional>

// The one seam through which every message box of the panel is shown. Tests
// install a handler that records the box and answers it, so no test ever
// blocks in a modal loop.
namespace msgbox {

enum class TIcon { None, Information, Warning, Error, Question };
enum class TButtons { Ok, OkCancel, YesNo };
enum class TAnswer { Ok, Cancel, Yes, No };

struct TBox {
    QString Caption;
    QString Text;
    TIcon Icon = TIcon::None;
    TButtons Buttons = TButtons::Ok;
};

using THandler = std::function<TAnswer(const TBox&)>;

// The text with zero-width spaces where a run of longestRun characters (or a
// path after each '/') has no place to wrap, so a long path fits in a box.
QString Breakable(const QString& text, int longestRun = 40);

// Shows the box modally (or hands it to the installed handler) and returns the answer.
TAnswer Show(const QString& caption, const QString& text, TIcon icon,
             TButtons buttons = TButtons::Ok);
// Installs a replacement; an empty handler restores the real boxes.
void SetHandler(THandler handler);
// Shows a box without waiting for it (no nested event loop), through the same
// handler when one is installed.
void Notify(const QString& caption, const QString& text, TIcon icon);

// The same seam for our modal dialogs: ExecDialog runs the dialog's own modal
// loop, or hands the dialog to the installed handler, which may show it, send
// it real events and return its result without a nested loop.
using TDialogHandler = std::function<int(QDialog&)>;
int ExecDialog(QDialog& dialog);
void SetDialogHandler(TDialogHandler handler);

} // namespace msgbox
