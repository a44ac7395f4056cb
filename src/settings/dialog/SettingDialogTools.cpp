// SettingDialogTools.cpp: the per-tool default style table and the label font defaults.
#include "settings/dialog/SettingDialog.h"

#include "ui_SettingDialog.h"

#include "settings/SettingsKeys.h"
#include "shapes/ShapeTypes.h"

#include <QSettings>

using namespace SettingsKeys;

namespace {

enum ToolRow { RowLineWidth, RowLineColor, RowLineStyle, RowControlPointSize, RowCount };

// The tools in the order of the tool-type list, with their names there.
struct ToolName
{
    int type;
    const char *name;
};
const ToolName kToolNames[] = {
    {ShapeTypes::StraightLine, QT_TRANSLATE_NOOP("SettingDialog", "直线")},
    {ShapeTypes::Arrow, QT_TRANSLATE_NOOP("SettingDialog", "箭头")},
    {ShapeTypes::BrokenLine, QT_TRANSLATE_NOOP("SettingDialog", "折线")},
    {ShapeTypes::Rect, QT_TRANSLATE_NOOP("SettingDialog", "矩形")},
    {ShapeTypes::Rec3Point, QT_TRANSLATE_NOOP("SettingDialog", "三点矩形")},
    {ShapeTypes::Polygon, QT_TRANSLATE_NOOP("SettingDialog", "多边形")},
    {ShapeTypes::Circle2Point, QT_TRANSLATE_NOOP("SettingDialog", "两点圆")},
    {ShapeTypes::CircleCenterRadius, QT_TRANSLATE_NOOP("SettingDialog", "中心半径圆")},
    {ShapeTypes::DoubleCircle, QT_TRANSLATE_NOOP("SettingDialog", "双圆")},
    {ShapeTypes::Ellipse, QT_TRANSLATE_NOOP("SettingDialog", "椭圆")},
    {ShapeTypes::Ellipse3Point, QT_TRANSLATE_NOOP("SettingDialog", "三点椭圆")},
    {ShapeTypes::Ellipse5Point, QT_TRANSLATE_NOOP("SettingDialog", "五点椭圆")},
    {ShapeTypes::Arc, QT_TRANSLATE_NOOP("SettingDialog", "弧形")},
    {ShapeTypes::Angle3Point, QT_TRANSLATE_NOOP("SettingDialog", "三点角度")},
    {ShapeTypes::Angle4Point, QT_TRANSLATE_NOOP("SettingDialog", "四点角度")},
    {ShapeTypes::Parallel4Points, QT_TRANSLATE_NOOP("SettingDialog", "四点平行线")},
    {ShapeTypes::Parallel8Points, QT_TRANSLATE_NOOP("SettingDialog", "八点平行线")},
    {ShapeTypes::ParallelAny, QT_TRANSLATE_NOOP("SettingDialog", "任意平行线")},
    {ShapeTypes::Perpendicular3Points, QT_TRANSLATE_NOOP("SettingDialog", "三点垂线")},
    {ShapeTypes::Perpendicular4Points, QT_TRANSLATE_NOOP("SettingDialog", "四点垂线")},
    {ShapeTypes::Line3Point, QT_TRANSLATE_NOOP("SettingDialog", "三点线")},
};

const char *const kRowNames[RowCount] = {
    QT_TRANSLATE_NOOP("SettingDialog", "线宽"),
    QT_TRANSLATE_NOOP("SettingDialog", "线条颜色"),
    QT_TRANSLATE_NOOP("SettingDialog", "线型"),
    QT_TRANSLATE_NOOP("SettingDialog", "控制点大小"),
};

// Colours the way the settings and the drawing data keep them: "#AARRGGBB".
QString argbName(const QColor &color)
{
    return color.name(QColor::HexArgb);
}

// The short name for an opaque colour, the alpha form otherwise, so nothing shown is lost.
QString displayName(const QColor &color)
{
    return color.alpha() == 255 ? color.name() : argbName(color);
}

} // namespace

QStringList SettingDialog::lineStyleNames()
{
    return {tr("实线"), tr("虚线"), tr("点线"), tr("点画线"), tr("双点画线")};
}

void SettingDialog::initToolTable()
{
    for (const ToolName &tool : kToolNames)
        ui->comboBoxToolType->addItem(QString(), tool.type);
    QTableWidget *table = ui->tableWidgetToolAttr;
    table->setColumnCount(2);
    table->setRowCount(RowCount);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < RowCount; ++row) {
        auto *name = new QTableWidgetItem;
        name->setFlags(Qt::ItemIsEnabled);
        table->setItem(row, 0, name);
        auto *value = new QTableWidgetItem;
        value->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        table->setItem(row, 1, value);
    }
    connect(ui->comboBoxToolType, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SettingDialog::onToolTypeComboChanged);
}

void SettingDialog::fillToolNames()
{
    for (int i = 0; i < ui->comboBoxToolType->count(); ++i)
        ui->comboBoxToolType->setItemText(i, tr(kToolNames[i].name));
    QTableWidget *table = ui->tableWidgetToolAttr;
    table->setHorizontalHeaderLabels({tr("属性"), tr("值")});
    for (int row = 0; row < RowCount; ++row)
        table->item(row, 0)->setText(tr(kRowNames[row]));
    if (m_shownToolType)
        showToolRows(m_shownToolType);
}

void SettingDialog::onToolTypeComboChanged(int index)
{
    if (index < 0)
        return;
    // Edits go straight into the working copy, so the previous tool's rows are already kept.
    m_shownToolType = ui->comboBoxToolType->itemData(index).toInt();
    showToolRows(m_shownToolType);
}

void SettingDialog::showToolRows(int toolType)
{
    const ToolDefaults d = m_tools.value(toolType);
    QTableWidget *table = ui->tableWidgetToolAttr;
    table->item(RowLineWidth, 1)->setText(QString::number(d.lineWidth));
    setColorCell(d.lineColor);
    // A style outside the list (written by hand) is shown as its number and kept as it is.
    const QStringList styles = lineStyleNames();
    table->item(RowLineStyle, 1)
        ->setText(d.lineStyle >= 0 && d.lineStyle < styles.size() ? styles.at(d.lineStyle)
                                                                  : QString::number(d.lineStyle));
    table->item(RowControlPointSize, 1)->setText(QString::number(d.controlPointSize));
}

void SettingDialog::setColorCell(const QColor &color)
{
    QTableWidgetItem *cell = ui->tableWidgetToolAttr->item(RowLineColor, 1);
    cell->setText(displayName(color));
    cell->setBackground(color);
    cell->setForeground(color.lightness() < 129 ? QColor(Qt::white) : QColor(Qt::black));
}

ToolDefaults SettingDialog::globalToolDefaults(int toolType) const
{
    ToolDefaults d = m_global;
    const QColor palette = ToolDefaultsTable::paletteColor(toolType);
    if (palette.isValid())
        d.lineColor = palette;
    return d;
}

void SettingDialog::on_pushButton_11_clicked()
{
    m_tools.insert(m_shownToolType, globalToolDefaults(m_shownToolType));
    showToolRows(m_shownToolType);
}

void SettingDialog::on_pushButton_12_clicked()
{
    for (int type : ToolDefaultsTable::toolTypes())
        m_tools.insert(type, globalToolDefaults(type));
    showToolRows(m_shownToolType);
}

void SettingDialog::editToolCell(int row)
{
    ToolDefaults &d = m_tools[m_shownToolType];
    switch (row) {
    case RowLineWidth:
    case RowControlPointSize: {
        const bool width = row == RowLineWidth;
        int &field = width ? d.lineWidth : d.controlPointSize;
        int value = field;
        if (m_intProvider(this, width ? tr("线宽") : tr("控制点大小"),
                          width ? tr("线宽:") : tr("控制点大小:"), field, 1, 20, &value))
            field = value;
        break;
    }
    case RowLineColor: {
        const QColor color = m_colorProvider(this, d.lineColor, tr("选择颜色"));
        if (color.isValid())
            d.lineColor = color;
        break;
    }
    case RowLineStyle: {
        const QStringList styles = lineStyleNames();
        QString chosen;
        if (m_itemProvider(this, tr("线型"), tr("线型:"), styles, qMax(0, d.lineStyle), &chosen)) {
            const int style = styles.indexOf(chosen);
            if (style >= 0)
                d.lineStyle = style;
        }
        break;
    }
    default:
        return;
    }
    showToolRows(m_shownToolType);
}

void SettingDialog::saveToolDefaults(QSettings &settings)
{
    for (auto it = m_tools.cbegin(); it != m_tools.cend(); ++it) {
        const QString name = ShapeTypes::key(it.key());
        const ToolDefaults &d = it.value();
        settings.setValue(toolKey(name, kSuffixLineWidth), d.lineWidth);
        settings.setValue(toolKey(name, kSuffixLineColor), argbName(d.lineColor));
        settings.setValue(toolKey(name, kSuffixLineStyle), d.lineStyle);
        settings.setValue(toolKey(name, kSuffixControlPointSize), d.controlPointSize);
    }
    const auto global = [](const char *suffix) {
        return QLatin1String(kMeasureGroup) + QLatin1Char('/') + QLatin1String(suffix);
    };
    settings.setValue(global(kSuffixLineWidth), m_global.lineWidth);
    settings.setValue(global(kSuffixLineColor), m_globalLineColor);
    settings.setValue(global(kSuffixLineStyle), m_global.lineStyle);
    settings.setValue(global(kSuffixControlPointSize), m_global.controlPointSize);
    // The colours written are the user's choice: the canvas must not replace them by its
    // palette as it does once for a store that never had one.
    settings.setValue(QLatin1String(kDefaultColorsUpgraded), true);
}

void SettingDialog::setLabelColor(const QColor &color)
{
    m_labelColor = color;
    ui->pushButtonLabelColor->setStyleSheet(QStringLiteral("background-color: %1;")
                                                .arg(color.alpha() == 255
                                                         ? color.name()
                                                         : QStringLiteral("rgba(%1, %2, %3, %4)")
                                                               .arg(color.red())
                                                               .arg(color.green())
                                                               .arg(color.blue())
                                                               .arg(color.alpha())));
    ui->pushButtonLabelColor->setToolTip(displayName(color));
}

void SettingDialog::setLabelFamily(const QString &family)
{
    const QSignalBlocker blocker(ui->fontComboBoxLabel);
    ui->fontComboBoxLabel->setCurrentFont(QFont(family));
    m_labelFamily = family;
}

void SettingDialog::on_pushButtonLabelColor_clicked()
{
    const QColor color = m_colorProvider(this, m_labelColor, tr("选择颜色"));
    if (color.isValid())
        setLabelColor(color);
}

void SettingDialog::onResetLabelDefaults()
{
    setLabelFamily(QString::fromUtf8(kLabelFontFamilyDefault));
    ui->spinBoxLabelSize->setValue(kLabelFontSizeDefault);
    ui->checkBoxLabelBold->setChecked(false);
    ui->checkBoxLabelItalic->setChecked(false);
    ui->checkBoxLabelUnderline->setChecked(false);
    setLabelColor(QColor(QLatin1String(kLabelFontColorDefault)));
}
