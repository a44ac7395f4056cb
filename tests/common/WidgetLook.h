// WidgetLook.h: what a user sees of a widget: the language it speaks, texts cut off by their
// widgets, controls the Tab key never reaches, and screenshots for a person to look at.
#pragma once

#include <QString>
#include <QStringList>

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

} // namespace WidgetLook
