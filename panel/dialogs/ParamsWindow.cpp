#include "ParamsWindow.h"

#include "LogoPicture.h"

#include "Field.h"
#include "Panel.h"
#include "Pickers.h"
#include "SafeFile.h"
#include "SpeedButton.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

namespace {
constexpr int Margin = 8;
} // namespace

QString BlankControls(const QString& text) {
    QString s = text;
    for (QChar& c : s)
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    return s;
}

QString CleanParamsName(const QString& text) {
    const QString s = BlankControls(text);
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b).unicode() <= 32)
        ++b;
    while (e > b && s.at(e - 1).unicode() <= 32)
        --e;
    return s.mid(b, e - b);
}

std::optional<QImage> LoadLogoPicture(const QString& path) {
    QImage picture = logo::Decode(path, QSize());
    if (picture.isNull())
        return std::nullopt;
    return picture;
}

// The logo preview paints through its owner.
class TLogoBox : public QWidget {
public:
    TLogoBox(QWidget* parent, std::function<void(QWidget*)> paint)
        : QWidget(parent), FPaint(std::move(paint)) {}

protected:
    void paintEvent(QPaintEvent*) override { FPaint(this); }

private:
    std::function<void(QWidget*)> FPaint;
};

TParamsWindow::TParamsWindow(QWidget* parent)
    : TKeyDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("ParamsWindow"));
    auto button = [this](const char* name, const char* caption, QRect r) {
        auto* b = new TSpeedButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(QString::fromLatin1(caption));
        b->setGeometry(r);
        b->SetHandPointer(true);
        return b;
    };
    STextIconCaption = new QLabel(QStringLiteral("Icon"), this);
    STextIconCaption->setObjectName(QStringLiteral("STextIconCaption"));
    STextIconCaption->setGeometry(Margin, Margin, 60, 14);
    PanelLogoBack = new TPanel(this);
    PanelLogoBack->setObjectName(QStringLiteral("PanelLogoBack"));
    PanelLogoBack->SetBevels(TPanel::TBevel::Lowered, TPanel::TBevel::None);
    PanelLogoBack->setGeometry(Margin, 24, 53 + 2 * 1, 51 + 2 * 1);
    PBoxLogo = new TLogoBox(PanelLogoBack, [this](QWidget* box) { PaintLogo(box); });
    PBoxLogo->setObjectName(QStringLiteral("PBoxLogo"));
    PBoxLogo->setGeometry(PanelLogoBack->ClientRect().x(), PanelLogoBack->ClientRect().y(), 53, 51);
    SBtnChange = button("SBtnChange", "CHANGE", QRect(76, 30, 65, 17));
    SBtnClear = button("SBtnClear", "CLEAR", QRect(76, 56, 65, 17));
    STextNameCaption = new QLabel(QStringLiteral("Name"), this);
    STextNameCaption->setObjectName(QStringLiteral("STextNameCaption"));
    STextNameCaption->setGeometry(Margin, 86, 60, 14);
    EditName = new QLineEdit(this);
    EditName->setObjectName(QStringLiteral("EditName"));
    EditName->setGeometry(Margin, 102, 200, 21);
    SBtnOk = button("SBtnOk", "OK", QRect(Margin, 134, 85, 21));
    SBtnCancel = button("SBtnCancel", "CANCEL", QRect(Margin + 200 - 85, 134, 85, 21));
    // As wide as CANCEL's right edge plus the label's left margin, as high as
    // CANCEL's bottom plus the label's top margin.
    setFixedSize(SBtnCancel->geometry().right() + 1 + STextIconCaption->x(),
                 SBtnCancel->geometry().bottom() + 1 + STextIconCaption->y());
    SBtnClear->setEnabled(false);

    connect(SBtnChange, &TSpeedButton::MouseDown, this,
            [this](Qt::MouseButton b) { SBtnChangeMouseDown(b); });
    connect(SBtnClear, &TSpeedButton::MouseDown, this, [this](Qt::MouseButton b) {
        if (b == Qt::LeftButton)
            SetLogoFile(QString());
    });
    connect(SBtnOk, &TSpeedButton::MouseDown, this, [this](Qt::MouseButton b) {
        if (b == Qt::LeftButton)
            accept();
    });
    connect(SBtnCancel, &TSpeedButton::MouseDown, this, [this](Qt::MouseButton b) {
        if (b == Qt::LeftButton)
            reject();
    });
    WatchChildKeys();
    EditName->setFocus();
}

void TParamsWindow::SetLogoFile(const QString& path) {
    FLogoFile = path;
    FLogo.reset();
    if (!path.isEmpty() && QFileInfo::exists(path))
        FLogo = LoadLogoPicture(path);
    SBtnClear->setEnabled(FLogo.has_value());
    PBoxLogo->update();
}

void TParamsWindow::SBtnChangeMouseDown(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    pickers::TFileRequest request;
    request.Filter = QStringLiteral("Bitmaps (*.bmp)");
    if (FLogo)
        request.StartPath = FLogoFile;
    const std::optional<QString> chosen = pickers::OpenFileName(this, request);
    // The picker's loop may have seen this dialog closed (polling ended).
    if (chosen && isVisible())
        SetLogoFile(*chosen);
}

void TParamsWindow::PaintLogo(QWidget* box) {
    QPainter p(box);
    p.fillRect(box->rect(), Qt::white);
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(box->rect().adjusted(0, 0, -1, -1));
    if (!FLogo)
        return;
    const int m = box->width() / 8;
    p.drawImage(QRect(QPoint(m, m), QPoint(box->width() - m - 1, box->height() - m - 1)), *FLogo);
}
