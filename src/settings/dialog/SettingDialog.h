// SettingDialog.h: the preferences dialog: appearance, files, measuring and miscellaneous pages.
#pragma once

#include "canvas/ToolDefaults.h"
#include "ui/frameless/DialogLessWindow.h"

#include <QColor>
#include <QKeySequence>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class QListWidgetItem;
class QRadioButton;
class QSettings;
class QUrl;

namespace Ui {
class SettingDialog;
}

// Loads every user preference from the settings store when it is built and writes all of them
// back on OK or Apply; Cancel and the close button write nothing. Keeps a working copy of every
// drawing tool's default style, captures keyboard shortcuts (refusing one that another action
// already uses) and offers the factory reset, after which it closes without saving. A frameless
// dialog with its own title bar; give it a parent so it stays above that window. GUI thread.
class SettingDialog : public DialogLessWindow
{
    Q_OBJECT

public:
    // The dialogs the settings dialog opens, replaceable so that tests answer them directly.
    // Each returns false (or an empty string, an invalid colour) when the user cancels; the URL
    // opener returns false when nothing could open the folder.
    using FolderProvider =
        std::function<QString(QWidget *parent, const QString &caption, const QString &start)>;
    using UrlOpener = std::function<bool(const QUrl &url)>;
    using IntProvider =
        std::function<bool(QWidget *parent, const QString &title, const QString &label, int value,
                           int minimum, int maximum, int *result)>;
    using ItemProvider =
        std::function<bool(QWidget *parent, const QString &title, const QString &label,
                           const QStringList &items, int current, QString *result)>;
    using ColorProvider =
        std::function<QColor(QWidget *parent, const QColor &initial, const QString &title)>;

    explicit SettingDialog(QWidget *parent = nullptr);
    ~SettingDialog() override;

    void setFolderProvider(FolderProvider provider);
    void setUrlOpener(UrlOpener opener);
    void setIntProvider(IntProvider provider);
    void setItemProvider(ItemProvider provider);
    void setColorProvider(ColorProvider provider);

    // The line style names in style-index order, translated.
    static QStringList lineStyleNames();

    // The factory reset: asks, and on Yes empties the whole settings store (the calibration list
    // included) and tells the user that the defaults apply after a restart. Returns true when
    // the store was emptied. Running parts keep the values they hold until then.
    static bool factoryReset(QWidget *parent);

public slots:
    // Stops a running shortcut capture before the dialog closes.
    void done(int result) override;

signals:
    // Apply has written the settings; the main window re-reads what it applies.
    void settingsChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private slots:
    // Names as auto-connected by the form: the title bar's close button, the page list and the
    // OK (8), Cancel (9) and Apply (10) buttons.
    void on_pushButtonClose_clicked();
    void on_listWidget_itemClicked(QListWidgetItem *item);
    void on_pushButton_8_clicked();
    void on_pushButton_9_clicked();
    void on_pushButton_10_clicked();
    // Clear the fullscreen, capture, zoom-in and zoom-out shortcut fields.
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_4_clicked();
    // Save path: choose, open, default.
    void on_pushButton_5_clicked();
    void on_pushButton_6_clicked();
    void on_pushButton_7_clicked();
    // Tool defaults: reset the shown tool, reset every tool.
    void on_pushButton_11_clicked();
    void on_pushButton_12_clicked();
    // Report export path: choose, open, default.
    void on_pushButton_13_clicked();
    void on_pushButton_14_clicked();
    void on_pushButton_15_clicked();
    void on_pushButtonFactoryReset_clicked();
    void on_pushButtonLabelColor_clicked();
    void onToolTypeComboChanged(int index);
    void onResetLabelDefaults();

private:
    // A check box bound to a boolean key.
    struct CheckRow
    {
        QCheckBox *box;
        const char *key;
        bool defaultValue;
    };
    // A combo box whose index plus `offset` is the stored integer.
    struct ComboRow
    {
        QComboBox *combo;
        const char *key;
        int defaultValue;
        int offset;
    };
    // A shortcut field with its key and the action name used in conflict messages.
    struct ShortcutRow
    {
        QLineEdit *edit;
        const char *key;
        const char *actionName;
    };
    // A preset-folder choice: the two radio buttons, the path field and the key names.
    struct FolderRow
    {
        QRadioButton *ask;
        QRadioButton *preset;
        QLineEdit *path;
        const char *ruleKey;
        bool ruleIsBool; // "File/usePresetPath" is a bool, "Measure/exportRule" an int
        const char *pathKey;
    };

    void initStylePage();
    void initFilePage();
    void initMeasurePage();
    void initOtherPage();
    void fillTexts();
    void updatePageIcons();
    void loadSettings();
    void loadStylePage(const QSettings &settings);
    void loadFilePage(const QSettings &settings);
    void loadMeasurePage(const QSettings &settings);
    void loadOtherPage(const QSettings &settings);
    // Writes every page; false (after telling the user) when the file could not be written, and
    // after a factory reset, when nothing is written any more.
    bool saveSettings();
    void saveStylePage(QSettings &settings);
    void saveFilePage(QSettings &settings);
    void saveMeasurePage(QSettings &settings);
    void saveOtherPage(QSettings &settings);
    void loadChecks(const QList<CheckRow> &rows, const QSettings &settings);
    void saveChecks(const QList<CheckRow> &rows, QSettings &settings);
    void loadCombos(const QList<ComboRow> &rows, const QSettings &settings);
    void saveCombos(const QList<ComboRow> &rows, QSettings &settings);
    static void loadFolder(const FolderRow &row, const QSettings &settings);
    static void saveFolder(const FolderRow &row, QSettings &settings);

    // Tool table (SettingDialogTools.cpp).
    void initToolTable();
    void fillToolNames();
    void showToolRows(int toolType);
    ToolDefaults globalToolDefaults(int toolType) const;
    void setColorCell(const QColor &color);
    void editToolCell(int row);
    void saveToolDefaults(QSettings &settings);
    void setLabelColor(const QColor &color);
    void setLabelFamily(const QString &family);

    // Shortcut capture (SettingDialogShortcuts.cpp).
    void startCapture(QLineEdit *edit);
    void stopCapture();
    bool captureKey(QKeyEvent *event);
    QString shortcutOwner(const QKeySequence &sequence, const QLineEdit *except) const;
    void clearShortcut(QLineEdit *edit);

    void chooseFolder(QLineEdit *edit, const QString &caption);
    void openFolder(const QLineEdit *edit);

    std::unique_ptr<Ui::SettingDialog> ui;

    QList<CheckRow> m_fileChecks;
    QList<ComboRow> m_fileCombos;
    QList<CheckRow> m_measureChecks;
    QList<CheckRow> m_otherChecks;
    QList<ComboRow> m_measureCombos;
    QList<ShortcutRow> m_shortcuts;
    FolderRow m_saveFolder{};
    FolderRow m_exportFolder{};

    // Working copy of every tool's defaults while the dialog is open, and the global values the
    // reset buttons return to.
    QMap<int, ToolDefaults> m_tools;
    ToolDefaults m_global;
    QString m_globalLineColor;
    int m_shownToolType = 0;
    QColor m_labelColor;
    // The label font family to store: the stored one until the user picks another in the combo
    // (the combo shows an installed substitute for a family the system lacks).
    QString m_labelFamily;

    // The shortcut field that is capturing keys, or null.
    QPointer<QLineEdit> m_capturing;
    // Set by the factory reset: nothing is saved any more by this dialog.
    bool m_storeReset = false;

    FolderProvider m_folderProvider;
    UrlOpener m_urlOpener;
    IntProvider m_intProvider;
    ItemProvider m_itemProvider;
    ColorProvider m_colorProvider;
};
