#include "mainwindow.h"

#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void constructs()
    {
        MainWindow w;
        QVERIFY(!w.isLinked());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
