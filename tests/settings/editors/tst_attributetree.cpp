// Tests of the attribute tree: every kind of value edited with real input reaches the shape on
// the canvas (judged by its rendered pixels) and the armed tool's stored defaults; a null
// attribute empties the tree and editors die only after their own signal has returned.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QFontComboBox>
#include <QHeaderView>
#include <QJsonObject>
#include <QLabel>
#include <QSettings>
#include <QSpinBox>
#include <QToolButton>

#include "TestEnv.h"
#include "WidgetLook.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "settings/editors/AttributeTree.h"
#include "shapes/ShapeTypes.h"
#include "shapes/StraightLineItem.h"

namespace {

enum class Input { TypeNumber, PickColour, ChooseNext, ChooseLast, Tick };

} // namespace

Q_DECLARE_METATYPE(Input)

class TstAttributeTree : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void editReachesTheShape_data();
    void editReachesTheShape();
    void toolDefaultsEditedInTheTreeAreKept();
    void nullAttributeEmptiesTheTreeAndEditorsDieLater();
    void clicksOutsideValueCellsOpenNothing();
    void treeReadsWellInBothLanguages();

private:
    // Clicks the value cell of `code` as a user would; returns the editor that opened.
    QWidget *clickValue(int code);
    void typeNumber(QWidget *editor, const QString &digits);

    MeasureGraphicsViewBusiness *m_view = nullptr;
    AttributeTree *m_tree = nullptr;
    StraightLineItem *m_line = nullptr;
    QWidget *m_colourParent = nullptr;
};

void TstAttributeTree::initTestCase()
{
    TestEnv::isolate();
    qRegisterMetaType<LineDataBase::Ptr>();
    qRegisterMetaType<Attribute::Ptr>();
}

void TstAttributeTree::init()
{
    m_view = new MeasureGraphicsViewBusiness;
    m_view->resize(700, 500);
    QImage image(600, 400, QImage::Format_RGB32);
    image.fill(QColor(60, 60, 60));
    m_view->setBackgroundImage(image, true);
    m_view->show();
    m_line = static_cast<StraightLineItem *>(m_view->createShape(ShapeTypes::StraightLine));
    m_line->setStartPoint(m_line->mapFromScene(QPointF(100, 200)));
    m_line->setEndPoint(m_line->mapFromScene(QPointF(400, 200)));
    m_line->setSelected(true);

    m_tree = new AttributeTree;
    m_tree->resize(360, 900);
    m_tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tree));
    m_tree->setColorProvider([this](QWidget *parent, const QColor &) {
        m_colourParent = parent;
        return QColor(0, 0, 255);
    });
    connect(m_view, &MeasureGraphicsView::sigChoosedItemChanged, m_tree,
            &AttributeTree::setAttribute);
    connect(m_view, &MeasureGraphicsViewBusiness::sigToolDefaultAttributesChanged, m_tree,
            &AttributeTree::setToolAttribute);
    connect(m_tree, &AttributeTree::sigAttributeDataChanged, m_view,
            &MeasureGraphicsViewBusiness::onAttributeDataChanged);
    m_view->onSelectionChanged();
    QCOMPARE(m_tree->attribute(), m_line->attribute());
}

void TstAttributeTree::cleanup()
{
    delete m_tree;
    m_view->setDrawToolActive(false);
    m_view->delAllLine();
    delete m_view;
    TestEnv::runTimersStartedBefore(20); // the deferred deletions
    LineDataRegistry::instance()->clear();
}

QWidget *TstAttributeTree::clickValue(int code)
{
    QTreeWidgetItem *item = m_tree->itemForCode(code);
    if (!item)
        return nullptr;
    for (QTreeWidgetItem *up = item->parent(); up; up = up->parent())
        up->setExpanded(true);
    m_tree->scrollToItem(item);
    const QRect row = m_tree->visualItemRect(item);
    const QPoint at(m_tree->header()->sectionPosition(1) + 30, row.center().y());
    QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    return m_tree->itemWidget(item, 1);
}

void TstAttributeTree::typeNumber(QWidget *editor, const QString &digits)
{
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, digits);
}

void TstAttributeTree::editReachesTheShape_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<Input>("input");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("cellText");
    // The one value of the shape's style that changes ("*": that character as it was; empty: the
    // cell's text).
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    const auto row = [](const char *name, int code, Input input, const char *digits,
                        const QString &cellText, const char *field, const QString &value) {
        QTest::newRow(name) << code << input << QString(digits) << cellText << QString(field)
                            << value;
    };
    using A = AttributeTree;
    const QString blue = "#ff0000ff";
    row("line width", A::LineWidth, Input::TypeNumber, "7", "7", "imgElement/width", "7");
    row("line colour", A::LineColor, Input::PickColour, "", blue, "imgElement/color", blue);
    // The colour row follows its channel: no opacity, the same red.
    row("line opacity", A::LineColor + 4, Input::TypeNumber, "0", "0", "imgElement/color",
        "#00******");
    row("pen style", A::LineStyle, Input::ChooseNext, "", "虚线", "imgElement/lineStyle", "1");
    row("control point radius", A::ControlPointRadius, Input::TypeNumber, "15", "15",
        "controlPoint/radius", "15");
    row("control point green", A::ControlPointColor + 2, Input::TypeNumber, "0", "0",
        "controlPoint/color", "#****00**");
    row("font family", A::FontFamily, Input::ChooseLast, "", "", "textLabel/fontFamily", "");
    row("font size", A::FontSize, Input::TypeNumber, "40", "40", "textLabel/fontSize", "40");
    row("bold", A::Bold, Input::Tick, "", "1", "textLabel/bold", "true");
    row("text colour", A::TextColor, Input::PickColour, "", blue, "textLabel/color", blue);
}

void TstAttributeTree::editReachesTheShape()
{
    QFETCH(int, code);
    QFETCH(Input, input);
    QFETCH(QString, digits);
    QFETCH(QString, cellText);
    QFETCH(QString, field);
    QFETCH(QString, value);

    QJsonObject before = m_line->attribute()->toJson();
    const QImage shown = m_view->renderSceneToImage();
    QSignalSpy changed(m_tree, &AttributeTree::sigAttributeDataChanged);
    QWidget *editor = clickValue(code);
    QVERIFY(editor);
    QVERIFY(!editor->accessibleName().isEmpty());
    switch (input) {
    case Input::TypeNumber:
        QVERIFY(qobject_cast<QSpinBox *>(editor));
        typeNumber(editor, digits);
        break;
    case Input::PickColour: {
        auto *button = qobject_cast<ColorToolButton *>(editor);
        QVERIFY(button);
        QTest::mouseClick(button->button(), Qt::LeftButton);
        // The colour dialog belongs to the tree's window, never to no window at all.
        QCOMPARE(m_colourParent, m_tree->window());
        break;
    }
    case Input::ChooseNext:
        QTest::keyClick(editor, Qt::Key_Down);
        break;
    case Input::ChooseLast: {
        auto *combo = qobject_cast<QFontComboBox *>(editor);
        QVERIFY(combo);
        QTest::keyClick(combo, Qt::Key_End);
        cellText = value = combo->currentText();
        break;
    }
    case Input::Tick:
        QTest::mouseClick(editor, Qt::LeftButton, Qt::NoModifier, QPoint(8, editor->height() / 2));
        break;
    }
    QVERIFY(!changed.isEmpty());
    QCOMPARE(m_tree->itemForCode(code)->text(1), cellText);
    QVERIFY2(m_view->renderSceneToImage() != shown, "the shape looks the same");

    // That value alone changed in the shape's style.
    const QString group = field.section('/', 0, 0), key = field.section('/', 1);
    QJsonObject after = m_line->attribute()->toJson();
    QJsonObject was = before[group].toObject(), now = after[group].toObject();
    const QString old = was.take(key).toVariant().toString();
    for (int i = 0; i < value.size() && i < old.size(); ++i)
        if (value[i] == '*')
            value[i] = old[i];
    QCOMPARE(now.take(key).toVariant().toString(), value);
    before[group] = was;
    after[group] = now;
    QCOMPARE(after, before);
    if (code == AttributeTree::LineColor + 4)
        QCOMPARE(m_tree->itemForCode(AttributeTree::LineColor)->text(1), value);
}

void TstAttributeTree::toolDefaultsEditedInTheTreeAreKept()
{
    LineDataRegistry::instance()->setToolType(ShapeTypes::Rect);
    m_view->setDrawToolActive(true);
    const Attribute::Ptr toolStyle = m_view->currentToolAttribute();
    QVERIFY(toolStyle);
    QCOMPARE(m_tree->attribute(), toolStyle);

    typeNumber(clickValue(AttributeTree::LineWidth), "9");
    QTest::mouseClick(
        qobject_cast<ColorToolButton *>(clickValue(AttributeTree::LineColor))->button(),
        Qt::LeftButton);
    QTest::keyClick(clickValue(AttributeTree::LineStyle), Qt::Key_Down);
    QWidget *bold = clickValue(AttributeTree::Bold);
    QTest::mouseClick(bold, Qt::LeftButton, Qt::NoModifier, QPoint(8, bold->height() / 2));
    QSettings settings;
    QCOMPARE(settings.value("Measure/Rect/defaultLineWidth").toInt(), 9);
    QCOMPARE(settings.value("Measure/Rect/defaultLineColor").toString(), QString("#ff0000ff"));
    QCOMPARE(settings.value("Measure/Rect/defaultLineStyle").toInt(), 1);
    QCOMPARE(settings.value("Measure/labelFontBold").toBool(), true);
    // What a tool's defaults cannot keep is shown but not offered for editing.
    QVERIFY(m_tree->itemForCode(AttributeTree::StrikeOut)->isDisabled());
    QVERIFY(!clickValue(AttributeTree::StrikeOut));
    QVERIFY(!m_tree->itemForCode(AttributeTree::LineWidth)->isDisabled());

    // The next rectangle is drawn with the edited defaults; the selected line kept its own.
    GraphicsItemBase *rect = m_view->createShape(ShapeTypes::Rect);
    QCOMPARE(rect->attribute()->imgElement.width, 9);
    QCOMPARE(rect->attribute()->imgElement.lineStyle, 1);
    QVERIFY(m_line->attribute()->imgElement.width != 9);

    // Disarming offers nothing: the tree empties and no editor is left behind.
    m_view->setDrawToolActive(false);
    QVERIFY(!m_tree->attribute());
    QCOMPARE(m_tree->topLevelItemCount(), 0);
    QVERIFY(!m_tree->openEditor());
    settings.remove("Measure");
}

void TstAttributeTree::nullAttributeEmptiesTheTreeAndEditorsDieLater()
{
    // A handler of the change (the canvas deselecting, a tool disarmed) empties the tree while
    // the editor's own signal is still running.
    bool editorAliveInHandler = false;
    QPointer<QWidget> editor = clickValue(AttributeTree::LineWidth);
    QVERIFY(editor);
    const auto once = connect(m_tree, &AttributeTree::sigAttributeDataChanged, this, [&] {
        m_tree->setAttribute(nullptr);
        editorAliveInHandler = !editor.isNull();
    });
    typeNumber(editor, "5");
    disconnect(once);
    QVERIFY(editorAliveInHandler);
    QCOMPARE(m_line->attribute()->imgElement.width, 5);
    QCOMPARE(m_tree->topLevelItemCount(), 0);
    QVERIFY(!m_tree->openEditor());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(editor.isNull());
    m_tree->onItemClicked(nullptr, 1); // nothing to dereference

    // Another shape selected: edits go to it alone.
    const Attribute::Ptr other = std::make_shared<Attribute>();
    m_tree->setAttribute(other);
    typeNumber(clickValue(AttributeTree::LineWidth), "3");
    QCOMPARE(other->imgElement.width, 3);
    QCOMPARE(m_line->attribute()->imgElement.width, 5);
}

void TstAttributeTree::clicksOutsideValueCellsOpenNothing()
{
    QWidget *open = clickValue(AttributeTree::FontSize);
    QVERIFY(qobject_cast<QSpinBox *>(open));
    // The name column and the group rows leave the open editor in place.
    QTreeWidgetItem *width = m_tree->itemForCode(AttributeTree::LineWidth);
    QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                      m_tree->visualItemRect(width).topLeft() + QPoint(30, 5));
    QCOMPARE(m_tree->openEditor(), open);
    for (int group : {int(AttributeTree::GroupItem), int(AttributeTree::Font)}) {
        QVERIFY(!clickValue(group));
        QCOMPARE(m_tree->openEditor(), open);
    }
    // Another value cell closes it (later) and opens its own.
    QPointer<QWidget> guard(open);
    QWidget *next = clickValue(AttributeTree::ControlPointBorderWidth);
    QVERIFY(next && next != open);
    QCOMPARE(qobject_cast<QSpinBox *>(next)->maximum(), 6);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard.isNull());
}

void TstAttributeTree::treeReadsWellInBothLanguages()
{
    for (const bool english : {false, true}) {
        QVERIFY(WidgetLook::setEnglish(english));
        QCOMPARE(m_tree->headerItem()->text(0), english ? QString("Name") : QString("名称"));
        QCOMPARE(m_tree->itemForCode(AttributeTree::LineStyle)->text(1),
                 english ? QString("Solid Line") : QString("实线"));
        // The switch rebuilt the rows and closed any editor; open one to read and show it.
        m_tree->itemForCode(AttributeTree::ControlPointColor)->setExpanded(true);
        auto *colour = qobject_cast<ColorToolButton *>(clickValue(AttributeTree::TextColor));
        QVERIFY(colour);
        QCOMPARE(colour->button()->accessibleName(),
                 english ? QString("Choose color") : QString("选择颜色"));
        QVERIFY2(WidgetLook::clippedTexts(m_tree).isEmpty(),
                 qPrintable(WidgetLook::clippedTexts(m_tree).join(" | ")));
        WidgetLook::saveScreenshot(m_tree, english ? "AttributeTree_en" : "AttributeTree_zh");
    }
    QVERIFY(WidgetLook::setEnglish(false));

    // In the dark theme the open colour editor's text stays readable on its gray, and beside
    // the 20-pixel swatch lies that gray, not the cell's wider painted swatch.
    QString css;
    for (const char *name : {":/button.css", ":/treewidget.css", ":/mainwidget.css"}) {
        QFile file(QString::fromLatin1(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        css += QString::fromUtf8(file.readAll());
    }
    qApp->setStyleSheet(css);
    auto *colour = qobject_cast<ColorToolButton *>(clickValue(AttributeTree::LineColor));
    QVERIFY(colour);
    QApplication::processEvents();
    WidgetLook::saveScreenshot(m_tree, "AttributeTree_dark");
    const double contrast = WidgetLook::textContrast(colour->label());
    const QImage editor = colour->grab().toImage();
    qApp->setStyleSheet(QString());
    QVERIFY2(contrast >= 4.5, qPrintable(QString::number(contrast)));
    QCOMPARE(QColor(editor.pixel(colour->button()->geometry().right() + 5, colour->height() / 2)),
             QColor("gray"));
}

QTEST_MAIN(TstAttributeTree)
#include "tst_attributetree.moc"
