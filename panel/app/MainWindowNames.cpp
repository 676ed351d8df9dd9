// Names and logos of inputs and outputs to and from label files.
#include "MainWindow.h"

#include "Field.h"
#include "IniFile.h"
#include "LabelFile.h"
#include "MessageBox.h"
#include "Pickers.h"
#include "PreviewField.h"
#include "SafeFile.h"

#include <QFile>
#include <QFileInfo>

namespace {

// Far more than 2 x 256 rows of long names and paths.
constexpr std::size_t MaxLabelFileBytes = 8u << 20;

void ShowNamesError(const QString& text) {
    msgbox::Show(QStringLiteral("Error:"), text, msgbox::TIcon::Error);
}

} // namespace

// The matrix the switchers report while operating; every slot otherwise.
std::pair<int, int> TMainWindow::NameSlots() const {
    if (!FSession->Polling())
        return {256, 256};
    return {Field->GetInputCount(), Field->GetOutputCount()};
}

void TMainWindow::ExportNames() {
    std::optional<QString> file;
    const QString start =
        QFileInfo(FIniFileName).absolutePath() + QStringLiteral("/matrixpanel-names.csv");
    if (!RunModal([&] {
            file = pickers::SaveFileName(this, {QStringLiteral("Export names"), start,
                                                QStringLiteral("Label files (*.csv)")});
        }) ||
        !file)
        return;
    const auto [inputs, outputs] = NameSlots();
    const TNames& names = FSession->Names();
    using S = TNames::TSide;
    const QByteArray csv =
        labelfile::Write(names.Names(S::Input), names.Logos(S::Input), inputs,
                         names.Names(S::Output), names.Logos(S::Output), outputs);
    std::string error;
    if (!safefile::Save(QFile::encodeName(*file).toStdString(), csv.toStdString(), &error))
        RunModal([&] {
            ShowNamesError(QStringLiteral("The names could not be exported to %1:\n%2")
                               .arg(*file, QString::fromStdString(error)));
        });
}

void TMainWindow::ImportNames() {
    std::optional<QString> file;
    if (!RunModal([&] {
            file = pickers::OpenFileName(this, {QStringLiteral("Import names"),
                                                QFileInfo(FIniFileName).absolutePath(),
                                                QStringLiteral("Label files (*.csv)")});
        }) ||
        !file)
        return;
    const auto [inputs, outputs] = NameSlots();
    std::string data, error;
    TLabels labels;
    QString why;
    if (!safefile::ReadRegular(QFile::encodeName(*file).toStdString(), MaxLabelFileBytes, data,
                               &error))
        why = QString::fromStdString(error);
    else if (!labelfile::Read(QByteArray::fromStdString(data), inputs, outputs, labels, &why))
        why += QStringLiteral("\nNothing was imported.");
    else
        FSession->Names().Import(labels, &why); // the field shows them as the model reports
    if (!why.isEmpty())
        RunModal([&] {
            ShowNamesError(
                QStringLiteral("The names could not be imported from %1:\n%2").arg(*file, why));
        });
}
