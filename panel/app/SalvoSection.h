#pragma once

#include "Look.h"
#include "Session.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>

class QListWidget;
class TMemoryItem;
class TSalvoDialog;
class TSpeedButton;
struct TMemorySlot;

// The MEMORY section's contents: the list of the session's salvos and the New,
// Save and Del buttons, which edit salvos through the Edit Salvo dialog. All of
// it works in PRESET mode only; a double-click or Enter recalls a salvo.
class TSalvoSection : public QWidget {
    Q_OBJECT
public:
    // Runs a modal step; false when the window's world changed meanwhile.
    using TRunModal = std::function<bool(const std::function<void()>&)>;
    TSalvoSection(TSession& session, TRunModal runModal, QWidget* parent);

    // Lays out the list above the buttons for the section's height.
    void Layout(int captionHeight);
    // Rebuilds the list from the session's salvos; the selection stays.
    void ShowSalvos();
    void ShowMode(TMode mode, TColor buttonColor);
    // Enter on the list recalls the selected salvo; true when taken.
    bool ListKey(const QWidget* receiver, int key);
    // Closes an open Edit Salvo dialog as cancelled.
    void CancelEdit();
    // Called before a dialog opens (the window takes the tip away).
    std::function<void()> BeforeDialog;

    // What storing an edited salvo came to: Failed shows Error and brings the
    // dialog back with the texts as typed.
    struct TCommitResult {
        enum { Done, Cancelled, Failed } Kind;
        QString Error;
    };
    using TSlotCommit = std::function<TCommitResult(const TMemorySlot&)>;

private:
    void ShowButtons();
    void NewSalvo();
    void SaveSalvo();
    void DeleteSalvo();
    void RecallSelected();
    // Runs the Edit Salvo dialog on slot; true (slot filled, and committed when
    // a commit step is given) only on OK with the session still in PRESET mode
    // on the same folder.
    bool EditSlot(TMemorySlot& slot, bool isNew, const TSlotCommit& commit = {});
    // Asks an OK/Cancel question ("Confirm"); true on OK still in PRESET mode
    // in the world it asked in.
    bool ConfirmInPreset(const QString& question);
    TMemoryItem* FindItem(const std::string& name) const;
    TMemoryItem* SelectedItem() const;

    TSession& FSession;
    TRunModal FRunModal;
    TMode FMode = TMode::Off;
    TColor FButtonColor = clr::Silver;
    QListWidget* FList;
    QWidget* FButtons;
    TSpeedButton *FNew, *FSave, *FDelete;
    QPointer<TSalvoDialog> FDialog;
};
