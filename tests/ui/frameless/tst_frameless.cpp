#include "ui/frameless/WidgetLessWindow.h"

#include <QtTest>

class TestFrameless : public QObject
{
    Q_OBJECT
private slots:
    void constructs();
};

void TestFrameless::constructs()
{
    WidgetLessWindow window;
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
}

QTEST_MAIN(TestFrameless)
#include "tst_frameless.moc"
