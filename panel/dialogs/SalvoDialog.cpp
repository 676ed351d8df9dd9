#include "SalvoDialog.h"

#include "SalvoFile.h"
#include "SpeedButton.h"

#include <QLineEdit>
#include <QRadioButton>

namespace {
constexpr int Margin = 8;
constexpr int EditWidth = 180;

QString Trimmed(const QString& text) {
    return QString::fromStdString(salvofile::TrimControls(text.toStdString()));
}
} // namespace

TSalvoDialog::TSalvoDialog(QWidget* parent)
    : TKeyDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("SalvoDialog"));
    setWindowTitle(QStringLiteral("Edit Salvo"));
    EditSlotName = new QLineEdit(this);
    EditSlotName->setObjectName(QStringLiteral("EditSlotName"));
    EditSlotName->setGeometry(Margin, Margin, EditWidth, 21);
    RBtnAll = new QRadioButton(QStringLiteral("All Outputs"), this);
    RBtnAll->setObjectName(QStringLiteral("RBtnAll"));
    RBtnAll->setGeometry(Margin, 36, EditWidth, 20);
    RBtnNumbers = new QRadioButton(QStringLiteral("Output Numbers:"), this);
    RBtnNumbers->setObjectName(QStringLiteral("RBtnNumbers"));
    RBtnNumbers->setGeometry(Margin, 58, EditWidth, 20);
    EditNumbers = new QLineEdit(this);
    EditNumbers->setObjectName(QStringLiteral("EditNumbers"));
    EditNumbers->setGeometry(Margin, 80, EditWidth, 21);
    SBtnOK = new TSpeedButton(this);
    SBtnOK->setObjectName(QStringLiteral("SBtnOK"));
    SBtnOK->setText(QStringLiteral("OK"));
    SBtnOK->setGeometry(Margin, 110, 85, 21);
    SBtnCancel = new TSpeedButton(this);
    SBtnCancel->setObjectName(QStringLiteral("SBtnCancel"));
    SBtnCancel->setText(QStringLiteral("CANCEL"));
    SBtnCancel->setGeometry(Margin + EditWidth - 85, 110, 85, 21);
    for (TSpeedButton* b : {SBtnOK, SBtnCancel})
        b->SetHandPointer(true);
    // As wide as the name edit with its margin on both sides, as high as the
    // bottom of OK plus the top margin.
    setFixedSize(EditWidth + 2 * Margin, SBtnOK->geometry().bottom() + 1 + Margin);

    RBtnAll->setChecked(true);
    EditNumbers->setEnabled(false);
    for (QRadioButton* r : {RBtnAll, RBtnNumbers})
        connect(r, &QRadioButton::clicked, this,
                [this] { EditNumbers->setEnabled(RBtnNumbers->isChecked()); });
    connect(SBtnOK, &TSpeedButton::MouseDown, this, [this](Qt::MouseButton b) {
        if (b == Qt::LeftButton)
            AcceptTrimmed();
    });
    connect(SBtnCancel, &TSpeedButton::MouseDown, this, [this](Qt::MouseButton b) {
        if (b == Qt::LeftButton)
            reject();
    });
    WatchChildKeys();
}

QString TSalvoDialog::SlotName() const {
    return EditSlotName->text();
}
void TSalvoDialog::SetSlotName(const QString& name) {
    EditSlotName->setText(name);
}
QString TSalvoDialog::Numbers() const {
    return EditNumbers->text();
}
void TSalvoDialog::SetNumbers(const QString& numbers) {
    EditNumbers->setText(numbers);
}
bool TSalvoDialog::AllOutputs() const {
    return RBtnAll->isChecked();
}

void TSalvoDialog::AcceptTrimmed() {
    EditSlotName->setText(Trimmed(EditSlotName->text()));
    EditNumbers->setText(Trimmed(EditNumbers->text()));
    accept();
}
