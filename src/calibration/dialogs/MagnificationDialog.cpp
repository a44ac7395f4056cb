// MagnificationDialog.cpp: the working list, its table and the file exchange.
#include "calibration/dialogs/MagnificationDialog.h"

#include "ui_MagnificationDialog.h"

#include "calibration/dialogs/MagnificationEditDialog.h"

#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>

#include <cmath>

MagnificationDialog::MagnificationDialog(CalibrationData *calibration, QWidget *parent)
    : CalibrationDialogBase(parent)
    , ui(std::make_unique<Ui::MagnificationDialog>())
    , m_calibration(calibration)
{
    ui->setupUi(this);
    QTableWidget *table = ui->tableWidget;
    table->setColumnCount(2);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);

    m_openFileName = [](QWidget *parent, const QString &caption, const QString &filter) {
        return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
    };
    m_saveFileName = [](QWidget *parent, const QString &caption, const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
    };

    if (m_calibration) {
        const QList<CalibrationData::Magnification> list = m_calibration->magnifications();
        for (int i = 0; i < list.size(); ++i)
            m_entries.append({list[i], i});
    }
    // The buttons' object names say what they do; they are connected here, one by one.
    connect(ui->pushButtonEdit, &QPushButton::clicked, this, &MagnificationDialog::onEdit);
    connect(ui->pushButtonDelete, &QPushButton::clicked, this, &MagnificationDialog::onDelete);
    connect(ui->pushButtonClearAll, &QPushButton::clicked, this, &MagnificationDialog::onClearAll);
    connect(ui->pushButtonMoveUp, &QPushButton::clicked, this, &MagnificationDialog::onMoveUp);
    connect(ui->pushButtonMoveDown, &QPushButton::clicked, this, &MagnificationDialog::onMoveDown);
    connect(ui->pushButtonImport, &QPushButton::clicked, this, &MagnificationDialog::onImport);
    connect(ui->pushButtonExport, &QPushButton::clicked, this, &MagnificationDialog::onExport);
    connect(ui->pushButtonOk, &QPushButton::clicked, this, &MagnificationDialog::onOk);
    connect(ui->pushButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(table, &QTableWidget::itemSelectionChanged, this, &MagnificationDialog::updateButtons);
    connect(table, &QTableWidget::cellDoubleClicked, this, &MagnificationDialog::onEdit);
    table->installEventFilter(this);
    retranslate();
    refreshTable();
}

MagnificationDialog::~MagnificationDialog() = default;

void MagnificationDialog::setOpenFileNameProvider(FileNameProvider provider)
{
    m_openFileName = std::move(provider);
}

void MagnificationDialog::setSaveFileNameProvider(FileNameProvider provider)
{
    m_saveFileName = std::move(provider);
}

QList<CalibrationData::Magnification> MagnificationDialog::workingList() const
{
    QList<CalibrationData::Magnification> list;
    for (const Entry &entry : m_entries)
        list.append(entry.magnification);
    return list;
}

void MagnificationDialog::retranslate()
{
    ui->tableWidget->setHorizontalHeaderLabels({tr("名称"), tr("分辨率（像素/米）")});
    // 160 pixels, or the header's own width where the language needs more.
    QHeaderView *header = ui->tableWidget->horizontalHeader();
    ui->tableWidget->setColumnWidth(1, qMax(160, header->sectionSizeHint(1)));
}

void MagnificationDialog::refreshTable()
{
    const int selected = selectedRow();
    QTableWidget *table = ui->tableWidget;
    const QSignalBlocker blocker(table);
    table->setRowCount(m_entries.size());
    for (int row = 0; row < m_entries.size(); ++row) {
        const CalibrationData::Magnification &m = m_entries[row].magnification;
        auto *name = new QTableWidgetItem(m.name);
        name->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        const QString value =
            std::abs(m.resolution) <= 1e-12 ? tr("未定标") : QString::number(m.resolution, 'f', 2);
        auto *resolution = new QTableWidgetItem(value);
        resolution->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, 0, name);
        table->setItem(row, 1, resolution);
    }
    if (selected >= 0 && selected < m_entries.size())
        table->selectRow(selected);
    else
        table->clearSelection();
    updateButtons();
}

int MagnificationDialog::selectedRow() const
{
    const QList<QTableWidgetItem *> items = ui->tableWidget->selectedItems();
    return items.isEmpty() ? -1 : items.first()->row();
}

void MagnificationDialog::selectRow(int row)
{
    if (row >= 0 && row < m_entries.size())
        ui->tableWidget->selectRow(row);
    else
        ui->tableWidget->clearSelection();
    updateButtons();
}

void MagnificationDialog::updateButtons()
{
    const int row = selectedRow();
    ui->pushButtonEdit->setEnabled(row >= 0);
    ui->pushButtonDelete->setEnabled(row >= 0);
    ui->pushButtonMoveUp->setEnabled(row > 0);
    ui->pushButtonMoveDown->setEnabled(row >= 0 && row < m_entries.size() - 1);
    ui->pushButtonClearAll->setEnabled(!m_entries.isEmpty());
    ui->pushButtonExport->setEnabled(!m_entries.isEmpty());
}

void MagnificationDialog::onEdit()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    const QString unit = m_calibration ? m_calibration->currentUnit() : QStringLiteral("mm");
    MagnificationEditDialog editor(m_entries[row].magnification, unit, this);
    if (editor.exec() != QDialog::Accepted)
        return;
    const CalibrationData::Magnification edited = editor.result();
    if (edited.name.isEmpty()) {
        QMessageBox::information(this, tr("提示"), tr("放大倍率名称不能为空"));
        return;
    }
    for (int i = 0; i < m_entries.size(); ++i) {
        if (i != row && m_entries[i].magnification.name == edited.name) {
            QMessageBox::information(this, tr("提示"), tr("该放大倍率已存在"));
            return;
        }
    }
    m_entries[row].magnification = edited;
    refreshTable();
    selectRow(row);
}

void MagnificationDialog::onDelete()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    m_entries.removeAt(row);
    refreshTable();
    selectRow(qMin(row, m_entries.size() - 1));
}

void MagnificationDialog::onClearAll()
{
    if (m_entries.isEmpty())
        return;
    if (QMessageBox::question(this, tr("清空确认"), tr("确定要清空所有放大率条目吗？"),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return;
    m_entries.clear();
    refreshTable();
}

void MagnificationDialog::onMoveUp()
{
    const int row = selectedRow();
    if (row <= 0)
        return;
    m_entries.swapItemsAt(row, row - 1);
    refreshTable();
    selectRow(row - 1);
}

void MagnificationDialog::onMoveDown()
{
    const int row = selectedRow();
    if (row < 0 || row >= m_entries.size() - 1)
        return;
    m_entries.swapItemsAt(row, row + 1);
    refreshTable();
    selectRow(row + 1);
}

void MagnificationDialog::onImport()
{
    const QString path =
        m_openFileName(this, tr("导入放大率文件"), tr("放大率文件 (*.magn);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    CalibrationData imported;
    QString why;
    if (!imported.importFromFile(path, &why)) {
        QMessageBox::warning(this, tr("导入失败"),
                             tr("无法导入文件: %1").arg(path) + QLatin1Char('\n') + why);
        return;
    }
    m_entries.clear();
    for (const CalibrationData::Magnification &m : imported.magnifications())
        m_entries.append({m, -1});
    refreshTable();
    selectRow(m_entries.isEmpty() ? -1 : 0);
}

void MagnificationDialog::onExport()
{
    if (m_entries.isEmpty()) {
        QMessageBox::information(this, tr("导出"), tr("没有可导出的放大率条目"));
        return;
    }
    const QString path =
        m_saveFileName(this, tr("导出放大率文件"), tr("放大率文件 (*.magn);;所有文件 (*)"));
    if (path.isEmpty())
        return;
    CalibrationData exported;
    for (const Entry &entry : qAsConst(m_entries))
        exported.addMagnification(entry.magnification);
    if (!exported.exportToFile(path))
        QMessageBox::warning(this, tr("导出失败"), tr("无法导出文件: %1").arg(path));
}

void MagnificationDialog::onOk()
{
    if (m_calibration) {
        // The entry that was current stays current: followed by where it came from, or by its
        // name after an import.
        const int oldCurrent = m_calibration->currentIndex();
        const QString oldName =
            oldCurrent >= 0 ? m_calibration->currentMagnification().name : QString();
        int newCurrent = -1;
        for (int i = 0; i < m_entries.size() && oldCurrent >= 0; ++i) {
            if (m_entries[i].origin == oldCurrent) {
                newCurrent = i;
                break;
            }
            if (newCurrent < 0 && m_entries[i].origin < 0 &&
                m_entries[i].magnification.name == oldName)
                newCurrent = i;
        }
        m_calibration->clear();
        for (const Entry &entry : qAsConst(m_entries))
            m_calibration->addMagnification(entry.magnification);
        m_calibration->setCurrentIndex(newCurrent);
    }
    accept();
}

bool MagnificationDialog::eventFilter(QObject *watched, QEvent *event)
{
    // Enter on a selected row edits it, as a double-click does; elsewhere Enter means OK.
    if (watched == ui->tableWidget && event->type() == QEvent::KeyPress && selectedRow() >= 0) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            onEdit();
            return true;
        }
    }
    return CalibrationDialogBase::eventFilter(watched, event);
}

void MagnificationDialog::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        retranslate();
        refreshTable();
    }
    CalibrationDialogBase::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        growToFitLater(this);
}
