// RightWidget.cpp: the measurement table: rows from canvas records, selection, deletion, CSV.
#include "panels/RightWidget.h"

#include "ui_RightWidget.h"

#include "calibration/CalibrationData.h"
#include "canvas/LineDataRegistry.h"
#include "panels/MeasurementCsv.h"
#include "panels/MeasurementRow.h"
#include "panels/ReplaceQuestion.h"
#include "settings/SettingsKeys.h"
#include "shapes/GraphicsItemBase.h"

#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QSplitter>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Marks a cell whose value the shape cannot measure.
constexpr int kNotMeasuredRole = Qt::UserRole + 1;
// The narrowest a column becomes: a short number still reads at a glance.
constexpr int kMinColumnWidth = 56;

// Restores a flag on every way out of a scope.
class FlagGuard
{
public:
    explicit FlagGuard(bool &flag)
        : m_flag(flag)
        , m_old(flag)
    {
        m_flag = true;
    }
    ~FlagGuard() { m_flag = m_old; }
    FlagGuard(const FlagGuard &) = delete;
    FlagGuard &operator=(const FlagGuard &) = delete;

private:
    bool &m_flag;
    bool m_old;
};

const char kDarkTabStyle[] =
    "QTabWidget::pane { border: 1px solid #3a3a3a; top: -1px; }"
    "QTabBar::tab { background: #2b2b2b; color: #bbbbbb; padding: 4px 14px;"
    " border: 1px solid #3a3a3a; border-bottom: none; }"
    "QTabBar::tab:selected { background: #353535; color: #ffffff; }";
const char kLightTabStyle[] =
    "QTabWidget::pane { border: 1px solid #c8c8c8; top: -1px; }"
    "QTabBar::tab { background: #e6e6e6; color: #444444; padding: 4px 14px;"
    " border: 1px solid #c8c8c8; border-bottom: none; }"
    "QTabBar::tab:selected { background: #ffffff; color: #000000; }";

} // namespace

RightWidget::RightWidget(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::RightWidget>())
    , m_saveFileName([](QWidget *parentWidget, const QString &caption, const QString &proposedName,
                        const QString &filter) {
        return QFileDialog::getSaveFileName(parentWidget, caption, proposedName, filter);
    })
{
    ui->setupUi(this);
    // Many rows come at once when a drawing opens: they are fitted once, after the last.
    m_fitTimer = new QTimer(this);
    m_fitTimer->setSingleShot(true);
    m_fitTimer->setInterval(0);
    connect(m_fitTimer, &QTimer::timeout, this, &RightWidget::fitColumns);
    ui->tabWidget->removeTab(ui->tabWidget->indexOf(ui->tab_2));
    refreshTheme();
    ui->widgetPackTable->hide();

    QTableWidget *table = ui->tableWidget;
    table->setColumnCount(MeasurementRow::ColumnCount);
    // An empty table says how it fills instead of showing a blank area.
    m_emptyHint = new QLabel(table->viewport());
    m_emptyHint->setObjectName(QStringLiteral("labelTableHint"));
    m_emptyHint->setAlignment(Qt::AlignCenter);
    m_emptyHint->setWordWrap(true);
    m_emptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *hintLayout = new QVBoxLayout(table->viewport());
    hintLayout->addWidget(m_emptyHint);
    setHeaderTexts();
    // The user may still drag a column wider; the next change of the rows fits them again.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->horizontalHeader()->setMinimumSectionSize(kMinColumnWidth);
    table->viewport()->installEventFilter(this);
    table->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QTableWidget::currentItemChanged, this,
            [this](QTableWidgetItem *current) { onCurrentItemChanged(current); });
    connect(table, &QTableWidget::customContextMenuRequested, this,
            &RightWidget::onContextMenuRequested);
}

RightWidget::~RightWidget() = default;

QWidget *RightWidget::measureArea() const
{
    return ui->widgetMeasure;
}

void RightWidget::showTable()
{
    ui->widgetPackTable->show();
    // The first time the table shows on screen it takes the share of the height that the form's
    // stretch factors give it (a third), leaving the picture the most; the splitter would
    // otherwise give it its preferred height, more than the picture's. Later the table comes
    // back at the height it had, or that the user dragged it to.
    QSplitter *splitter = ui->splitter;
    if (m_tableSized || !splitter->isVisible())
        return;
    m_tableSized = true;
    const int total = splitter->height() - splitter->handleWidth();
    const int canvasShare = ui->widgetMeasure->sizePolicy().verticalStretch();
    const int tableShare = ui->widgetPackTable->sizePolicy().verticalStretch();
    const int table = total * tableShare / std::max(1, canvasShare + tableShare);
    splitter->setSizes({total - table, table});
}

void RightWidget::hideTable()
{
    ui->widgetPackTable->hide();
}

bool RightWidget::isTableVisible() const
{
    return !ui->widgetPackTable->isHidden();
}

void RightWidget::setHeaderTexts()
{
    m_emptyHint->setText(tr("用测量工具在画面上绘制图形，它们的测量值会列在这里"));
    // The values carry no unit: the headers say it, below the name so that the columns stay as
    // narrow as before, and after it in the exported files.
    QStringList labels{tr("名称"), tr("长度"), tr("宽度"), tr("高度"), tr("半径"),
                       tr("直径"), tr("角度"), tr("距离"), tr("面积")};
    for (int column = 0; column < labels.size(); ++column) {
        const QString unit = MeasurementRow::columnUnit(column, m_calibration);
        if (!unit.isEmpty())
            labels[column] = QStringLiteral("%1\n(%2)").arg(labels[column], unit);
    }
    ui->tableWidget->setHorizontalHeaderLabels(labels);
}

QStringList RightWidget::tableHeaders() const
{
    const QTableWidget *table = ui->tableWidget;
    QStringList header;
    for (int c = 0; c < table->columnCount(); ++c) {
        const QTableWidgetItem *item = table->horizontalHeaderItem(c);
        header << (item ? item->text().replace(QLatin1Char('\n'), QLatin1Char(' '))
                        : QString::number(c + 1));
    }
    return header;
}

QList<QStringList> RightWidget::tableRows() const
{
    const QTableWidget *table = ui->tableWidget;
    QList<QStringList> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            // A value the shape cannot measure stays empty in files: no number, no prose.
            cells << (item && !item->data(kNotMeasuredRole).toBool() ? item->text() : QString());
        }
        rows << cells;
    }
    return rows;
}

void RightWidget::setSaveFileNameProvider(SaveFileNameProvider provider)
{
    m_saveFileName = std::move(provider);
}

int RightWidget::rowOf(const QString &id) const
{
    const QTableWidget *table = ui->tableWidget;
    for (int r = 0; r < table->rowCount(); ++r) {
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            if (item && item->data(Qt::UserRole).toString() == id)
                return r;
        }
    }
    return -1;
}

LineDataBase::Ptr RightWidget::recordOfRow(int row) const
{
    const QTableWidgetItem *item = ui->tableWidget->item(row, MeasurementRow::Name);
    if (!item)
        return nullptr;
    return LineDataRegistry::instance()->line(item->data(Qt::UserRole).toString());
}

void RightWidget::writeRow(int row, const LineDataBase &record)
{
    QTableWidget *table = ui->tableWidget;
    const QMap<int, QString> cells = MeasurementRow::cells(record, m_calibration.data());
    for (int c = 0; c < MeasurementRow::ColumnCount; ++c) {
        QTableWidgetItem *item = table->item(row, c);
        const auto cell = cells.constFind(c);
        if (cell == cells.cend()) {
            // A value the shape no longer yields (fewer points after an edit) must not linger.
            if (item && c != MeasurementRow::Name)
                delete table->takeItem(row, c);
            continue;
        }
        if (!item) {
            item = new QTableWidgetItem;
            item->setData(Qt::UserRole, record.id);
            table->setItem(row, c, item);
        }
        item->setText(cell.value());
        item->setData(kNotMeasuredRole, cell.value() == GraphicsItemBase::notMeasurableText());
    }
}

void RightWidget::onAddDrawLine(LineDataBase::Ptr lptr)
{
    if (!lptr)
        return;
    FlagGuard guard(m_selecting);
    QTableWidget *table = ui->tableWidget;
    // Rows follow the order of the drawing's records, so a record put back where it was (an
    // undone deletion) gets its row back where it was; a new record is the last one.
    QHash<QString, int> order;
    const QList<LineDataBase::Ptr> records = LineDataRegistry::instance()->lines();
    for (int i = 0; i < records.size(); ++i)
        order.insert(records[i]->id, i);
    const int mine = order.value(lptr->id, -1);
    int row = table->rowCount();
    for (int r = 0; mine >= 0 && r < table->rowCount(); ++r) {
        const QTableWidgetItem *first = table->item(r, 0);
        if (first && order.value(first->data(Qt::UserRole).toString(), -1) > mine) {
            row = r;
            break;
        }
    }
    table->insertRow(row);
    writeRow(row, *lptr);
    scheduleFit();
}

void RightWidget::onDelDrawLine(LineDataBase::Ptr lptr)
{
    if (!lptr)
        return;
    QTableWidget *table = ui->tableWidget;
    QList<int> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        for (int c = 0; c < table->columnCount(); ++c) {
            const QTableWidgetItem *item = table->item(r, c);
            if (item && item->data(Qt::UserRole).toString() == lptr->id) {
                rows << r;
                break;
            }
        }
    }
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    FlagGuard guard(m_selecting);
    for (int r : qAsConst(rows))
        table->removeRow(r);
    scheduleFit();
}

void RightWidget::onDrawLineDataChanged(LineDataBase::Ptr lptr)
{
    if (!lptr)
        return;
    const int row = rowOf(lptr->id);
    if (row < 0)
        return;
    FlagGuard guard(m_selecting);
    writeRow(row, *lptr);
    fitColumnsToRow(row);
}

void RightWidget::refreshAllData()
{
    setHeaderTexts(); // the unit may have changed
    FlagGuard guard(m_selecting);
    for (int r = 0; r < ui->tableWidget->rowCount(); ++r) {
        if (const LineDataBase::Ptr record = recordOfRow(r))
            writeRow(r, *record);
    }
    scheduleFit();
}

void RightWidget::setCalibrationData(CalibrationData *data)
{
    m_calibration = data;
    refreshAllData();
}

void RightWidget::clearAll()
{
    FlagGuard guard(m_selecting);
    ui->tableWidget->clearContents();
    ui->tableWidget->setRowCount(0);
    scheduleFit();
}

void RightWidget::scheduleFit()
{
    m_fitTimer->start();
    if (m_emptyHint) // not yet while the constructor applies the theme
        m_emptyHint->setVisible(ui->tableWidget->rowCount() == 0);
}

void RightWidget::fitColumnsToRow(int row)
{
    const QTableWidget *table = ui->tableWidget;
    if (!table->isVisible())
        return;
    const int grid = table->showGrid() ? 1 : 0;
    for (int c = 0; c < table->columnCount(); ++c) {
        const QModelIndex index = table->model()->index(row, c);
        if (table->sizeHintForIndex(index).width() + grid > table->columnWidth(c)) {
            scheduleFit();
            return;
        }
    }
}

void RightWidget::fitColumns()
{
    QTableWidget *table = ui->tableWidget;
    // A hidden table would measure every row each time (no rows are in view); it is fitted
    // once it shows.
    if (!table->isVisible())
        return;
    const QHeaderView *header = table->horizontalHeader();
    const int columns = table->columnCount();
    QVector<int> widths(columns);
    int needed = 0;
    for (int c = 0; c < columns; ++c) {
        // Through the base class: the table view keeps its override protected.
        const int content = static_cast<const QAbstractItemView *>(table)->sizeHintForColumn(c);
        widths[c] = std::max({kMinColumnWidth, header->sectionSizeHint(c), content});
        needed += widths[c];
    }
    const int spare = std::max(0, table->viewport()->width() - needed);
    for (int c = 0; c < columns; ++c)
        table->setColumnWidth(c, widths[c] + spare / columns + (c < spare % columns ? 1 : 0));
}

void RightWidget::onLineSelected(LineDataBase::Ptr lptr)
{
    if (m_selecting)
        return;
    FlagGuard guard(m_selecting);
    QTableWidget *table = ui->tableWidget;
    table->clearSelection();
    if (!lptr)
        return;
    const int row = rowOf(lptr->id);
    if (row < 0)
        return;
    QTableWidgetItem *first = nullptr;
    for (int c = 0; c < table->columnCount(); ++c) {
        if (QTableWidgetItem *item = table->item(row, c)) {
            item->setSelected(true);
            if (!first)
                first = item;
        }
    }
    if (first) {
        table->setCurrentItem(first, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        table->scrollToItem(first);
    }
}

void RightWidget::onSelectedAttributeChanged(Attribute::Ptr attribute)
{
    LineDataBase::Ptr match;
    if (attribute) {
        for (const LineDataBase::Ptr &record : LineDataRegistry::instance()->lines()) {
            if (record->attribute == attribute) {
                match = record;
                break;
            }
        }
    }
    onLineSelected(match);
}

void RightWidget::onCurrentItemChanged(QTableWidgetItem *current)
{
    if (m_selecting || !current)
        return;
    if (const LineDataBase::Ptr record = recordOfRow(current->row()))
        emit sigLineSelected(record);
}

void RightWidget::onDeleteSelectedRow()
{
    const int row = ui->tableWidget->currentRow();
    if (row < 0 || !ui->tableWidget->item(row, MeasurementRow::Name))
        return;
    const LineDataBase::Ptr record = recordOfRow(row);
    if (!record)
        return;
    if (QMessageBox::question(this, tr("提示"), tr("确定删除选中的线？"),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    emit sigDelDrawLine(record);
}

void RightWidget::onDeleteAllRows()
{
    if (ui->tableWidget->rowCount() == 0)
        return;
    if (QMessageBox::question(this, tr("提示"), tr("确定删除所有的线？"),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    // Collected first: the canvas answers every request by removing the row.
    QList<LineDataBase::Ptr> records;
    for (int r = 0; r < ui->tableWidget->rowCount(); ++r) {
        if (const LineDataBase::Ptr record = recordOfRow(r))
            records << record;
    }
    for (const LineDataBase::Ptr &record : qAsConst(records))
        emit sigDelDrawLine(record);
}

void RightWidget::onContextMenuRequested(const QPoint &pos)
{
    QMenu menu(this);
    QAction *deleteSelected = menu.addAction(tr("删除选中行"));
    QAction *deleteAll = menu.addAction(tr("删除全部"));
    // What would do nothing is shown disabled rather than silently ignored.
    const QTableWidget *table = ui->tableWidget;
    deleteSelected->setEnabled(table->currentRow() >= 0 &&
                               table->item(table->currentRow(), MeasurementRow::Name));
    deleteAll->setEnabled(table->rowCount() > 0);
    menu.addSeparator();
    QAction *exportData = menu.addAction(tr("导出测量数据"));
    // Acted on after the menu has closed, so that the dialogs they open are not nested in it.
    QAction *chosen = menu.exec(ui->tableWidget->viewport()->mapToGlobal(pos));
    if (chosen == deleteSelected)
        onDeleteSelectedRow();
    else if (chosen == deleteAll)
        onDeleteAllRows();
    else if (chosen == exportData)
        onExportCsv();
}

void RightWidget::onExportCsv()
{
    if (ui->tableWidget->rowCount() == 0) {
        QMessageBox::information(this, tr("导出"), tr("当前没有可导出的测量数据。"));
        return;
    }
    // File names keep their Chinese prefix in every language. The file is proposed in the save
    // folder, where the pictures and reports go.
    const QString folder =
        QSettings().value(SettingsKeys::kSavePath, SettingsKeys::defaultSavePath()).toString();
    const QString proposed = QDir(folder).filePath(
        QStringLiteral("测量数据_%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"))));
    const QString chosen =
        m_saveFileName(this, tr("导出测量数据"), proposed, tr("CSV 文件 (*.csv);;所有文件 (*)"));
    if (chosen.isEmpty())
        return;
    const QString path = MeasurementCsv::withCsvSuffix(chosen);
    if (!ReplaceQuestion::mayReplace(this, path, chosen, tr("导出测量数据")))
        return;

    QString error;
    if (!MeasurementCsv::write(path, tableHeaders(), tableRows(), &error)) {
        qWarning().noquote() << "RightWidget::exportCsv:" << path << error;
        QMessageBox::warning(this, tr("导出失败"),
                             tr("无法写入文件: %1").arg(QDir::toNativeSeparators(path)));
        return;
    }
    emit sigStatusMessage(tr("%1 导出成功").arg(QDir::toNativeSeparators(path)));
}

void RightWidget::retranslate()
{
    ui->retranslateUi(this);
    refreshAllData();
}

void RightWidget::refreshTheme()
{
    const int theme = QSettings().value(SettingsKeys::kTheme, SettingsKeys::kThemeDefault).toInt();
    ui->tabWidget->setStyleSheet(QLatin1String(theme == 0 ? kLightTabStyle : kDarkTabStyle));
    scheduleFit(); // the header's font and padding come with the theme
}

bool RightWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->tableWidget->viewport() &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        fitColumns();
    return QWidget::eventFilter(watched, event);
}

void RightWidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}
