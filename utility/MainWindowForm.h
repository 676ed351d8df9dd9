#pragma once

#include <QCoreApplication>
#include <QGridLayout>
#include <QLocale>
#include <QMainWindow>
#include <QMenuBar>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>

// The locale numbers in the window's tables are written and read in.
QLocale TableLocale();

// The window's form: widgets by object name, built in code.
class Ui_MainWindow {
    // The texts are English in the source; the Russian translation holds the
    // original wording. They share the window's translation context.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    QWidget* centralWidget;
    QGridLayout* gridLayout;
    QScrollArea* scrollArea;
    QWidget* scrollAreaWidget;
    QGridLayout* gridLayout_2;
    QTabWidget* tabWidget;
    QWidget* tab1;
    QTableWidget* tableWidget1;
    QTableWidget* tableWidget1_2;
    QWidget* tab2;
    QTableWidget* tableWidget2;
    QWidget* tab3;
    QTableWidget* tableWidget3;
    QMenuBar* menuBar;
    QStatusBar* statusBar;

    void setupUi(QMainWindow* window);
};
