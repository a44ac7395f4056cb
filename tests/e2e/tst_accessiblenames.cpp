// tst_accessiblenames.cpp: every control of the main window and of the dialogs it opens carries
// an accessible name, on every page and whether shown or not, so that screen readers can say
// what it is and the acceptance suite can find it on the accessibility bus.
#include "TestEnv.h"
#include "calibration/CalibrationData.h"
#include "calibration/dialogs/CalibrationDialog.h"
#include "calibration/dialogs/MagnificationDialog.h"
#include "calibration/dialogs/MagnificationEditDialog.h"
#include "camera/DemoCameraBackend.h"
#include "camera/DeviceMonitor.h"
#include "panels/LeftBarWidget.h"
#include "resources/QuorixResources.h"
#include "settings/SettingsKeys.h"
#include "settings/dialog/SettingDialog.h"
#include "settings/editors/AttributeTree.h"
#include "ui/mainwindow/MainWidget.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QTest>

namespace {

// The controls under `top` without an accessible name, as "Class:objectName". A button's text
// names it; every other control needs a name of its own (a combo box or slider would otherwise be
// read out by its value). Parts that Qt builds inside a control are named by that control.
QStringList unnamedControls(QWidget *top)
{
    QStringList unnamed;
    for (QWidget *w : top->findChildren<QWidget *>()) {
        const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                             qobject_cast<QAbstractSlider *>(w) ||
                             qobject_cast<QAbstractSpinBox *>(w) || qobject_cast<QLineEdit *>(w) ||
                             qobject_cast<QAbstractItemView *>(w);
        QWidget *parent = w->parentWidget();
        const bool inner =
            qobject_cast<QScrollBar *>(w) || qobject_cast<QHeaderView *>(w) ||
            w->objectName().startsWith(QLatin1String("qt_")) || qobject_cast<QComboBox *>(parent) ||
            qobject_cast<QAbstractSpinBox *>(parent) || qobject_cast<QAbstractItemView *>(parent) ||
            qobject_cast<QTabBar *>(parent) ||
            (parent && qobject_cast<QComboBox *>(parent->parentWidget()));
        if (!control || inner)
            continue;
        QString name = w->accessibleName();
        if (auto *button = qobject_cast<QAbstractButton *>(w); button && name.isEmpty())
            name = button->text().remove(QLatin1Char('&'));
        // On Linux the accessibility bridge reads a combo box out by its current entry, so what
        // the box is for has to be in its description.
        const bool undescribed =
            qobject_cast<QComboBox *>(w) && w->accessibleDescription().trimmed().isEmpty();
        if (name.trimmed().isEmpty() || undescribed)
            unnamed << QStringLiteral("%1:%2%3").arg(
                QString::fromLatin1(w->metaObject()->className()), w->objectName(),
                undescribed ? QStringLiteral(" (no description)") : QString());
    }
    return unnamed;
}

} // namespace

class TstAccessibleNames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnv::isolate();
        QuorixResources::init();
        QSettings().setValue(QLatin1String(SettingsKeys::kConfirmOnExit), false);
    }

    void mainWindowOnEveryPage()
    {
        // The demo camera fills the mode lists and the property rows as a running camera does.
        MainWidget window(std::make_unique<DemoCameraBackend>(),
                          std::make_unique<PipeDeviceEventSource>());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QStringList unnamed = unnamedControls(&window);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
    }

    void dialogs()
    {
        CalibrationData calibration;
        SettingDialog settings;
        CalibrationDialog calibrate(&calibration);
        MagnificationDialog magnifications(&calibration);
        MagnificationEditDialog edit(CalibrationData::Magnification(), QStringLiteral("mm"));
        for (QWidget *dialog :
             std::initializer_list<QWidget *>{&settings, &calibrate, &magnifications, &edit}) {
            const QStringList unnamed = unnamedControls(dialog);
            QVERIFY2(unnamed.isEmpty(), qPrintable(dialog->objectName() + QLatin1Char(' ') +
                                                   unnamed.join(QLatin1Char('\n'))));
        }
    }

    void attributeTreeEditors()
    {
        // The editor a value cell opens takes the keyboard, and with it the screen reader.
        AttributeTree tree;
        tree.setAttribute(std::make_shared<Attribute>());
        for (int code = 0; code < AttributeTree::EditableLimit; ++code) {
            if (QTreeWidgetItem *row = tree.itemForCode(code); row && row->parent()) {
                tree.onItemClicked(row, 1);
                const QStringList unnamed = unnamedControls(&tree);
                QVERIFY2(unnamed.isEmpty(), qPrintable(row->text(0) + QLatin1Char(' ') +
                                                       unnamed.join(QLatin1Char('\n'))));
            }
        }
    }
};

QTEST_MAIN(TstAccessibleNames)
#include "tst_accessiblenames.moc"
