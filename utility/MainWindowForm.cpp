#include "MainWindowForm.h"

#include <QHeaderView>

QLocale TableLocale() {
    // Thousands are not grouped: "10080" beside "10000 ± 20%", never "10,080",
    // which reads as a decimal in many locales.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale;
}

namespace {

QTableWidget* MakeTable(QWidget* parent, const char* name, int rows, int columns, QRect geometry,
                        int columnWidth) {
    auto* t = new QTableWidget(rows, columns, parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setGeometry(geometry);
    t->setFrameShape(QFrame::NoFrame);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->horizontalHeader()->setVisible(false);
    t->verticalHeader()->setVisible(false);
    t->horizontalHeader()->setDefaultSectionSize(columnWidth);
    return t;
}

// Static cells made by the form are centred.
void Put(QTableWidget* t, int row, int column, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    t->setItem(row, column, item);
}

void PutRow(QTableWidget* t, int row, const QStringList& texts) {
    for (int c = 0; c < texts.size(); ++c)
        Put(t, row, c, texts[c]);
}

} // namespace

void Ui_MainWindow::setupUi(QMainWindow* window) {
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->setWindowModality(Qt::NonModal);
    window->resize(928, 900);
    window->setMinimumSize(0, 0);
    window->setIconSize(QSize(100, 24));
    window->setAcceptDrops(false);

    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    centralWidget->setMinimumSize(0, 0);
    centralWidget->setMaximumSize(928, 897);
    gridLayout = new QGridLayout(centralWidget);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->setSpacing(6);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    scrollArea = new QScrollArea(centralWidget);
    scrollArea->setObjectName(QStringLiteral("scrollArea"));
    scrollArea->setMinimumSize(0, 0);
    scrollArea->setMaximumSize(900, 871);
    scrollArea->setWidgetResizable(true);
    scrollAreaWidget = new QWidget();
    scrollAreaWidget->setObjectName(QStringLiteral("scrollAreaWidget"));
    scrollAreaWidget->setGeometry(0, 0, 898, 860);
    scrollAreaWidget->setAcceptDrops(false);
    gridLayout_2 = new QGridLayout(scrollAreaWidget);
    gridLayout_2->setObjectName(QStringLiteral("gridLayout_2"));
    gridLayout_2->setSpacing(6);
    gridLayout_2->setContentsMargins(0, 0, 0, 0);
    tabWidget = new QTabWidget(scrollAreaWidget);
    tabWidget->setObjectName(QStringLiteral("tabWidget"));
    tabWidget->setFixedSize(881, 850);
    QFont f = tabWidget->font();
    f.setPointSize(8);
    tabWidget->setFont(f);
    tabWidget->setTabShape(QTabWidget::Rounded);
    tabWidget->setUsesScrollButtons(true);
    tabWidget->setTabsClosable(false);
    tabWidget->setMovable(false);

    tab1 = new QWidget();
    tab1->setObjectName(QStringLiteral("tab1"));
    tableWidget1 = MakeTable(tab1, "tableWidget1", 13, 7, QRect(0, 0, 877, 860), 125);
    tableWidget1_2 = MakeTable(tab1, "tableWidget1_2", 4, 2, QRect(0, 410, 256, 121), 125);
    tabWidget->addTab(tab1, tr("Power Supply States"));
    tab2 = new QWidget();
    tab2->setObjectName(QStringLiteral("tab2"));
    tableWidget2 = MakeTable(tab2, "tableWidget2", 33, 5, QRect(0, 0, 877, 860), 175);
    tableWidget2->verticalHeader()->setDefaultSectionSize(25);
    tabWidget->addTab(tab2, tr("Rx SFP"));
    tab3 = new QWidget();
    tab3->setObjectName(QStringLiteral("tab3"));
    tableWidget3 = MakeTable(tab3, "tableWidget3", 33, 6, QRect(0, 0, 877, 860), 146);
    tableWidget3->horizontalHeader()->setMinimumSectionSize(25);
    tableWidget3->verticalHeader()->setDefaultSectionSize(25);
    tabWidget->addTab(tab3, tr("Tx SFP"));

    gridLayout_2->addWidget(tabWidget, 0, 0);
    scrollArea->setWidget(scrollAreaWidget);
    gridLayout->addWidget(scrollArea, 0, 0);
    window->setCentralWidget(centralWidget);
    menuBar = new QMenuBar(window);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setGeometry(0, 0, 928, 20);
    window->setMenuBar(menuBar);
    statusBar = new QStatusBar(window);
    statusBar->setObjectName(QStringLiteral("statusBar"));
    window->setStatusBar(statusBar);

    window->setWindowTitle(QStringLiteral("Fibre watch"));
    PutRow(tableWidget1, 0,
           {tr("Name"), tr("Presence - status"), tr("Nominal output voltage, V"),
            tr("Output voltage, V"), tr("Output current, mA"), tr("Nominal fan speed, rpm"),
            tr("Fan speed, rpm")});
    const char* names[12] = {"PV-220-1", "PV-220-2", "DC/DC 1", "DC/DC 2", "DC/DC 3", "DC/DC 4",
                             "DC/DC 5",  "DC/DC 6",  "DC/DC 7", "DC/DC 8", "DC/DC 9", "  DC/DC 10"};
    // Nominal values in the locale's own number format, as the readings beside them.
    const double nominal[12] = {12.0, 12.0, 1.2, 1.8, 3.3, 5.0, 3.3, 3.3, 3.3, 3.3, 2.5, 2.5};
    const QLocale locale = TableLocale();
    for (int r = 1; r <= 12; ++r) {
        Put(tableWidget1, r, 0, QString::fromUtf8(names[r - 1]));
        Put(tableWidget1, r, 2,
            locale.toString(nominal[r - 1], 'f', 1) + QString::fromUtf8(" ± 10%"));
        if (r <= 2) {
            Put(tableWidget1, r, 5, locale.toString(10000) + QString::fromUtf8(" ± 20%"));
        } else {
            Put(tableWidget1, r, 5, QStringLiteral("-"));
            Put(tableWidget1, r, 6, QStringLiteral("-"));
        }
    }
    Put(tableWidget1_2, 0, 0, tr("Supply 1 temperature, °C"));
    Put(tableWidget1_2, 1, 0, tr("Supply 2 temperature, °C"));
    Put(tableWidget1_2, 2, 0, tr("Overheat"));
    Put(tableWidget1_2, 3, 0, tr("Ventilation system"));
    PutRow(tableWidget2, 0,
           {tr("Input number"), tr("SFP type"), tr("Name"), tr("Sensitivity range, dB"),
            tr("Input optical power, dB")});
    PutRow(tableWidget3, 0,
           {tr("Input number"), tr("SFP type"), tr("Name"), tr("Nominal output optical power, dB"),
            tr("Output optical power, dB"), tr("Wavelength, nm")});
    for (int r = 1; r <= 32; ++r) {
        Put(tableWidget2, r, 0, QString::number(r));
        Put(tableWidget3, r, 0, QString::number(r));
    }
    // Titles are cells of row 0; they wrap within their column, and the row
    // grows to show every line of them.
    for (QTableWidget* t : {tableWidget1, tableWidget2, tableWidget3}) {
        t->setWordWrap(true);
        t->resizeRowToContents(0);
    }
    tabWidget->setCurrentIndex(0);
}
