// CalibrationSession.h: one calibration on the canvas: the ruler line, the dialog beside it and
// the clean-up when the dialog closes.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class CalibrationData;
class CalibrationDialog;
class MeasureGraphicsViewBusiness;
class StraightLineItem;

// start() places a ruler line over the middle of the displayed picture and opens the
// calibration dialog without blocking. The line is unannounced (no table row, no unsaved
// change, not saved with the drawing) and held by its record id: it is looked up before every
// use, since the user may delete it or open another picture while the dialog is open. Lengths
// come from that line alone, never from another straight line being edited. When the dialog
// closes the line is removed; an accepted calibration becomes the current magnification and is
// saved to the settings; finished(accepted) follows. GUI thread.
class CalibrationSession : public QObject
{
    Q_OBJECT

public:
    CalibrationSession(MeasureGraphicsViewBusiness *view, CalibrationData *calibration,
                       QWidget *dialogParent);
    // Closes an open dialog (as cancelled) and removes the ruler.
    ~CalibrationSession() override;

    // False (and nothing shown) without a view, calibration data or picture, and on a second
    // call: a session runs once.
    bool start();
    CalibrationDialog *dialog() const { return m_dialog; }
    QString rulerId() const { return m_rulerId; }
    // The ruler line while it exists, else null.
    StraightLineItem *ruler() const;

    // The ruler's label: "L: %1 px / %2 %3" with a known real length, else "L: %1 px".
    static QString rulerLabel(double pixels, double actualLength, const QString &unit);

signals:
    void finished(bool accepted);

private:
    void onScaleLengthChanged();
    void onActualLengthChanged(double pixelLength, double actualLength, const QString &unit);
    void onDialogFinished(int result);
    void relabel();
    void removeRuler();
    void placeDialogBesideRuler();

    QPointer<MeasureGraphicsViewBusiness> m_view;
    QPointer<CalibrationData> m_calibration;
    QPointer<QWidget> m_dialogParent;
    QPointer<CalibrationDialog> m_dialog;
    QString m_rulerId;
    double m_actualLength = 0.0;
    QString m_unit;
    bool m_started = false;
    bool m_finished = false;
};
