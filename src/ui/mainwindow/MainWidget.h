// MainWidget.h: the main window: owns the left bar, the canvas and the measurement table and
// wires them together.
#pragma once

#include "camera/VideoFrameYUV.h"
#include "ui/frameless/WidgetLessWindow.h"

#include <QImage>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class CaptureBackend;
class QAction;
class DeviceEventSource;
class DeviceMonitor;
class LeftBarWidget;
class MeasureFrame;
class MeasureGraphicsViewBusiness;
class QDialog;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QShortcut;
class QSlider;
class QSplitter;
class QTimer;
class QToolButton;
class RightWidget;
class CalibrationData;
class CalibrationSession;

// The single top-level window: title bar, tool strip, the left bar and the right panel (with the
// canvas above its table) in a splitter, and the status bar. Every signal between the areas is
// connected here (MainWidgetWiring.cpp); the operations that touch several areas live in
// MainWidgetActions.cpp. GUI thread only.
class MainWidget : public WidgetLessWindow
{
    Q_OBJECT

public:
    // Runs a modal dialog and returns its result; replaceable so that tests answer it.
    using DialogRunner = std::function<int(QDialog *dialog)>;

    // Uses the cameras and the device events of this machine.
    explicit MainWidget(QWidget *parent = nullptr);
    // Uses `backend` and `deviceEvents` instead (tests, benchmarks).
    MainWidget(std::unique_ptr<CaptureBackend> backend,
               std::unique_ptr<DeviceEventSource> deviceEvents, QWidget *parent = nullptr);
    ~MainWidget() override;

    LeftBarWidget *leftBar() const { return m_leftBar; }
    RightWidget *rightWidget() const { return m_rightWidget; }
    MeasureFrame *measureFrame() const { return m_measureFrame; }
    MeasureGraphicsViewBusiness *view() const;
    QLabel *statusLabel() const { return m_statusLabel; }
    DeviceMonitor *deviceMonitor() const { return m_deviceMonitor; }

    QString iconDir() const { return m_iconDir; }
    bool isModified() const { return m_modified; }
    QString currentImagePath() const { return m_currentImagePath; }

    // How the settings dialog is run (exec() by default).
    void setDialogRunner(DialogRunner runner);

    // Asks for the file to save into (the save question's picture, the report); it gets the
    // proposed name and the filters, preselects *selectedFilter and returns the chosen one there.
    // An empty name cancels. The file dialog is used by default.
    using SaveFileNameProvider =
        std::function<QString(QWidget *parent, const QString &caption, const QString &proposedName,
                              const QString &filter, QString *selectedFilter)>;
    void setSaveFileNameProvider(SaveFileNameProvider provider);
    // The folder holding the report templates quorix.docx and quorix.xlsx (by default the
    // "template" folder beside the program).
    void setReportTemplateDir(const QString &dir) { m_reportTemplateDir = dir; }

    // Theme, shortcuts and measuring settings from the settings store; maximises when asked to.
    void applySettings();
    void applyThemeSettings();
    void loadShortcuts();
    void applyMeasureSettings();
    // The unsaved-drawing flag with its "*" at the end of the title.
    void setModified(bool modified);
    // Asks what to do with unsaved drawing data; true when the caller may go on.
    bool maybeSaveDrawing();
    void toggleFullScreen();
    // Shows `text` in the status bar until a newer text or 5000 ms pass.
    void showStatusMessage(const QString &text);

public slots:
    // Part of the window's actions (MainWidgetActions.cpp).
    void onOpenImage(const QString &path);
    void onSetImage(QImage image);
    void onSetPreview(QImage preview);
    void onSetYuvPreview(VideoFrameYUV frame);
    void onRequestStartCamera();
    void onClearCanvas();
    void onSaveImage(const QString &path);
    void onSaveFusedImage(const QString &path);
    void onExportReport();
    void onOpenCalibrationDialog(CalibrationData *calibration);
    void onOpenSetting();
    void onAbout();
    void onLicenses();

    // Connected by object name.
    void on_pushButtonClose_clicked();
    void on_pushButtonNormal_clicked();
    void on_pushButtonMin_clicked();
    void on_pushButtonAbout_clicked();
    void on_toolButtonCamera_clicked();
    void on_toolButtonMeasure_clicked();
    void on_toolButtonList_clicked();
    void on_toolButtonSetting_clicked();
    void on_toolButtonFullScreen_clicked();
    void onHorizontalSliderCanvasValueChanged(int value);
    void on_pushButtonCanvasScalenArrow_clicked();
    void on_pushButtonCanvasScalenEnlarge_clicked();

signals:
    void maxChange(bool maximized);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildForm();
    void retranslateForm();
    void setupPanels();
    void connectAreas();
    void startDemoCameraIfAlone();
    void setStripState(QToolButton *chosen);
    void updateNormalButton(bool maximized);
    void refreshFullScreenButton();
    void showSystemMenu();
    void zoomBy(double step);
    // Every measurement item re-writes its label (after a calibration or language change).
    void refreshItemLabels();
    void onCalibrationChanged();
    void restoreAreasAfterFullScreen();
    // Undo and redo: the buttons' names and tooltips with the current shortcuts.
    void refreshUndoActions();
    // Removes every drawing item and empties the table.
    void clearDrawing();
    // The save dialog of the actions (through the provider when one is set).
    QString askSaveFileName(const QString &caption, const QString &proposedName,
                            const QString &filter, QString *selectedFilter);
    // The save question's "Save" without a picture file that can hold the drawing: asks for one,
    // writes the picture there and embeds the drawing. False, with the user told why, when
    // nothing was saved.
    bool saveDrawingAs(const QString &proposedName);
    // Offers the pixel size that the opened picture at `path` states, unless its drawing brought
    // a calibration, as a temporary magnification; drops the previous picture's offer.
    void offerPictureCalibration(const QString &path);
    // Tells the user when the drawing stored in the opened picture at `path` could not be read,
    // wholly (a damaged comment) or in part (shapes that did not come back).
    void tellUnreadDrawing(const QString &path);

    // Form widgets, by object name.
    QWidget *m_widgetTop = nullptr;
    QLabel *m_labelAppIcon = nullptr;
    QLabel *m_labelAppName = nullptr;
    QPushButton *m_pushButtonAbout = nullptr;
    QPushButton *m_pushButtonMin = nullptr;
    QPushButton *m_pushButtonNormal = nullptr;
    QPushButton *m_pushButtonClose = nullptr;
    QWidget *m_widgetLeft = nullptr;
    QToolButton *m_toolButtonCamera = nullptr;
    QToolButton *m_toolButtonMeasure = nullptr;
    QLabel *m_labelLine = nullptr;
    QToolButton *m_toolButtonFCircular = nullptr;
    QToolButton *m_toolButtonVideo = nullptr;
    QToolButton *m_toolButtonImage = nullptr;
    QToolButton *m_toolButtonSetting = nullptr;
    QWidget *m_widgetRight = nullptr;
    QWidget *m_widgetBottom = nullptr;
    QHBoxLayout *m_bottomLayout = nullptr;
    QToolButton *m_toolButtonExportData = nullptr;
    QToolButton *m_toolButtonList = nullptr;
    QToolButton *m_toolButtonUndo = nullptr;
    QToolButton *m_toolButtonRedo = nullptr;
    // Undo and redo of the drawing, with their shortcuts; the two buttons show them.
    QAction *m_undoAction = nullptr;
    QAction *m_redoAction = nullptr;
    QToolButton *m_toolButtonFullScreen = nullptr;
    QLabel *m_labelSliderCanvasZoom = nullptr;
    QPushButton *m_pushButtonCanvasScalenArrow = nullptr;
    QSlider *m_horizontalSliderCanvas = nullptr;
    QPushButton *m_pushButtonCanvasScalenEnlarge = nullptr;
    QLabel *m_labelFps = nullptr;

    // Areas.
    QSplitter *m_splitter = nullptr;
    // The calibration in progress (its dialog and ruler), while one runs.
    QPointer<CalibrationSession> m_calibrationSession;
    LeftBarWidget *m_leftBar = nullptr;
    RightWidget *m_rightWidget = nullptr;
    MeasureFrame *m_measureFrame = nullptr;
    QLabel *m_statusLabel = nullptr;
    QTimer *m_statusTimer = nullptr; // clears the status text; restarted by every new text
    DeviceMonitor *m_deviceMonitor = nullptr;

    // Drawing state.
    QString m_currentImagePath;
    bool m_modified = false;
    bool m_painted = false;
    bool m_cameraStartAfterPaint = false;
    bool m_loading = false;
    bool m_restoring = false;
    // Closing the window while the camera runs: the picture on screen is being fetched (asked),
    // or is on the canvas and the save question may come (ready).
    bool m_exitPictureAsked = false;
    bool m_exitPictureReady = false;
    QString m_iconDir = QStringLiteral(":/imgs/");
    DialogRunner m_runDialog;
    SaveFileNameProvider m_saveFileName;
    QString m_lastAskedName; // what the last save dialog returned (it asked before replacing it)
    QString m_reportTemplateDir;

    // Which areas were visible before full screen hid them.
    struct AreaVisibility
    {
        bool saved = false;
        bool top = true, left = true, leftBar = true, table = true, bottom = true;
    } m_beforeFullScreen;

    QPointer<QShortcut> m_fullScreenShortcut;
    QPointer<QShortcut> m_captureShortcut;
    QPointer<QShortcut> m_zoomInShortcut;
    QPointer<QShortcut> m_zoomOutShortcut;
};
