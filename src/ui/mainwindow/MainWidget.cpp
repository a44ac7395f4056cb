// MainWidget.cpp: the main window's construction, look, language, shortcuts, full screen and
// window states.
#include "ui/mainwindow/MainWidget.h"

#include "calibration/dialogs/CalibrationDialog.h"
#include "calibration/dialogs/CalibrationSession.h"
#include "camera/Camera.h"
#include "camera/DeviceMonitor.h"
#include "camera/SystemCaptureBackend.h"
#include "canvas/GraphicsScene.h"
#include "canvas/MeasureFrame.h"
#include "panels/LeftBarWidget.h"
#include "panels/RightWidget.h"
#include "settings/SettingsKeys.h"
#include "shapes/GraphicsItemBase.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QDialog>
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <utility>

namespace {

constexpr int kStatusMs = 5000;
constexpr double kZoomStep = 0.1;
constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 32.0;

void repolish(QWidget *widget)
{
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

// Every control carries a name for screen readers; tests find widgets by it too.
template <typename W>
W *named(W *widget, const char *objectName)
{
    widget->setObjectName(QLatin1String(objectName));
    return widget;
}

QToolButton *stripButton(QWidget *parent, const char *objectName)
{
    auto *button = named(new QToolButton(parent), objectName);
    // The strip is narrow: icons only, the name in the tooltip (no label is cut in any language).
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIconSize(QSize(28, 28));
    button->setAutoRaise(true);
    button->setFixedSize(44, 44);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QPushButton *titleButton(QWidget *parent, const char *objectName)
{
    auto *button = named(new QPushButton(parent), objectName);
    button->setFixedSize(40, 32);
    button->setFlat(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// Disabled icons fade towards whatever lies behind them, in either theme. The base style greys
// them against the application palette's light window colour instead, which leaves the dark
// theme's light icons as bright when disabled as when enabled.
class FadedDisabledIconStyle : public QProxyStyle
{
public:
    QPixmap generatedIconPixmap(QIcon::Mode mode, const QPixmap &pixmap,
                                const QStyleOption *option) const override
    {
        if (mode != QIcon::Disabled)
            return QProxyStyle::generatedIconPixmap(mode, pixmap, option);
        QPixmap faded(pixmap.size());
        faded.setDevicePixelRatio(pixmap.devicePixelRatio());
        faded.fill(Qt::transparent);
        QPainter painter(&faded);
        painter.setOpacity(0.35);
        painter.drawPixmap(0, 0, pixmap);
        return faded;
    }
};

// The status text: one line with an ellipsis in its middle when it is longer than the status bar
// has room for (a full path), instead of being cut through a letter; its end, which says what
// happened ("... exported successfully"), stays in sight. text() stays whole, so screen readers
// read it whole.
class ElidingLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        // Where the base places a left-aligned text: inside the margin, indented by half an "x"
        // when the label has a frame (the style sheet's padding gives it one).
        QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
        int indentation = indent();
        if (indentation < 0 && frameWidth() > 0)
            indentation = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - margin();
        if (indentation > 0)
            room.setLeft(room.left() + indentation);
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width());
        style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(), shown,
                              foregroundRole());
    }
};

QString readCss(const QString &name, QString *css)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString text = QString::fromUtf8(file.readAll());
    css->append(text);
    return text;
}

} // namespace

MainWidget::MainWidget(QWidget *parent)
    : MainWidget(std::make_unique<SystemCaptureBackend>(), createUdevDeviceEventSource(), parent)
{}

MainWidget::MainWidget(std::unique_ptr<CaptureBackend> backend,
                       std::unique_ptr<DeviceEventSource> deviceEvents, QWidget *parent)
    : WidgetLessWindow(parent)
    , m_runDialog([](QDialog *dialog) { return dialog->exec(); })
{
    setObjectName(QStringLiteral("MainWidget"));
    // The frame base announces maximising; the window passes it on.
    connect(static_cast<WidgetLessWindow *>(this), &WidgetLessWindow::maxChange, this,
            &MainWidget::maxChange);

    buildForm();
    setWindowIcon(QIcon(QStringLiteral(":/imgs/quorix.svg")));
    m_iconDir = QStringLiteral(":/imgs/");

    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size(available.width() * 65 / 100, available.height() * 65 / 100);
    resize(size);
    move(available.center() - QPoint(size.width() / 2, size.height() / 2));

    setTitleBar(m_widgetTop);
    addCaptionWidget(m_labelAppName);
    m_labelAppIcon->installEventFilter(this);

    m_toolButtonFullScreen->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolButtonFullScreen->setIcon(QIcon(QStringLiteral(":/imgs/fullscreen.svg")));
    m_toolButtonFullScreen->setIconSize(QSize(16, 16));
    m_toolButtonList->setIconSize(QSize(16, 16));

    m_statusLabel = named(new ElidingLabel(m_widgetBottom), "statusLabel");
    m_statusLabel->setStyleSheet(QStringLiteral("color: #888; padding-left: 4px;"));
    // A long text (a full path) is cut at the right rather than widening the window.
    m_statusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_bottomLayout->insertWidget(1, m_statusLabel, 1);
    m_statusTimer = named(new QTimer(this), "statusTimer");
    m_statusTimer->setSingleShot(true);
    m_statusTimer->setTimerType(Qt::PreciseTimer); // a coarse timer may end a newer text early
    m_statusTimer->setInterval(kStatusMs);
    connect(m_statusTimer, &QTimer::timeout, m_statusLabel, &QLabel::clear);

    m_leftBar = new LeftBarWidget(std::move(backend));
    m_deviceMonitor = new DeviceMonitor(std::move(deviceEvents), this);
    setupPanels();
    connectAreas();
    QMetaObject::connectSlotsByName(this);
    retranslateForm();

    m_leftBar->refreshCameraList();
    setStripState(m_toolButtonCamera);
    m_leftBar->showPage(LeftBarWidget::CameraPage);

    applySettings();
    // Once the event loop runs. A window being shown opens the camera only after its first paint:
    // the camera's threads would otherwise compete with the window's construction and first
    // paint for the processor. The later timer covers a window that is never painted (started
    // minimised or on a screen that is off).
    QTimer::singleShot(0, this, [this] {
        if (!isVisible() || m_painted) {
            startDemoCameraIfAlone();
            return;
        }
        m_cameraStartAfterPaint = true;
        QTimer::singleShot(1000, this, [this] {
            if (std::exchange(m_cameraStartAfterPaint, false))
                startDemoCameraIfAlone();
        });
    });
}

void MainWidget::paintEvent(QPaintEvent *event)
{
    WidgetLessWindow::paintEvent(event);
    m_painted = true;
    // Queued, so that the whole window is painted and on screen before the camera opens.
    if (std::exchange(m_cameraStartAfterPaint, false))
        QTimer::singleShot(0, this, &MainWidget::startDemoCameraIfAlone);
}

MainWidget::~MainWidget()
{
    // A calibration still open takes its ruler off the canvas: while the canvas is whole, not
    // among the canvas's children when it is already half destroyed.
    delete m_calibrationSession;
}

MeasureGraphicsViewBusiness *MainWidget::view() const
{
    return m_measureFrame->view();
}

void MainWidget::setDialogRunner(DialogRunner runner)
{
    m_runDialog = std::move(runner);
}

void MainWidget::buildForm()
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_widgetTop = named(new QWidget(this), "widgetTop");
    m_widgetTop->setFixedHeight(36);
    m_widgetTop->setAttribute(Qt::WA_StyledBackground);
    auto *top = new QHBoxLayout(m_widgetTop);
    top->setContentsMargins(8, 0, 0, 0);
    top->setSpacing(0);
    m_labelAppIcon = named(new QLabel(m_widgetTop), "labelAppIcon");
    m_labelAppIcon->setPixmap(QIcon(QStringLiteral(":/imgs/quorix.svg")).pixmap(20, 20));
    m_labelAppIcon->setFixedSize(28, 28);
    m_labelAppName = named(new QLabel(m_widgetTop), "labelAppName");
    m_pushButtonAbout = titleButton(m_widgetTop, "pushButtonAbout");
    m_pushButtonMin = titleButton(m_widgetTop, "pushButtonMin");
    m_pushButtonNormal = titleButton(m_widgetTop, "pushButtonNormal");
    m_pushButtonClose = titleButton(m_widgetTop, "pushButtonClose");
    top->addWidget(m_labelAppIcon);
    top->addSpacing(6);
    top->addWidget(m_labelAppName, 1);
    for (QPushButton *b :
         {m_pushButtonAbout, m_pushButtonMin, m_pushButtonNormal, m_pushButtonClose})
        top->addWidget(b);
    outer->addWidget(m_widgetTop);

    auto *middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    m_widgetLeft = named(new QWidget(this), "widgetLeft");
    m_widgetLeft->setAttribute(Qt::WA_StyledBackground);
    auto *strip = new QVBoxLayout(m_widgetLeft);
    strip->setContentsMargins(6, 8, 6, 8);
    strip->setSpacing(6);
    m_toolButtonCamera = stripButton(m_widgetLeft, "toolButtonCamera");
    m_toolButtonMeasure = stripButton(m_widgetLeft, "toolButtonMeasure");
    m_labelLine = named(new QLabel(m_widgetLeft), "labelLine");
    m_labelLine->setFixedHeight(1);
    m_toolButtonFCircular = stripButton(m_widgetLeft, "toolButtonFCircular");
    m_toolButtonVideo = stripButton(m_widgetLeft, "toolButtonVideo");
    m_toolButtonImage = stripButton(m_widgetLeft, "toolButtonImage");
    m_toolButtonSetting = stripButton(m_widgetLeft, "toolButtonSetting");
    m_toolButtonSetting->setIconSize(QSize(32, 32));
    strip->addWidget(m_toolButtonCamera);
    strip->addWidget(m_toolButtonMeasure);
    strip->addWidget(m_labelLine);
    strip->addWidget(m_toolButtonFCircular);
    strip->addWidget(m_toolButtonVideo);
    strip->addWidget(m_toolButtonImage);
    strip->addStretch(1);
    strip->addWidget(m_toolButtonSetting);
    // Not offered yet: the circular view, the video and the image pages.
    m_toolButtonFCircular->hide();
    m_toolButtonVideo->hide();
    m_toolButtonImage->hide();
    middle->addWidget(m_widgetLeft);
    m_widgetRight = named(new QWidget(this), "widgetRight");
    m_widgetRight->setAttribute(Qt::WA_StyledBackground);
    middle->addWidget(m_widgetRight, 1);
    outer->addLayout(middle, 1);

    m_widgetBottom = named(new QWidget(this), "widgetBottom");
    m_widgetBottom->setAttribute(Qt::WA_StyledBackground);
    m_widgetBottom->setFixedHeight(30);
    m_bottomLayout = new QHBoxLayout(m_widgetBottom);
    m_bottomLayout->setContentsMargins(6, 0, 8, 0);
    m_bottomLayout->setSpacing(6);
    auto separator = [this](const char *name) {
        auto *label = named(new QLabel(m_widgetBottom), name);
        label->setFixedSize(1, 16);
        label->setStyleSheet(QStringLiteral("background-color: rgba(128, 128, 128, 90);"));
        return label;
    };
    m_bottomLayout->addWidget(separator("label_2"));
    m_toolButtonExportData = named(new QToolButton(m_widgetBottom), "toolButtonExportData");
    m_toolButtonList = named(new QToolButton(m_widgetBottom), "toolButtonList");
    m_toolButtonFullScreen = named(new QToolButton(m_widgetBottom), "toolButtonFullScreen");
    for (QToolButton *b : {m_toolButtonExportData, m_toolButtonList, m_toolButtonFullScreen}) {
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setIconSize(QSize(16, 16));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    m_toolButtonExportData->setIcon(QIcon(QStringLiteral(":/imgs/export.svg")));
    m_toolButtonList->setIcon(QIcon(QStringLiteral(":/imgs/list.svg")));
    m_bottomLayout->addWidget(m_toolButtonExportData);
    m_bottomLayout->addWidget(m_toolButtonList);
    m_undoAction = named(new QAction(this), "actionUndo");
    m_redoAction = named(new QAction(this), "actionRedo");
    m_toolButtonUndo = named(new QToolButton(m_widgetBottom), "toolButtonUndo");
    m_toolButtonRedo = named(new QToolButton(m_widgetBottom), "toolButtonRedo");
    for (QAction *action : {m_undoAction, m_redoAction}) {
        action->setShortcutContext(Qt::WindowShortcut);
        action->setEnabled(false);
        addAction(action);
    }
    m_toolButtonUndo->setDefaultAction(m_undoAction);
    m_toolButtonRedo->setDefaultAction(m_redoAction);
    for (QToolButton *b : {m_toolButtonUndo, m_toolButtonRedo}) {
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setIconSize(QSize(16, 16));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        m_bottomLayout->addWidget(b);
    }
    m_bottomLayout->addWidget(separator("label_3"));
    m_bottomLayout->addWidget(m_toolButtonFullScreen);
    m_bottomLayout->addWidget(separator("label_4"));
    m_labelSliderCanvasZoom = named(new QLabel(m_widgetBottom), "labelSliderCanvasZoom");
    m_labelSliderCanvasZoom->setMinimumWidth(56);
    m_labelSliderCanvasZoom->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_labelSliderCanvasZoom->setText(QStringLiteral("1"));
    m_pushButtonCanvasScalenArrow =
        named(new QPushButton(m_widgetBottom), "pushButtonCanvasScalenArrow");
    m_horizontalSliderCanvas =
        named(new QSlider(Qt::Horizontal, m_widgetBottom), "horizontalSliderCanvas");
    m_horizontalSliderCanvas->setFixedWidth(140);
    m_pushButtonCanvasScalenEnlarge =
        named(new QPushButton(m_widgetBottom), "pushButtonCanvasScalenEnlarge");
    for (QPushButton *b : {m_pushButtonCanvasScalenArrow, m_pushButtonCanvasScalenEnlarge}) {
        b->setFixedSize(24, 22);
        b->setIconSize(QSize(16, 16));
        b->setFlat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    m_bottomLayout->addWidget(m_labelSliderCanvasZoom);
    m_bottomLayout->addWidget(m_pushButtonCanvasScalenArrow);
    m_bottomLayout->addWidget(m_horizontalSliderCanvas);
    m_bottomLayout->addWidget(m_pushButtonCanvasScalenEnlarge);
    m_bottomLayout->addWidget(separator("label_5"));
    m_labelFps = named(new QLabel(m_widgetBottom), "label_fps");
    m_labelFps->setMinimumWidth(80);
    m_bottomLayout->addWidget(m_labelFps);
    outer->addWidget(m_widgetBottom);
}

void MainWidget::retranslateForm()
{
    setWindowTitle(QStringLiteral("QUORIX") + (m_modified ? QStringLiteral("*") : QString()));
    m_labelAppName->setText(windowTitle());
    m_labelAppName->setAccessibleName(tr("程序名称"));
    m_labelAppIcon->setAccessibleName(tr("窗口菜单"));
    m_labelAppIcon->setToolTip(tr("窗口菜单"));
    const struct
    {
        QWidget *widget;
        QString name;
    } names[] = {
        {m_pushButtonAbout, tr("菜单")},
        {m_pushButtonMin, tr("最小化")},
        {m_pushButtonNormal, tr("最大化")},
        {m_pushButtonClose, tr("关闭")},
        {m_toolButtonCamera, tr("相机")},
        {m_toolButtonMeasure, tr("测量")},
        {m_toolButtonFCircular, tr("圆形视图")},
        {m_toolButtonVideo, tr("视频")},
        {m_toolButtonImage, tr("图片")},
        {m_toolButtonSetting, tr("设置")},
        {m_toolButtonExportData, tr("导出数据")},
        {m_toolButtonList, tr("列表")},
        {m_toolButtonUndo, tr("撤销")},
        {m_toolButtonRedo, tr("重做")},
        {m_pushButtonCanvasScalenArrow, tr("缩小")},
        {m_horizontalSliderCanvas, tr("画布缩放")},
        {m_pushButtonCanvasScalenEnlarge, tr("放大")},
    };
    for (const auto &row : names) {
        row.widget->setAccessibleName(row.name);
        row.widget->setToolTip(row.name);
    }
    // Labels that show a value keep their text as the accessible name, so that a screen reader
    // reads the value; the description says what the value is.
    const struct
    {
        QLabel *label;
        QString description;
    } values[] = {
        {m_labelSliderCanvasZoom, tr("画布缩放比例")},
        {m_labelFps, tr("帧率")},
        {m_statusLabel, tr("状态信息")},
    };
    for (const auto &row : values) {
        row.label->setAccessibleName(QString());
        row.label->setAccessibleDescription(row.description);
        row.label->setToolTip(row.description);
    }
    m_pushButtonAbout->setAccessibleDescription(tr("设置、关于与开源许可"));
    refreshUndoActions();
    if (m_measureFrame) {
        view()->setAccessibleName(tr("测量画布"));
        view()->setAccessibleDescription(tr("相机画面或图片，在其上绘制测量图形"));
    }
    for (QToolButton *b :
         {m_toolButtonCamera, m_toolButtonMeasure, m_toolButtonFCircular, m_toolButtonVideo,
          m_toolButtonImage, m_toolButtonSetting, m_toolButtonExportData, m_toolButtonList})
        b->setText(b->accessibleName());
    m_labelLine->setAccessibleName(tr("分隔线"));
    for (const char *name : {"label_2", "label_3", "label_4", "label_5"})
        m_widgetBottom->findChild<QLabel *>(QLatin1String(name))->setAccessibleName(tr("分隔线"));
    if (m_labelFps->text().isEmpty() || m_leftBar)
        m_labelFps->setText(m_leftBar ? m_leftBar->fpsText() : QStringLiteral("FPS: --"));
    refreshFullScreenButton();
}

void MainWidget::setupPanels()
{
    m_horizontalSliderCanvas->setRange(0, 32);

    auto *rightLayout = new QHBoxLayout(m_widgetRight);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    m_splitter = named(new QSplitter(Qt::Horizontal, m_widgetRight), "splitter");
    rightLayout->addWidget(m_splitter);

    m_rightWidget = new RightWidget;
    m_measureFrame = new MeasureFrame;
    auto *canvasLayout = new QHBoxLayout(m_rightWidget->measureArea());
    canvasLayout->setContentsMargins(0, 0, 0, 0);
    canvasLayout->addWidget(m_measureFrame);

    m_splitter->addWidget(m_leftBar);
    m_splitter->addWidget(m_rightWidget);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setCollapsible(0, false);
    m_splitter->setCollapsible(1, false);
    m_splitter->setHandleWidth(4);

    const int w = m_leftBar->fontMetrics().horizontalAdvance(LeftBarWidget::tr("停止录像"));
    m_leftBar->setMaximumWidth(std::max(2 * w + 142, 800));
    m_leftBar->setMinimumWidthFloor(std::max(2 * w + 62, 160));
    m_splitter->setSizes({2 * w + 142, 600});

    updateNormalButton(false);
    m_rightWidget->setCalibrationData(m_leftBar->calibrationData());
    view()->setCalibrationData(m_leftBar->calibrationData());
    m_leftBar->setDrawButtonsEnabled(false);
}

void MainWidget::startDemoCameraIfAlone()
{
    // A new user without a microscope sees the demo camera's live picture at once; a real camera
    // is never opened without being asked for.
    const QList<CaptureDeviceInfo> devices = m_leftBar->camera()->devices();
    if (devices.size() != 1 || devices.first().path != QLatin1String("demo") ||
        m_leftBar->camera()->isOpened())
        return;
    onRequestStartCamera();
}

void MainWidget::setStripState(QToolButton *chosen)
{
    for (QToolButton *b : {m_toolButtonCamera, m_toolButtonMeasure}) {
        b->setProperty("state", b == chosen ? "choosed" : "unchoosed");
        repolish(b);
    }
}

void MainWidget::updateNormalButton(bool maximized)
{
    m_pushButtonNormal->setProperty("state", maximized ? "max" : "normal");
    m_pushButtonNormal->setAccessibleName(maximized ? tr("还原") : tr("最大化"));
    m_pushButtonNormal->setToolTip(m_pushButtonNormal->accessibleName());
    repolish(m_pushButtonNormal);
}

void MainWidget::refreshFullScreenButton()
{
    const bool normal = !isFullScreen() && !isMaximized();
    m_toolButtonFullScreen->setIcon(
        QIcon(m_iconDir +
              (normal ? QStringLiteral("fullscreen.svg") : QStringLiteral("exitfullscreen.svg"))));
    m_toolButtonFullScreen->setText(normal ? tr("全屏") : tr("退出全屏"));
    m_toolButtonFullScreen->setAccessibleName(m_toolButtonFullScreen->text());
}

// ---- look ---------------------------------------------------------------------------------

void MainWidget::applySettings()
{
    applyThemeSettings();
    loadShortcuts();
    applyMeasureSettings();
    if (QSettings()
            .value(QLatin1String(SettingsKeys::kMaximizeOnStart),
                   SettingsKeys::kMaximizeOnStartDefault)
            .toBool() &&
        !isMaximized() && !isFullScreen())
        showMaximized();
}

void MainWidget::applyThemeSettings()
{
    QSettings settings;
    settings.sync();
    const int theme =
        settings.value(QLatin1String(SettingsKeys::kTheme), SettingsKeys::kThemeDefault).toInt();
    qDebug() << "applyThemeSettings: theme =" << theme;
    const bool light = theme == 0;
    const QStringList dark = {QStringLiteral(":/button.css"), QStringLiteral(":/treewidget.css"),
                              QStringLiteral(":/mainwidget.css")};
    const QStringList lightFiles = {QStringLiteral(":/button_light.css"),
                                    QStringLiteral(":/treewidget_light.css"),
                                    QStringLiteral(":/mainwidget_light.css")};
    QString css;
    for (const QString &name : light ? lightFiles : dark) {
        if (QFile::exists(name) && !readCss(name, &css).isNull())
            qDebug().noquote() << "applyThemeSettings: loaded CSS file:" << name;
        else
            qDebug().noquote() << "applyThemeSettings: FAILED to load CSS file:" << name;
    }
    if (light && css.isEmpty()) {
        qDebug() << "applyThemeSettings: light theme CSS empty, falling back to dark";
        for (const QString &name : dark) {
            if (!readCss(name, &css).isNull())
                qDebug().noquote() << "applyThemeSettings: loaded fallback CSS file:" << name;
            else
                qDebug().noquote()
                    << "applyThemeSettings: FAILED to load fallback CSS file:" << name;
        }
    }
    qDebug() << "applyThemeSettings: final CSS length =" << css.length();
    // Installed once per process (the application owns it). A flag and not a look at
    // QApplication::style(): once a style sheet is set, that is the sheet's wrapper around it.
    static bool fadedIcons = false;
    if (!std::exchange(fadedIcons, true))
        QApplication::setStyle(new FadedDisabledIconStyle);
    qApp->setStyleSheet(css);

    m_rightWidget->refreshTheme();
    m_iconDir = light ? QStringLiteral(":/imgs/dark/") : QStringLiteral(":/imgs/");
    refreshFullScreenButton();
    m_toolButtonSetting->setIcon(QIcon(m_iconDir + QStringLiteral("setup_fill.svg")));
    m_toolButtonSetting->setIconSize(QSize(32, 32));
    m_toolButtonExportData->setIcon(QIcon(m_iconDir + QStringLiteral("export.svg")));
    m_toolButtonList->setIcon(QIcon(m_iconDir + QStringLiteral("list.svg")));
    m_undoAction->setIcon(QIcon(m_iconDir + QStringLiteral("undo.svg")));
    m_redoAction->setIcon(QIcon(m_iconDir + QStringLiteral("redo.svg")));
    m_leftBar->setDarkTheme(!light);
    view()->setCheckerTheme(light);
    m_statusLabel->setStyleSheet(light ? QStringLiteral("color: #666; padding-left: 4px;")
                                       : QStringLiteral("color: #999; padding-left: 4px;"));
}

void MainWidget::loadShortcuts()
{
    QSettings settings;
    const auto read = [&settings](const char *key, const char *fallback) {
        return settings.value(QLatin1String(key), QLatin1String(fallback)).toString().trimmed();
    };
    const QString fullScreen =
        read(SettingsKeys::kShortcutFullscreen, SettingsKeys::kShortcutFullscreenDefault);
    const QString capture =
        read(SettingsKeys::kShortcutCapture, SettingsKeys::kShortcutCaptureDefault);
    QString zoomIn = read(SettingsKeys::kShortcutZoomIn, SettingsKeys::kShortcutZoomInDefault);
    // "Ctrl++" cannot be typed without Shift on most layouts; it means the key with "+" on it.
    if (zoomIn == QLatin1String("Ctrl++"))
        zoomIn = QStringLiteral("Ctrl+=");
    const QString zoomOut =
        read(SettingsKeys::kShortcutZoomOut, SettingsKeys::kShortcutZoomOutDefault);

    for (QPointer<QShortcut> *old :
         {&m_fullScreenShortcut, &m_captureShortcut, &m_zoomInShortcut, &m_zoomOutShortcut})
        delete old->data();

    const auto make = [this](const QString &text, const char *name) -> QShortcut * {
        if (text.isEmpty())
            return nullptr;
        auto *shortcut =
            new QShortcut(QKeySequence::fromString(text, QKeySequence::PortableText), this);
        shortcut->setObjectName(QLatin1String(name));
        shortcut->setContext(Qt::WindowShortcut);
        return shortcut;
    };
    if ((m_fullScreenShortcut = make(fullScreen, "shortcutFullScreen")))
        connect(m_fullScreenShortcut, &QShortcut::activated, this, &MainWidget::toggleFullScreen);
    if ((m_captureShortcut = make(capture, "shortcutCapture")))
        connect(m_captureShortcut, &QShortcut::activated, m_leftBar,
                [this] { QMetaObject::invokeMethod(m_leftBar, "onCapture"); });
    if ((m_zoomInShortcut = make(zoomIn, "shortcutZoomIn")))
        connect(m_zoomInShortcut, &QShortcut::activated, this, [this] { zoomBy(kZoomStep); });
    if ((m_zoomOutShortcut = make(zoomOut, "shortcutZoomOut")))
        connect(m_zoomOutShortcut, &QShortcut::activated, this, [this] { zoomBy(-kZoomStep); });

    // Undo and redo are actions of the window (their buttons show them); a key may name
    // several sequences, as redo does by default.
    m_undoAction->setShortcuts(QKeySequence::listFromString(
        read(SettingsKeys::kShortcutUndo, SettingsKeys::kShortcutUndoDefault),
        QKeySequence::PortableText));
    m_redoAction->setShortcuts(QKeySequence::listFromString(
        read(SettingsKeys::kShortcutRedo, SettingsKeys::kShortcutRedoDefault),
        QKeySequence::PortableText));
    refreshUndoActions();
}

void MainWidget::refreshUndoActions()
{
    const auto describe = [](QAction *action, const QString &name) {
        action->setText(name);
        QStringList keys;
        for (const QKeySequence &sequence : action->shortcuts())
            keys << sequence.toString(QKeySequence::NativeText);
        action->setToolTip(keys.isEmpty() ? name
                                          : QStringLiteral("%1 (%2)").arg(name, keys.join(", ")));
    };
    describe(m_undoAction, tr("撤销"));
    describe(m_redoAction, tr("重做"));
    m_toolButtonUndo->setAccessibleName(m_undoAction->text());
    m_toolButtonRedo->setAccessibleName(m_redoAction->text());
    m_toolButtonUndo->setAccessibleDescription(tr("撤销对测量图形的上一步修改"));
    m_toolButtonRedo->setAccessibleDescription(tr("重做撤销的修改"));
}

void MainWidget::zoomBy(double step)
{
    if (view()->imageSize().isEmpty())
        return;
    view()->setCanvasZoom(std::clamp(view()->canvasZoom() + step, kMinZoom, kMaxZoom));
}

void MainWidget::applyMeasureSettings()
{
    QSettings settings;
    const auto value = [&settings](const char *key, const QVariant &fallback) {
        return settings.value(QLatin1String(key), fallback);
    };
    // Only a change of the setting touches the drawing: applying unchanged settings must not
    // put back a scale bar that the drawing does not have, which would count as an unsaved
    // change of the user's drawing.
    const bool showScale =
        value(SettingsKeys::kShowScale, SettingsKeys::kShowScaleDefault).toBool();
    if (showScale != view()->scaleBarShown())
        view()->setScaleBarShown(showScale);
    view()->loadToolDefaults();
    GraphicsScene *scene = view()->graphicsScene();
    if (!scene)
        return;
    view()->setCrosshairVisible(
        value(SettingsKeys::kShowCrosshair, SettingsKeys::kShowCrosshairDefault).toBool());
    scene->setCrosshairWidth(
        value(SettingsKeys::kCrosshairWidth, SettingsKeys::kCrosshairWidthDefault).toInt());
    scene->setTickHeightMultiplier(
        value(SettingsKeys::kTickHeightMultiplier, SettingsKeys::kTickHeightMultiplierDefault)
            .toInt());
    scene->setTickIntervalMultiplier(
        value(SettingsKeys::kTickIntervalMultiplier, SettingsKeys::kTickIntervalMultiplierDefault)
            .toInt());
    scene->invalidate(scene->sceneRect(), QGraphicsScene::ForegroundLayer);
}

void MainWidget::setModified(bool modified)
{
    if (m_loading)
        return;
    m_modified = modified;
    // The drawing as it is now is the saved one: undoing back to it clears the mark again.
    if (!modified && m_measureFrame)
        view()->history()->stack()->setClean();
    QString title = windowTitle();
    if (title.endsWith(QLatin1Char('*')))
        title.chop(1);
    setWindowTitle(modified ? title + QLatin1Char('*') : title);
    m_labelAppName->setText(windowTitle()); // the title bar the user sees is our own
}

void MainWidget::showStatusMessage(const QString &text)
{
    m_statusLabel->setText(text);
    m_statusTimer->start(); // a newer text restarts the clock of the older one
}

void MainWidget::refreshItemLabels()
{
    for (GraphicsItemBase *item : view()->allItems())
        item->updateLabel();
}

// ---- title bar, strip, full screen --------------------------------------------------------

void MainWidget::on_pushButtonClose_clicked()
{
    close();
}

void MainWidget::on_pushButtonNormal_clicked()
{
    if (!isMaximized() && !isFullScreen())
        showMaximized();
    else
        showNormal();
}

void MainWidget::on_pushButtonMin_clicked()
{
    showMinimized();
}

void MainWidget::on_pushButtonAbout_clicked()
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("aboutMenu"));
    menu.addAction(QIcon(m_iconDir + QStringLiteral("setup_fill.svg")), tr("设置"), this,
                   &MainWidget::onOpenSetting);
    menu.addSeparator();
    menu.addAction(QIcon(m_iconDir + QStringLiteral("about.svg")), tr("关于"), this,
                   &MainWidget::onAbout);
    menu.addAction(QIcon(m_iconDir + QStringLiteral("about.svg")), tr("开源许可"), this,
                   &MainWidget::onLicenses);
    menu.exec(m_pushButtonAbout->mapToGlobal(QPoint(0, m_pushButtonAbout->height())));
}

void MainWidget::on_toolButtonCamera_clicked()
{
    setStripState(m_toolButtonCamera);
    m_leftBar->showPage(LeftBarWidget::CameraPage);
}

void MainWidget::on_toolButtonMeasure_clicked()
{
    setStripState(m_toolButtonMeasure);
    m_leftBar->showPage(LeftBarWidget::MeasurePage);
}

void MainWidget::on_toolButtonList_clicked()
{
    if (m_rightWidget->isTableVisible())
        m_rightWidget->hideTable();
    else
        m_rightWidget->showTable();
}

void MainWidget::on_toolButtonSetting_clicked()
{
    onOpenSetting();
}

void MainWidget::on_toolButtonFullScreen_clicked()
{
    toggleFullScreen();
}

void MainWidget::onHorizontalSliderCanvasValueChanged(int value)
{
    view()->setCanvasZoom(value);
}

void MainWidget::on_pushButtonCanvasScalenArrow_clicked()
{
    zoomBy(-kZoomStep);
}

void MainWidget::on_pushButtonCanvasScalenEnlarge_clicked()
{
    zoomBy(kZoomStep);
}

void MainWidget::toggleFullScreen()
{
    if (!isFullScreen() && !isMaximized()) {
        m_beforeFullScreen = {true,
                              m_widgetTop->isVisibleTo(this),
                              m_widgetLeft->isVisibleTo(this),
                              m_leftBar->isVisibleTo(this),
                              m_rightWidget->isTableVisible(),
                              m_widgetBottom->isVisibleTo(this)};
        showFullScreen();
        for (QWidget *w :
             {m_widgetTop, m_widgetLeft, static_cast<QWidget *>(m_leftBar), m_widgetBottom})
            w->hide();
        m_rightWidget->hideTable();
    } else {
        showNormal();
    }
    refreshFullScreenButton();
}

void MainWidget::restoreAreasAfterFullScreen()
{
    if (!m_beforeFullScreen.saved) {
        // Maximised without full screen: nothing was hidden by the window, show the frame.
        for (QWidget *w :
             {m_widgetTop, m_widgetLeft, static_cast<QWidget *>(m_leftBar), m_widgetBottom})
            w->show();
        return;
    }
    const AreaVisibility before = m_beforeFullScreen;
    m_beforeFullScreen.saved = false;
    m_widgetTop->setVisible(before.top);
    m_widgetLeft->setVisible(before.left);
    m_leftBar->setVisible(before.leftBar);
    m_widgetBottom->setVisible(before.bottom);
    if (before.table)
        m_rightWidget->showTable();
}

void MainWidget::showSystemMenu()
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("systemMenu"));
    menu.setMinimumWidth(180);
    const QString dir = m_iconDir.startsWith(QLatin1String(":/imgs/dark/"))
                            ? m_iconDir
                            : QStringLiteral(":/imgs/menu/");
    const QString ext = dir == m_iconDir ? QStringLiteral(".svg") : QStringLiteral(".png");
    QAction *restore = menu.addAction(QIcon(dir + QStringLiteral("normalsize") + ext), tr("还原"),
                                      this, &QWidget::showNormal);
    restore->setEnabled(isMaximized());
    menu.addAction(QIcon(dir + QStringLiteral("minus") + ext), tr("最小化"), this,
                   &QWidget::showMinimized);
    QAction *maximize = menu.addAction(QIcon(dir + QStringLiteral("maximize") + ext), tr("最大化"),
                                       this, &QWidget::showMaximized);
    maximize->setEnabled(!isMaximized());
    menu.addSeparator();
    menu.addAction(QIcon(dir + QStringLiteral("close") + ext), tr("关闭"), this, &QWidget::close);
    menu.exec(m_labelAppIcon->mapToGlobal(QPoint(0, m_labelAppIcon->height())));
}

bool MainWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_labelAppIcon && event->type() == QEvent::MouseButtonPress) {
        showSystemMenu();
        return true;
    }
    return WidgetLessWindow::eventFilter(watched, event);
}

void MainWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && (isFullScreen() || isMaximized())) {
        showNormal();
        refreshFullScreenButton();
        event->accept();
        return;
    }
    WidgetLessWindow::keyPressEvent(event);
}

void MainWidget::changeEvent(QEvent *event)
{
    WidgetLessWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        qDebug() << "MainWidget: LanguageChange received";
        if (m_leftBar) {
            retranslateForm();
            m_leftBar->retranslate();
            m_rightWidget->retranslate();
            refreshItemLabels();
        }
    } else if (event->type() == QEvent::WindowStateChange) {
        const auto *change = static_cast<QWindowStateChangeEvent *>(event);
        const Qt::WindowStates was = change->oldState();
        const Qt::WindowStates now = windowState();
        const bool wasLarge = was & (Qt::WindowFullScreen | Qt::WindowMaximized);
        const bool isLarge = now & (Qt::WindowFullScreen | Qt::WindowMaximized);
        if (wasLarge && !isLarge)
            restoreAreasAfterFullScreen();
        if ((was & Qt::WindowFullScreen) && !(now & Qt::WindowFullScreen) &&
            m_beforeFullScreen.saved)
            restoreAreasAfterFullScreen();
        if ((was & Qt::WindowMinimized) && !(now & Qt::WindowMinimized) && !m_restoring) {
            // Some window managers leave stale contents after restoring: repaint once settled.
            m_restoring = true;
            QTimer::singleShot(50, this, [this] {
                update();
                m_restoring = false;
            });
        }
        updateNormalButton(now & Qt::WindowMaximized);
        refreshFullScreenButton();
    }
}

void MainWidget::closeEvent(QCloseEvent *event)
{
    const bool confirm =
        QSettings()
            .value(QLatin1String(SettingsKeys::kConfirmOnExit), SettingsKeys::kConfirmOnExitDefault)
            .toBool();
    // A drawing saved now is stored with the picture on screen: while the camera runs, that
    // full-resolution picture is fetched first and the window is closed again once it is there.
    if (confirm && m_modified && m_leftBar->camera()->isOpened() && !m_exitPictureReady) {
        event->ignore();
        if (!m_exitPictureAsked) {
            m_exitPictureAsked = true;
            m_leftBar->withFrameOnScreen([this](const QImage &) {
                m_exitPictureAsked = false;
                m_exitPictureReady = true;
                QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            });
        }
        return;
    }
    m_exitPictureReady = false;
    if (confirm && !maybeSaveDrawing()) {
        event->ignore();
        return;
    }
    event->accept();
}
