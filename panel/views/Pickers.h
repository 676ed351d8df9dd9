#pragma once

#include "Look.h"

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// The seam for the file and colour pickers, like the message box's: the real
// pickers run a modal loop; tests install handlers that answer at once.
namespace pickers {

struct TFileRequest {
    QString Caption;
    QString StartPath; // a folder, or a file to preselect
    QString Filter;    // as QFileDialog takes it, e.g. "Bitmaps (*.bmp)"
    bool Save = false; // a file to write (it need not exist)
};

// The chosen existing file, or nothing when the picker was cancelled.
using TFileHandler = std::function<std::optional<QString>(const TFileRequest&)>;
std::optional<QString> OpenFileName(QWidget* parent, const TFileRequest& request);
// The file to write, asked through the same handler (request.Save is set).
std::optional<QString> SaveFileName(QWidget* parent, TFileRequest request);
void SetFileHandler(TFileHandler handler);

// The chosen colour, or nothing when the picker was cancelled.
using TColorHandler = std::function<std::optional<TColor>(TColor initial)>;
std::optional<TColor> ChooseColor(QWidget* parent, TColor initial);
void SetColorHandler(TColorHandler handler);

} // namespace pickers
