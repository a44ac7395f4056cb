// MagnificationDialog.h: the magnification manager: edit, delete, clear, reorder, import and
// export of the magnification list.
#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/dialogs/CalibrationDialogBase.h"

#include <QPointer>

#include <functional>
#include <memory>

namespace Ui {
class MagnificationDialog;
}

// Works on a copy of the list; OK writes it back in table order, Cancel changes nothing. The
// magnification that was current stays current (followed through edits and moves) unless the
// user deleted it. GUI thread.
class MagnificationDialog : public CalibrationDialogBase
{
    Q_OBJECT

public:
    // Asks for a file to open or save; an empty result cancels.
    using FileNameProvider =
        std::function<QString(QWidget *parent, const QString &caption, const QString &filter)>;

    explicit MagnificationDialog(CalibrationData *calibration, QWidget *parent = nullptr);
    ~MagnificationDialog() override;

    // Replace the file dialogs (QFileDialog by default).
    void setOpenFileNameProvider(FileNameProvider provider);
    void setSaveFileNameProvider(FileNameProvider provider);

    // The working list, in table order.
    QList<CalibrationData::Magnification> workingList() const;

public slots:
    void onEdit();
    void onDelete();
    void onClearAll();
    void onMoveUp();
    void onMoveDown();
    void onImport();
    void onExport();
    void onOk();

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A working entry and the index it had in the calibration data (-1 when it came from a file).
    struct Entry
    {
        CalibrationData::Magnification magnification;
        int origin = -1;
    };

    void refreshTable();
    void updateButtons();
    void selectRow(int row);
    int selectedRow() const;
    void retranslate();

    std::unique_ptr<Ui::MagnificationDialog> ui;
    QPointer<CalibrationData> m_calibration;
    QList<Entry> m_entries;
    FileNameProvider m_openFileName;
    FileNameProvider m_saveFileName;
};
