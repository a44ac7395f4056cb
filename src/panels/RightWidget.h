// RightWidget.h: the right panel: the canvas area above and the measurement table below.
#pragma once

#include "model/LineDataBase.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class CalibrationData;
class QLabel;
class QTableWidgetItem;
class QTimer;

namespace Ui {
class RightWidget;
}

// Lists one row per measurement record of the canvas, converts the values with the current
// calibration, selects rows in step with the canvas, asks the canvas to delete records and
// exports the table as CSV. The main window places the canvas frame into measureArea(). GUI
// thread only.
class RightWidget : public QWidget
{
    Q_OBJECT

public:
    // Asks for the target file of the CSV export; an empty result cancels the export.
    using SaveFileNameProvider =
        std::function<QString(QWidget *parent, const QString &caption, const QString &proposedName,
                              const QString &filter)>;

    explicit RightWidget(QWidget *parent = nullptr);
    ~RightWidget() override;

    // The area above the table that hosts the canvas frame.
    QWidget *measureArea() const;

    void showTable();
    void hideTable();
    bool isTableVisible() const;

    // The table as the report and the CSV take it: every column's header text (or its number
    // counted from 1 when a column has no header item) and every row's cell texts.
    QStringList tableHeaders() const;
    QList<QStringList> tableRows() const;

    // Replaces the save dialog of the CSV export (the file dialog is used by default).
    void setSaveFileNameProvider(SaveFileNameProvider provider);

    // Re-reads the header and tab texts and rewrites every row in the current language.
    void retranslate();
    // Re-applies the tab bar style of the theme stored in the settings.
    void refreshTheme();

public slots:
    void onAddDrawLine(LineDataBase::Ptr lptr);
    void onDelDrawLine(LineDataBase::Ptr lptr);
    void onDrawLineDataChanged(LineDataBase::Ptr lptr);
    void onDeleteSelectedRow();
    void onDeleteAllRows();
    void onLineSelected(LineDataBase::Ptr lptr);
    // The canvas names its selected shape by its style: the row of the record that carries this
    // attribute is selected (none for a null attribute or one without a record).
    void onSelectedAttributeChanged(Attribute::Ptr attribute);
    void onExportCsv();
    void clearAll();
    void setCalibrationData(CalibrationData *data);
    void refreshAllData();

signals:
    void sigDelDrawLine(LineDataBase::Ptr lptr);
    void sigLineSelected(LineDataBase::Ptr lptr);
    void sigStatusMessage(const QString &text);

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The column titles and the empty table's hint in the current language.
    void setHeaderTexts();
    // Makes every column as wide as its title and its widest shown value (at least a short
    // number's width) and shares the table's remaining width out among them, so that the whole
    // table shows without sideways scrolling wherever it fits.
    void fitColumns();
    // Fits the columns on the next turn of the event loop, once for all changes until then.
    void scheduleFit();
    // A changed row refits the columns only when one of its values outgrew its column.
    void fitColumnsToRow(int row);
    int rowOf(const QString &id) const;
    LineDataBase::Ptr recordOfRow(int row) const;
    void writeRow(int row, const LineDataBase &record);
    void onCurrentItemChanged(QTableWidgetItem *current);
    void onContextMenuRequested(const QPoint &pos);

    std::unique_ptr<Ui::RightWidget> ui;
    QPointer<CalibrationData> m_calibration;
    // Set while the panel changes the table's selection or rows itself, so that the current-row
    // change it causes is not reported back to the canvas.
    bool m_selecting = false;
    QTimer *m_fitTimer = nullptr;
    QLabel *m_emptyHint = nullptr; // shown in the table while it has no rows
    bool m_tableSized = false;     // the table has had its first share of the height
    SaveFileNameProvider m_saveFileName;
};
