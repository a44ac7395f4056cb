// LeftBarWidget.h: the left control bar: camera and picture controls, capture, files and tools.
#pragma once

#include "camera/CaptureBackend.h"
#include "camera/VideoFrameYUV.h"
#include "model/Attribute.h"

#include <QElapsedTimer>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QSize>
#include <QString>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class AttributeTree;
class CalibrationData;
class Camera;
class CaptureBackend;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;
class QSpinBox;
class QTimer;
class QUrl;
class VideoRecorder;
struct RememberedCameraSettings;

namespace Ui {
class LeftBarWidget;
}

// The panel has two pages: the camera page (camera list, picture properties, capture) and the
// measurement page (calibration lists, drawing tools, the attribute tree). It owns the camera,
// the recorder and the one calibration model. The camera half lives in LeftBarWidgetCamera.cpp
// (with the remembered camera settings in LeftBarWidgetCameraMemory.cpp), the capture half in
// LeftBarWidgetCapture.cpp.
//
// Threads: everything runs on the GUI thread except updateFrame(), which the camera calls
// directly on its decoding thread, and lastFrame(), which any thread may call.
class LeftBarWidget : public QWidget
{
    Q_OBJECT

public:
    // Longest wait of a capture, a save or closing the camera for the picture on screen.
    static constexpr int kFreshFrameWaitMs = 1500;

    enum Page { CameraPage = 0, MeasurePage = 1 };

    // Uses the cameras of this machine (V4L2 and the demo camera).
    explicit LeftBarWidget(QWidget *parent = nullptr);
    // Uses `backend` instead, e.g. a scripted device in tests.
    explicit LeftBarWidget(std::unique_ptr<CaptureBackend> backend, QWidget *parent = nullptr);
    // Nanoseconds of a monotonic clock for the recorder (the steady clock when empty): tests
    // hand frames over at exact times.
    using RecorderClock = std::function<qint64()>;
    LeftBarWidget(std::unique_ptr<CaptureBackend> backend, RecorderClock recorderClock,
                  QWidget *parent = nullptr);
    // Stops a recording (finishing its file) and closes the camera before any member goes.
    ~LeftBarWidget() override;

    Camera *camera() const { return m_camera; }
    VideoRecorder *recorder() const { return m_recorder; }
    CalibrationData *calibrationData() const { return m_calibration; }

    // Shows the camera page (refreshing the camera list) or the measurement page.
    void showPage(Page page);
    // Dark or light theme, for the parts of the panel whose look depends on it (icons).
    void setDarkTheme(bool dark);
    // Re-reads every text in the current language.
    void retranslate();

    // The latest full camera frame (null when none). Any thread.
    QImage lastFrame() const;
    // The file last written by a capture; set and cleared by the main window.
    QString lastSavedPath() const { return m_lastSavedPath; }
    void setLastSavedPath(const QString &path) { m_lastSavedPath = path; }

    // The last measured frame rate (previews per second, or delivered frames per second for
    // streams that make no previews); 0 while no camera runs.
    double fps() const { return m_fps; }
    // The frame-rate text: "FPS: %1" with one decimal, "FPS: --" while no camera runs.
    QString fpsText() const;
    // Measures the frame rate over `elapsedMs` from the frames counted since the last call and
    // announces it with sigFpsTextChanged. Called by the 1000 ms timer.
    void applyFrameRate(qint64 elapsedMs);

    // Recording as the record button runs it (the capture half asks for the file first). Starts
    // the recorder for frames of the last frame's size at the measured frame rate (rounded, at
    // least 1 fps); while it records, every packet reaches the full-resolution decoder, the
    // resolution and format lists are locked and the record button reads "停止录像". False when
    // there is no frame or the recorder did not start.
    bool beginRecording(const QString &path);
    // Finishes the file, turns full-rate decoding off, unlocks the lists and resets the button.
    // Does nothing when not recording.
    void endRecording();
    bool isRecording() const;

    // The dialogs and the desktop behind the capture side, replaceable for tests. A save dialog
    // gets the proposed name and the filters, preselects *selectedFilter and returns the chosen
    // one there; an empty name cancels. The URL opener shows a folder in the file browser.
    using SaveFileNameProvider =
        std::function<QString(QWidget *parent, const QString &caption, const QString &proposedName,
                              const QString &filter, QString *selectedFilter)>;
    using OpenFileNameProvider =
        std::function<QString(QWidget *parent, const QString &caption, const QString &filter)>;
    using OpenUrlProvider = std::function<bool(const QUrl &url)>;
    void setSaveFileNameProvider(SaveFileNameProvider provider);
    void setOpenFileNameProvider(OpenFileNameProvider provider);
    void setOpenUrlProvider(OpenUrlProvider provider);

    // Runs `then` with the camera's picture on screen at full resolution, after the canvas got
    // it: the last frame at once, or, while previews newer than it show, the full-resolution
    // picture of the next frame (the last frame when none has come after kFreshFrameWaitMs).
    // Captures, saves, reports, closing the camera and the main window's save on exit take the
    // picture the user saw.
    void withFrameOnScreen(std::function<void(const QImage &)> then);

public slots:
    // Camera side.
    void refreshCameraList();
    // A capture device came or went: the list is refreshed; when the open camera's device is
    // gone, a running recording is finished and the camera closed.
    void handleDeviceChange();
    void on_cbCameras_activated(int index);
    // Opens the selected camera (the main window calls it after its own checks).
    bool startCamera();
    // Finishes a running recording, then stops the camera, the frame-rate timer and the polls.
    void closeCamera();
    // Camera decoding thread: keeps the frame, feeds the recorder, passes it on.
    void updateFrame(QImage frame);
    // Previews on the GUI thread, passed on to the canvas (they were counted when made).
    void updatePreview(QImage preview);
    void updateYuvPreview(VideoFrameYUV frame);

    // Capture side (LeftBarWidgetCapture.cpp).
    // Writes the camera's picture to the preset folder (or a chosen file) and asks the main
    // window with sigSaveImage to store the drawing with it; onCaptureStored() reports the end.
    // The picture is the one on screen: while previews newer than the last full-resolution frame
    // show, the full-resolution picture of the next frame is asked for and written when it comes
    // (the last frame when none has come after kFreshFrameWaitMs).
    void onCapture();
    // The main window's answer to sigSaveImage(path): the picture with its drawing was stored
    // (ok) or not (error says why). Only then does the user hear of the save: status text and
    // the after-save dialog for a capture, a warning box for a failure.
    void onCaptureStored(const QString &path, bool ok, const QString &error);
    // Whether `path` is a capture this bar has written and handed on with sigSaveImage, its
    // outcome not yet reported; false for a picture the main window is still to write.
    bool isWrittenCapture(const QString &path) const;
    // Starts a recording (preset folder or a chosen file) or stops the running one.
    void onVideotapeClicked();
    // The after-save dialog: open the folder, change the save folder, "don't ask again".
    void showSaveSuccessDialog(const QString &title, const QString &text, const QString &filePath);
    void on_toolButtonSave_clicked();
    void on_toolButtonOpenImg_clicked();
    void onGroupButtonClicked(QAbstractButton *button);
    void on_pushButtonDel_clicked();
    void on_pushButtonDelAll_clicked();
    // Index 0 is "未定义" (no magnification), index i + 1 magnification i.
    void onCalibrationProNameChanged(int index);
    void onCalibrationUnitChanged(int index);
    void setDrawButtonsEnabled(bool enabled);
    void onAttribute(Attribute::Ptr m_attribute);
    // Rebuilds the magnification and unit lists from the reloaded calibration data.
    void reloadCalibrationLists();
    // The narrowest the bar may be whatever its pages hold; its minimum width is the larger of
    // this and what the widest page needs (never more than its maximum width, set first), and
    // follows their texts in every language.
    void setMinimumWidthFloor(int width);
    // The temporary magnification offered from an opened picture's pixel size becomes a normal
    // one, named after its pixel size ("1.000 μm/px", with " (2)" and so on when taken), or goes.
    void keepPictureCalibration();
    void discardPictureCalibration();
    // The active drawing tool finished its shape: its button is released.
    void releaseDrawTool();
    // The canvas's tool defaults changed: the attribute display is refreshed.
    void refreshAttributeDisplay();
    // Sets the still-image file-type list from the stored setting, without emitting.
    void refreshFileTypeList();

signals:
    void sigRequestStartCamera();
    void sigAttributeDataChanged(Attribute::Ptr attribute);
    void sigOpenImage(const QString &path);
    void sigSetImage(QImage image);
    void sigSetPreview(QImage preview);
    void sigSetYuvPreview(VideoFrameYUV frame);
    void sigSaveImage(const QString &path);
    void sigSaveFusedImage(const QString &path);
    void sigExportReport();
    void sigPalmModeChanged(bool panning);
    void error(const QString &message);
    void sigDrawToolActivated(bool activated);
    void sigClearCanvas();
    void sigRecordingStateChanged(bool recording);
    void sigOpenCalibrationDialog(CalibrationData *calibData);
    void sigOpenSetting();
    void sigDeleteRequested();
    void sigDeleteAllRequested();
    void sigStatusMessage(const QString &text);
    // The frame-rate text for the main window's status bar, once a second and at start and stop.
    void sigFpsTextChanged(const QString &text);

protected:
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    // Camera side, connected by object name.
    void on_pushButtonPlay_clicked();
    void on_refreshCameraList_clicked();
    void on_pushButtonMirror_clicked();
    void on_pushButtonFlip_clicked();
    void on_pushButtonOneKeyWB_clicked();
    void on_pushButtonWBDefault_clicked();
    void on_pushButtonColorDefault_clicked();
    void on_pushButtonExposureDefault_clicked();
    void on_pushButtonGainDefault_clicked();
    void on_checkBoxAutoExposure_toggled(bool on);
    void on_checkBoxAutoWhiteBalance_toggled(bool on);
    void on_comboBoxColorMode_activated(int index);
    void on_comboBoxPowerLine_activated(int index);
    void on_comboBoxResolution_activated(int index);
    void on_comboBoxFormat_activated(int index);
    // Asks, then puts every setting of the open camera back to its default and forgets the
    // values remembered for it (LeftBarWidgetCameraMemory.cpp).
    void on_pushButtonCameraDefaults_clicked();

private:
    // One picture property bound to its controls; the nine rows share one set of functions.
    struct PropertyRow
    {
        CameraProperty property;
        QSlider *slider;
        QSpinBox *spinBox;  // null when the value is shown in a label
        QLabel *valueLabel; // null when a spin box shows the value
        QCheckBox *autoBox; // the automatic mode, or null
        QTimer *poll;       // reads the automatic value back, or null
        bool (Camera::*set)(long);
        void (Camera::*rangeChanged)(long, long, long, long, long);
        bool bound = false; // the open camera announced a range
    };
    enum RowIndex { ExposureRow, GainRow, WhiteBalanceRow, FirstColourRow };

    void setupCameraSide();
    void setupCaptureSide();
    void retranslateCaptureSide();
    // Capture side helpers (LeftBarWidgetCapture.cpp).
    enum class SaveKind { Capture, Picture };
    QString askSaveFileName(const QString &caption, const QString &proposedName,
                            const QString &filter, QString *selectedFilter);
    QString presetFolder() const;
    QString imageSavePath(const QString &caption);
    // Writes `frame` as a capture: the rest of onCapture().
    void captureFrame(const QImage &frame);
    void runFrameWaiters(const QImage &frame);
    // When previews newer than the last full-resolution frame show, asks the camera for the
    // full-resolution picture of the next frame (it comes as Camera::requestedFrameReady) and
    // returns true.
    bool askForFrameOnScreen();
    // Closes the camera and leaves `frame`, when there is one, as the canvas's picture.
    void closeShowingFrame(const QImage &frame);
    void armTool(int toolType, bool drawing);
    void markChosen(QAbstractButton *chosen);
    void fillCalibrationLists();
    void layoutToolButtons();
    void fitContentWidth();
    void selectCalibrationEntries();
    void changeSaveFolder(bool video);
    void onRecordingStopped(const QString &filePath);
    void onRecorderError(const QString &message);
    void connectCamera();
    void fillCameraTexts();
    void onCameraError(const QString &message);
    void setPlayState(bool running);
    void setPropertyControlsEnabled(bool enabled);
    void bindRange(PropertyRow &row, long min, long max, long step, long current, long def);
    void onSliderMoved(PropertyRow &row, int value);
    void resetRow(PropertyRow &row);
    void showRowValue(PropertyRow &row, long value, int exposureDecimals);
    void setAutoMode(PropertyRow &row, bool on);
    void pollAutoValue(PropertyRow &row);
    void applyStartSettings(const RememberedCameraSettings &remembered);
    // Remembered settings of the open camera (LeftBarWidgetCameraMemory.cpp): the values the
    // user set are stored for the camera's identity and given back, fitted to what the device
    // accepts, through the same controls at every start.
    void applyRememberedSettings(const RememberedCameraSettings &fitted);
    // After a reopen for another mode, which announces the ranges (and automatic modes) anew.
    void reapplyRememberedSettings();
    void rememberValue(const char *name, const QVariant &value);
    void rememberAutoMode(const PropertyRow &row, bool on);
    void fillModeLists();
    void selectResolution(const QSize &resolution);
    void selectFormat(const QString &format);
    void updateModeListsEnabled();
    void setToggleStyle(QWidget *button, bool on);
    void readWhiteBalanceBack();

    std::unique_ptr<Ui::LeftBarWidget> ui;
    Camera *m_camera = nullptr;          // child of the panel
    VideoRecorder *m_recorder = nullptr; // child of the panel
    CalibrationData *m_calibration = nullptr;
    // Shown under the calibration lists while a picture's own pixel size is offered.
    QWidget *m_pictureCalibrationRow = nullptr;
    QLabel *m_pictureCalibrationLabel = nullptr;
    QAbstractButton *m_keepPictureCalibration = nullptr;
    QAbstractButton *m_discardPictureCalibration = nullptr;
    QButtonGroup *m_toolGroup = nullptr;
    QString m_lastSavedPath;

    // Capture side.
    AttributeTree *m_attributeTree = nullptr; // the form's treeWidget
    QList<QAbstractButton *> m_actionButtons; // delete buttons: in the group, never "choose"
    QList<QPair<int, QAbstractButton *>> m_gridTools; // tool buttons in form order
    int m_minimumWidthFloor = 0;                      // see setMinimumWidthFloor
    int m_toolColumns = 2;                            // columns of the tool buttons now
    QHash<QString, SaveKind> m_pendingStores;         // files handed to the main window to store
    SaveFileNameProvider m_saveFileName;
    QString m_lastAskedName; // what the last save dialog returned (it asked before replacing it)
    OpenFileNameProvider m_openFileName;
    OpenUrlProvider m_openUrl;
    int m_recorderErrors = 0;          // errors reported by the recorder so far
    bool m_recorderErrorShown = false; // a recorder error box is open; more are only logged
    bool m_darkTheme = true;

    // The nine property rows: exposure, gain, white balance and the six colour adjustments.
    std::vector<PropertyRow> m_rows;
    QTimer *m_exposurePoll = nullptr;
    QTimer *m_whiteBalancePoll = nullptr;
    // While remembered values are given back or defaults restored nothing is remembered anew.
    bool m_applyingRemembered = false;

    // Opening and camera errors.
    bool m_opening = false;      // startCamera is opening the device
    QString m_openError;         // the camera's message while opening, for the failure box
    bool m_errorPending = false; // a camera error is being reported; further ones are logged
    int m_streamGeneration = 0;  // counts successful starts; an error closes only its stream

    // Frame rate. The counters are written by the camera's threads and read by the timer.
    std::atomic<int> m_previewCount{0};
    std::atomic<int> m_frameCount{0};
    // Previews made since the last full-resolution frame was kept.
    std::atomic<int> m_previewsSinceFrame{0};
    // Actions waiting for the picture on screen (see withFrameOnScreen()), and their time limit.
    std::vector<std::function<void(const QImage &)>> m_frameWaiters;
    QTimer *m_frameWait = nullptr;
    bool m_closing = false; // closing the camera waits for the picture on screen
    QElapsedTimer m_fpsClock;
    QTimer *m_fpsTimer = nullptr;
    double m_fps = 0.0;

    // m_frameLock protects m_lastFrame: the decoding thread replaces it, the GUI thread reads it.
    mutable QMutex m_frameLock;
    QImage m_lastFrame;
    // Decoding thread only: ms since the epoch of the last frame passed on while recording.
    std::atomic<qint64> m_lastImageEmit{0};
};
