#include "Pickers.h"

#include <QColorDialog>
#include <QFileDialog>

namespace pickers {

namespace {
TFileHandler& FileHandler() {
    static TFileHandler h;
    return h;
}
TColorHandler& ColorHandler() {
    static TColorHandler h;
    return h;
}
} // namespace

void SetFileHandler(TFileHandler handler) {
    FileHandler() = std::move(handler);
}

void SetColorHandler(TColorHandler handler) {
    ColorHandler() = std::move(handler);
}

std::optional<QString> OpenFileName(QWidget* parent, const TFileRequest& request) {
    if (FileHandler())
        return FileHandler()(request);
    // QFileDialog::ExistingFile: the chosen path and file must exist.
    QFileDialog dialog(parent, request.Caption, request.StartPath, request.Filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const QFileInfo start(request.StartPath);
    if (start.isFile()) {
        dialog.setDirectory(start.absolutePath());
        dialog.selectFile(start.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> SaveFileName(QWidget* parent, TFileRequest request) {
    request.Save = true;
    if (FileHandler())
        return FileHandler()(request);
    QFileDialog dialog(parent, request.Caption, request.StartPath, request.Filter);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<TColor> ChooseColor(QWidget* parent, TColor initial) {
    if (ColorHandler())
        return ColorHandler()(initial);
    const QColor c = QColorDialog::getColor(ToQColor(initial), parent);
    if (!c.isValid())
        return std::nullopt;
    return RGBColor(c.red(), c.green(), c.blue());
}

} // namespace pickers
