// CalibrationDialogBase.h: the window base of the calibration dialogs.
#pragma once

#include <QDialog>

// The one place that names the base: the dialogs hold no frame-specific code, so moving them
// onto the program's own frameless dialog base changes this line only.
using CalibrationDialogBase = QDialog;
