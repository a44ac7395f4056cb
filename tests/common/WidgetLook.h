// WidgetLook.h: what a user sees of a widget: the language it speaks, texts cut off by their
// widgets, text colours too close to their background, controls the Tab key never reaches, and
// screenshots for a person to look at.
#pragma once

#include <QString>
#include <QStringList>

class QImage;
class QWidget;

namespace WidgetLook {

// Installs the embedded English translation (true) or returns to the built-in Chinese (false)
// and lets every widget receive its LanguageChange. False when the translation cannot be loaded.
bool setEnglish(bool english);

// The texts of visible labels, buttons, check boxes, combo boxes (their current entry) and tree
// rows under `root` that do not fit their widget (or tree column), each as "objectName: text".
QStringList clippedTexts(QWidget *root);

// Saves a grab of `widget` as QUORIX_RENDER_DIR/<name>.png when that variable is set.
void saveScreenshot(QWidget *widget, const QString &name);

// The shown, enabled controls under `window` that take the focus by Tab but that pressing Tab
// from the focused control never reaches (a control that keeps the Tab key traps keyboard users),
// each as its objectName. An unchecked exclusive radio button counts as reached with its group.
QStringList unreachedByTab(QWidget *window);

// The contrast ratio (1 to 21, as WCAG defines it) between the text of `widget` and its
// background, read from its rendered pixels: the background is the commonest colour, the text
// the pixel farthest from it in luminance. Readable text needs 4.5 at least.
double textContrast(QWidget *widget);
// The same for a rendered picture, e.g. the part of a dialog's grab where a transparent label
// lies over its dialog's background.
double textContrast(const QImage &picture);

} // namespace WidgetLook
