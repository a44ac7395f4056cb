// CalibrationDialogBase.h: the window base of the calibration dialogs.
#pragma once

#include <QDialog>
#include <QTimer>

// The one place that names the base: the dialogs hold no frame-specific code, so moving them
// onto the program's own frameless dialog base changes this line only.
using CalibrationDialogBase = QDialog;

// Texts of another language may need more room than the window has: once the layouts have taken
// the new texts in, the window grows to its size hint (it never shrinks under the user).
inline void growToFitLater(QWidget *window)
{
    QTimer::singleShot(0, window, [window] {
        if (window->isVisible())
            window->resize(window->size().expandedTo(window->sizeHint()));
    });
}
