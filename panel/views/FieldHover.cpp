#include "FieldHover.h"

#include "Field.h"
#include "HoverPanel.h"
#include "IniSettings.h"
#include "Panel.h"
#include "TipForm.h"

#include <QScreen>

QPoint TipPosition(QPoint cell, int s, QSize tip, QRect workArea) {
    int x = cell.x() + s + 2, y = cell.y() + s + 2;
    if (x + tip.width() >= workArea.right() + 1)
        x = cell.x() - tip.width() - 2;
    if (y + tip.height() >= workArea.bottom() + 1)
        y = cell.y() - tip.height() - 2;
    return {x, y};
}

TFieldHover::TFieldHover(TField* field, TPanel* inOut, THoverPanel* frame,
                         const TIniSettings& settings, QObject* parent)
    : QObject(parent), FField(field), FInOut(inOut), FFrame(frame), FSettings(settings) {
    setObjectName(QStringLiteral("FieldHover"));
    field->OnCellHover = [this](QWidget*, QPoint cell, int col, int row) {
        ShowCell(cell, col, row);
    };
    field->OnHoverLeave = [this](QWidget*) { Hide(); };
    frame->OnMouseEnter = [this](THoverPanel*) { FrameEntered(); };
    frame->OnMouseHover = [this](THoverPanel*, int x, int y) { FrameRest(x, y); };
}

void TFieldHover::SetTip(TTip* tip) {
    FTip = tip;
}

QRect TFieldHover::WorkArea() const {
    if (FWorkArea.isValid())
        return FWorkArea;
    if (const QScreen* sc = FField->screen())
        return sc->availableGeometry();
    return {0, 0, 1024, 768};
}

void TFieldHover::ShowCell(QPoint cell, int col, int row) {
    QString in, out;
    if (col >= 0) {
        in = QStringLiteral("IN") + FField->GetInputNumber(col);
        if (!FField->GetInputName(col).isEmpty())
            in += QLatin1Char(' ') + FField->GetInputName(col);
    }
    if (row >= 0) {
        out = QStringLiteral("OUT") + FField->GetOutputNumber(row);
        if (!FField->GetOutputName(row).isEmpty())
            out += QLatin1Char(' ') + FField->GetOutputName(row);
    }
    FInOut->SetCaption(!in.isEmpty() && !out.isEmpty() ? in + QStringLiteral(" --> ") + out
                                                       : (in.isEmpty() ? out : in));
    FInOut->SetColor(RGBColor(0xEE, 0xEE, 0xEE));
    if (!FSettings.FHintsOn || !FTip)
        return;
    FTip->move(
        TipPosition(cell, FField->Geometry().CellSize, QSize(TipWidth, TipHeight), WorkArea()));
    if (FTip->width() != TipWidth) {
        FTip->resize(TipWidth, TipHeight);
        if (TTip::TranslucencySupported())
            FTip->setWindowOpacity(230 / 255.0);
    }
    FTip->InNumberText = col >= 0 ? FField->GetInputNumber(col) : QString();
    FTip->InNameText = col >= 0 ? FField->GetInputName(col) : QString();
    FField->CopyInputLogo(col, FTip->InLogo);
    FTip->OutNumberText = row >= 0 ? FField->GetOutputNumber(row) : QString();
    FTip->OutNameText = row >= 0 ? FField->GetOutputName(row) : QString();
    FField->CopyOutputLogo(row, FTip->OutLogo);
    FTip->update();
}

void TFieldHover::Hide() {
    if (FTip) {
        if (TTip::TranslucencySupported())
            FTip->setWindowOpacity(1.0);
        // The tip stays "shown" with no width, as it was created.
        FTip->setGeometry(0, FTip->y(), 0, FTip->height());
    }
    FInOut->SetCaption(QString());
    FInOut->SetColor(clr::Silver);
}

void TFieldHover::HideTip() {
    if (FTip && FTip->width() != 0)
        Hide();
}

void TFieldHover::PointerLeft() {
    HideTip();
    if (FField->HoverCol() != -10)
        FField->SetHoverCol(-10);
    if (FField->HoverRow() != -10)
        FField->SetHoverRow(-10);
}

void TFieldHover::FrameEntered() {
    if (!FSettings.FPreviewMode)
        FFrame->RequestHover(300);
}

void TFieldHover::FrameRest(int x, int y) {
    if (FSettings.FPreviewMode)
        return;
    const int margin = FFrame->BevelInset() + 10;
    if (x > FFrame->width() - margin)
        FField->ScrollColumns(2);
    else if (x < margin)
        FField->ScrollColumns(-2);
    if (y > FFrame->height() - margin)
        FField->ScrollRows(2);
    else if (y < margin)
        FField->ScrollRows(-2);
    FFrame->RequestHover(50);
}
