#include "MainWindow.h"

#include "FibrewatchLog.h"
#include "MainWindowForm.h"

#include <QCheckBox>
#include <QDebug>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

namespace {

const QColor Red(255, 0, 0);
const QColor White(255, 255, 255);
const QColor Yellow(255, 255, 0);

QString General(double v) {
    return TableLocale().toString(v, 'g', 6);
}
QString Integer(qint64 v) {
    return TableLocale().toString(v);
}

// Writes a new item; a colour, when given, becomes its background.
void Cell(QTableWidget* t, int row, int column, const QString& text,
          const QColor* colour = nullptr) {
    auto* item = new QTableWidgetItem(text);
    if (colour)
        item->setBackground(*colour);
    t->setItem(row, column, item);
}

int Idx(int t, int r) {
    return 32 * t + r;
}

} // namespace

TReplyClass ClassifyReply(const std::int16_t* words, int wordCount, std::uint16_t& sum) {
    sum = 0;
    if (wordCount < 3)
        return TReplyClass::Undefined;
    if (words[1] == 0)
        return TReplyClass::Undefined;
    if (words[0] == 3 && words[2] == ErrorReplyMarker)
        return TReplyClass::Error;
    for (int i = 1; i < wordCount; ++i)
        sum = static_cast<std::uint16_t>(sum + static_cast<std::uint16_t>(words[i]));
    return sum != 0 ? TReplyClass::Checksum : TReplyClass::Valid;
}

MainWindow::MainWindow(const QString& deviceAddress, QWidget* parent, bool startWorker)
    : QMainWindow(parent), mbx(), ui(new Ui_MainWindow), tcpThread(deviceAddress) {
    ui->setupUi(this);
    connect(&tcpThread, &TcpThread::ReplyStored, this, &MainWindow::ShowReply);
    connect(&tcpThread, &TcpThread::ConnectionChanged, this, &MainWindow::ShowConnectionState);
    if (startWorker)
        tcpThread.start(QThread::InheritPriority);
}

MainWindow::~MainWindow() {
    delete ui;
}

QTableWidget* MainWindow::TableOf(int t) const {
    return t == 0 ? ui->tableWidget2 : ui->tableWidget3;
}

void MainWindow::ShowMessage(const QString& text) {
    mbx.setText(text);
    mbx.show();
}

void MainWindow::CloseMessage() {
    // A message box without buttons refuses close(); hiding it is what closing means here.
    mbx.hide();
}

void MainWindow::ShowConnectionState() {
    tcpThread.connectionPending.store(false);
    mbx.setParent(this);
    mbx.setWindowModality(Qt::NonModal);
    mbx.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowTitleHint);
    mbx.setStandardButtons(QMessageBox::NoButton);
    mbx.setPalette(QPalette(Qt::yellow));
    mbx.setWindowTitle(QStringLiteral("Message"));
    QFont f = mbx.font();
    f.setPixelSize(20);
    f.setItalic(true);
    mbx.setFont(f);
    const int state = tcpThread.connState.load();
    if (state == -1) {
        ShowMessage(QStringLiteral("NO CONNECTION TO DEVICE!      "));
    } else if (state == 1) {
        qCDebug(lcFibrewatch) << "mbx_exist = " << 1;
        CloseMessage();
    }
}

void MainWindow::ShowReply() {
    tcpThread.replyPending.store(false); // before taking: a newer reply signals again
    const TPendingReply reply = tcpThread.TakeReply();
    if (reply.Command != 100 && reply.Command != 101 && reply.Command != 102)
        return;
    const int command = reply.Command;
    qCDebug(lcFibrewatch).noquote() << QStringLiteral("slot_SrvMsgObrabot(): kod=%1").arg(command);
    std::uint16_t sum = 0;
    const QString from = QStringLiteral("FROM COMMAND %1: ").arg(command);
    switch (ClassifyReply(reply.Words.data(), reply.WordCount, sum)) {
    case TReplyClass::Undefined:
        qCDebug(lcFibrewatch).noquote()
            << QStringLiteral("Error: kod=0: undefined kommand:  otvet na kod = %1").arg(command);
        ShowMessage(from + QStringLiteral("COMMAND IS UNDEFINED"));
        return;
    case TReplyClass::Error:
        qCDebug(lcFibrewatch).noquote()
            << (command == 100 ? QStringLiteral("Error: s100[2]=99h: otvet na kod = 100")
                               : QStringLiteral("Error 99h: otvet na kod = %1").arg(command));
        ShowMessage(from + QStringLiteral("ERROR COMMAND"));
        return;
    case TReplyClass::Checksum:
        qCDebug(lcFibrewatch).noquote()
            << QStringLiteral("Erorr: ks%1!=0 ks%1=%2").arg(command).arg(sum);
        ShowMessage(from + QStringLiteral("ERROR KS"));
        return;
    case TReplyClass::Valid:
        CloseMessage();
        if (command == 102)
            FillPower(reply);
        else
            FillSfp(reply, command == 100 ? 0 : 1);
        return;
    }
}

void MainWindow::FillPower(const TPendingReply& reply) {
    const auto& w = reply.Words;
    QTableWidget* t1 = ui->tableWidget1;
    QTableWidget* t2 = ui->tableWidget1_2;
    auto presence = [&](int row, int present, int fault) {
        if (present == 0)
            Cell(t1, row, 1, QStringLiteral("EMPTY"), &Yellow);
        else if (present == 1 && fault == 0)
            Cell(t1, row, 1, QStringLiteral("OK"), &White);
        else if (present == 1 && fault == 1)
            Cell(t1, row, 1, QStringLiteral("ERROR"), &Red);
    };
    auto module = [&](int row, int current, int voltage, int fan) {
        Cell(t1, row, 3, General(voltage / 10.0), (voltage < 108 || voltage > 132) ? &Red : &White);
        Cell(t1, row, 4, Integer(current));
        const int rpm = fan * 60;
        Cell(t1, row, 6, General(rpm), (rpm < 8000 || rpm > 12000) ? &Red : &White);
    };
    presence(1, w[2], w[4]);
    presence(2, w[3], w[5]);
    module(1, w[26], w[27], w[28]);
    module(2, w[30], w[31], w[32]);
    Cell(t2, 0, 1, Integer(w[29]));
    Cell(t2, 1, 1, Integer(w[33]));
    static const int low[10] = {1080, 1620, 2970, 4500, 2970, 2970, 2970, 2970, 2250, 2250};
    static const int high[10] = {1320, 1980, 3630, 5500, 3630, 3630, 3630, 3630, 2750, 2750};
    for (int i = 1; i <= 10; ++i) {
        const int mv = w[static_cast<std::size_t>(6 + 2 * (i - 1))];
        const bool ok = mv >= low[i - 1] && mv <= high[i - 1];
        Cell(t1, 2 + i, 3, General(mv / 1000.0), ok ? &White : &Red);
        Cell(t1, 2 + i, 4, General(w[static_cast<std::size_t>(7 + 2 * (i - 1))]));
    }
    if (w[34] == 1)
        Cell(t2, 2, 1, QStringLiteral("YES"), &Red);
    else if (w[34] == 0)
        Cell(t2, 2, 1, QStringLiteral("NO"), &White);
    if (w[35] == 1)
        Cell(t2, 3, 1, QStringLiteral("ERROR"), &Red);
    else if (w[35] == 0)
        Cell(t2, 3, 1, QStringLiteral("OK"), &White);
}

void MainWindow::FillSfp(const TPendingReply& reply, int t) {
    QTableWidget* table = TableOf(t);
    const int recordWords = t == 0 ? 12 : 13;
    for (int r = 1; r <= 32; ++r) {
        const int first = 2 + recordWords * (r - 1);
        const int type = reply.Words[static_cast<std::size_t>(first)];
        const int power = reply.Words[static_cast<std::size_t>(first + 11)];
        QString name;
        for (int b = 2; b <= 20; ++b)
            name += QChar(reply.Bytes[static_cast<std::size_t>(2 * first + b)]);
        Cell(table, r, 1, type == 0 ? tr("none") : type == 7 ? tr("optical") : tr("electrical"));
        const int k = Idx(t, r - 1);
        if (type == 0) {
            // An existing limit cell stays over column 3 with the operator's limits.
            for (int c = 2; c <= (t == 0 ? 4 : 5); ++c)
                Cell(table, r, c, QStringLiteral("-"));
        } else if (type == 7) {
            Cell(table, r, 2, name);
            if (!limitCellCreated[static_cast<std::size_t>(k)]) {
                limitCell[static_cast<std::size_t>(k)] = new QWidget();
                table->setCellWidget(r, 3, limitCell[static_cast<std::size_t>(k)]);
                createLimitCell(t, r - 1);
            }
            Cell(table, r, 4, General(power / 10.0));
            if (limitCellCreated[static_cast<std::size_t>(k)] &&
                !ignoreFlag[static_cast<std::size_t>(k)]) {
                const bool out = power < spinLow[static_cast<std::size_t>(k)]->value() * 10 ||
                                 spinHigh[static_cast<std::size_t>(k)]->value() * 10 < power;
                table->item(r, 4)->setBackground(out ? Red : White);
            }
            if (t == 1)
                Cell(table, r, 5, General(reply.Words[static_cast<std::size_t>(first + 12)]));
        } else {
            Cell(table, r, 2, name);
            if (limitCellCreated[static_cast<std::size_t>(k)])
                removeLimitCell(t, r - 1);
            for (int c = 3; c <= (t == 0 ? 4 : 5); ++c)
                Cell(table, r, c, QStringLiteral("-"));
        }
    }
}

void MainWindow::createLimitCell(int t, int r) {
    const auto k = static_cast<std::size_t>(Idx(t, r));
    const QString name = QString::number(r) + QString::number(t);
    auto spin = [&](double initial) {
        auto* s = new QDoubleSpinBox();
        s->setObjectName(name);
        s->setRange(-1000.0, 1000.0);
        s->setSingleStep(0.1);
        s->setDecimals(1);
        s->setFixedWidth(50);
        s->setValue(initial);
        connect(s, &QDoubleSpinBox::valueChanged, this, &MainWindow::slot_SpinValueChanged);
        return s;
    };
    spinLow[k] = spin(t == 0 ? -23.0 : 0.0);
    spinHigh[k] = spin(t == 0 ? -3.0 : 3.0);
    ignorePanel[k] = new QWidget();
    ignoreLayout[k] = new QVBoxLayout(ignorePanel[k]);
    ignoreLayout[k]->setContentsMargins(0, 0, 0, 0);
    ignoreLayout[k]->setSpacing(1);
    ignoreLabel[k] = new QLabel(tr("Ignore"));
    QFont f = ignoreLabel[k]->font();
    f.setPixelSize(9);
    ignoreLabel[k]->setFont(f);
    ignoreBox[k] = new QCheckBox();
    ignoreBox[k]->setObjectName(name);
    ignoreLayout[k]->addWidget(ignoreLabel[k]);
    ignoreLayout[k]->addWidget(ignoreBox[k]);
    connect(ignoreBox[k], &QCheckBox::stateChanged, this, &MainWindow::slot_CheckStateChanged);
    limitLayout[k] = new QHBoxLayout();
    limitLayout[k]->setContentsMargins(0, 0, 0, 0);
    limitLayout[k]->setSpacing(3);
    limitLayout[k]->setAlignment(Qt::AlignHCenter);
    limitLayout[k]->addWidget(spinLow[k]);
    limitLayout[k]->addWidget(spinHigh[k]);
    limitLayout[k]->addWidget(ignorePanel[k]);
    limitCell[k]->setLayout(limitLayout[k]);
    limitCellCreated[k] = 1;
    // "Ignore" above its box is taller than a row: the row grows to show both whole.
    QTableWidget* table = TableOf(t);
    const int needed = limitCell[k]->sizeHint().height() + 2;
    if (table->rowHeight(r + 1) < needed)
        table->setRowHeight(r + 1, needed);
}

void MainWindow::removeLimitCell(int t, int r) {
    const auto k = static_cast<std::size_t>(Idx(t, r));
    delete spinLow[k];
    delete spinHigh[k];
    delete ignoreLabel[k];
    delete ignoreBox[k];
    delete ignoreLayout[k];
    delete ignorePanel[k];
    delete limitLayout[k];
    // The table owns the cell widget; removing it from the table deletes it.
    TableOf(t)->removeCellWidget(r + 1, 3);
    spinLow[k] = spinHigh[k] = nullptr;
    ignoreLabel[k] = nullptr;
    ignoreBox[k] = nullptr;
    ignoreLayout[k] = nullptr;
    ignorePanel[k] = nullptr;
    limitLayout[k] = nullptr;
    limitCell[k] = nullptr;
    limitCellCreated[k] = 0;
}

bool MainWindow::RowOfSender(int& t, int& r) const {
    const QObject* s = sender();
    if (!s)
        return false;
    const QString name = s->objectName();
    bool ok1 = false, ok2 = false;
    t = name.right(1).toInt(&ok1);
    r = name.left(name.size() - 1).toInt(&ok2);
    return ok1 && ok2 && (t == 0 || t == 1) && r >= 0 && r < 32;
}

void MainWindow::CheckRow(int t, int r) {
    const auto k = static_cast<std::size_t>(Idx(t, r));
    QTableWidgetItem* item = TableOf(t)->item(r + 1, 4);
    if (!item || !spinLow[k])
        return;
    bool ok = false;
    double v = TableLocale().toDouble(item->text(), &ok);
    if (!ok)
        v = 0;
    const bool inside = spinLow[k]->value() <= v && v <= spinHigh[k]->value();
    item->setBackground(inside ? White : Red);
}

void MainWindow::slot_SpinValueChanged() {
    int t = 0, r = 0;
    if (!RowOfSender(t, r) || ignoreFlag[static_cast<std::size_t>(Idx(t, r))])
        return;
    CheckRow(t, r);
}

void MainWindow::slot_CheckStateChanged() {
    int t = 0, r = 0;
    if (!RowOfSender(t, r))
        return;
    const auto k = static_cast<std::size_t>(Idx(t, r));
    if (!ignoreBox[k] || !ignoreBox[k]->isChecked()) {
        ignoreFlag[k] = 0;
        if (QTableWidgetItem* item = TableOf(t)->item(r + 1, 4))
            item->setBackground(White);
    } else {
        ignoreFlag[k] = 1;
        CheckRow(t, r);
    }
}
