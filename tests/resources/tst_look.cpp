// tst_look.cpp: the compiled-in style sheets and icons of both themes load, resolve and read.
#include "LogCapture.h"
#include "resources/QuorixResources.h"
#include "ui/frameless/WidgetLessWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QSpinBox>
#include <QSvgRenderer>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

struct Theme
{
    const char *name;
    QString iconDir;
    QString cssSuffix;
    QColor background; // the panel colour the icons sit on
};

const Theme Themes[] = {
    {"dark", QStringLiteral(":/imgs/"), QString(), QColor("#252a31")},
    {"light", QStringLiteral(":/imgs/dark/"), QStringLiteral("_light"), QColor("#ffffff")}};

const QStringList StyleNames = {QStringLiteral("mainwidget"), QStringLiteral("treewidget"),
                                QStringLiteral("button")};

QStringList iconNames(const QString &dir)
{
    QStringList names;
    QDirIterator it(dir, {QStringLiteral("*.svg")}, QDir::Files);
    while (it.hasNext()) {
        const QString name = QFileInfo(it.next()).completeBaseName();
        if (name != QLatin1String("quorix")) // the application icon, drawn on a grid of its own
            names.append(name);
    }
    names.sort();
    return names;
}

QString readText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

double luminance(const QColor &c)
{
    auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

// The best contrast ratio any mostly opaque pixel of the icon reaches against the background.
double bestContrast(const QImage &icon, const QColor &background)
{
    const double lb = luminance(background);
    double best = 1.0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const QColor c = icon.pixelColor(x, y);
            if (c.alpha() < 200)
                continue;
            const double lc = luminance(c);
            best = std::max(best, (std::max(lc, lb) + 0.05) / (std::min(lc, lb) + 0.05));
        }
    }
    return best;
}

QImage render(const QString &path, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

template <typename W>
W *named(QWidget *parent, const char *name, const QString &text = QString())
{
    auto *widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    if constexpr (std::is_base_of_v<QAbstractButton, W> || std::is_same_v<W, QLabel>)
        widget->setText(text);
    return widget;
}

// A window built like the program's, by the object names and properties the style sheets use.
std::unique_ptr<QWidget> buildGallery(const QString &iconDir)
{
    auto root = std::make_unique<WidgetLessWindow>();
    root->setObjectName(QStringLiteral("MainWidget"));
    auto *rootLayout = new QVBoxLayout(root.get());
    rootLayout->setContentsMargins(0, 0, 0, 0);
    rootLayout->setSpacing(0);

    auto *top = named<QWidget>(root.get(), "widgetTop");
    auto *topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(8, 0, 0, 0);
    auto *logo = new QLabel(top);
    logo->setPixmap(QIcon(QStringLiteral(":/imgs/new-logo-quorix-1024_32x32.ico")).pixmap(22, 22));
    topLayout->addWidget(logo);
    topLayout->addWidget(named<QLabel>(top, "labelAppName", QStringLiteral("QUORIX")));
    topLayout->addStretch(1);
    for (const char *name :
         {"pushButtonAbout", "pushButtonMin", "pushButtonNormal", "pushButtonClose"})
        topLayout->addWidget(named<QPushButton>(top, name));
    top->findChild<QPushButton *>(QStringLiteral("pushButtonNormal"))
        ->setProperty("state", "normal");
    rootLayout->addWidget(top);
    root->setTitleBar(top);

    auto *middle = new QHBoxLayout;
    middle->setSpacing(0);
    auto *strip = named<QWidget>(root.get(), "widgetLeft");
    auto *stripLayout = new QVBoxLayout(strip);
    stripLayout->setContentsMargins(0, 4, 0, 4);
    auto *camera = named<QToolButton>(strip, "toolButtonCamera");
    camera->setProperty("state", "choosed");
    auto *measure = named<QToolButton>(strip, "toolButtonMeasure");
    measure->setProperty("state", "unchoosed");
    stripLayout->addWidget(camera);
    stripLayout->addWidget(measure);
    stripLayout->addWidget(named<QLabel>(strip, "labelLine"));
    stripLayout->addStretch(1);
    auto *setting = named<QToolButton>(strip, "toolButtonSetting");
    setting->setProperty("state", "unchoosed");
    setting->setIcon(QIcon(iconDir + QStringLiteral("setup_fill.png")));
    setting->setIconSize(QSize(32, 32));
    stripLayout->addWidget(setting);
    middle->addWidget(strip);

    auto *bar = named<QWidget>(root.get(), "LeftBarWidget");
    bar->setFixedWidth(300);
    auto *barLayout = new QVBoxLayout(bar);
    barLayout->setContentsMargins(0, 0, 0, 0);
    auto *header = named<QToolButton>(bar, "toolButtonCameraList", QStringLiteral("相机列表"));
    header->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    barLayout->addWidget(header);
    auto *cameraRow = new QHBoxLayout;
    cameraRow->setContentsMargins(8, 4, 8, 4);
    auto *cameras = named<QComboBox>(bar, "cbCameras");
    cameras->addItem(QStringLiteral("演示相机"));
    cameraRow->addWidget(cameras, 1);
    cameraRow->addWidget(named<QToolButton>(bar, "refreshCameraList"));
    auto *play = named<QPushButton>(bar, "pushButtonPlay", QStringLiteral("打开"));
    play->setProperty("state", "play");
    cameraRow->addWidget(play);
    barLayout->addLayout(cameraRow);
    auto *exposure = new QGridLayout;
    exposure->setContentsMargins(8, 4, 8, 4);
    exposure->addWidget(named<QCheckBox>(bar, "checkBoxAutoExposure", QStringLiteral("自动曝光")),
                        0, 0);
    auto *slider = named<QSlider>(bar, "horizontalSliderGain");
    slider->setOrientation(Qt::Horizontal);
    slider->setValue(40);
    exposure->addWidget(slider, 1, 0);
    auto *spin = named<QSpinBox>(bar, "spinBoxGain");
    spin->setValue(40);
    exposure->addWidget(spin, 1, 1);
    barLayout->addLayout(exposure);
    auto *capture = new QHBoxLayout;
    capture->setContentsMargins(8, 4, 8, 4);
    for (const char *name :
         {"toolButtonCapture", "toolButtonVideotape", "toolButtonSave", "toolButtonOpenImg"}) {
        auto *button = named<QToolButton>(bar, name, QLatin1String(name).mid(10));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        capture->addWidget(button);
    }
    barLayout->addLayout(capture);
    auto *toolsHeader =
        named<QToolButton>(bar, "toolButtonMeasureTools", QStringLiteral("测量工具"));
    toolsHeader->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    barLayout->addWidget(toolsHeader);
    auto *tools = new QGridLayout;
    tools->setContentsMargins(8, 4, 8, 4);
    const char *toolNames[] = {
        "pushButtonStraightLine", "pushButtonRect",          "pushButtonCircle2Point",
        "pushButtonAngle3Point",  "pushButtonEllipse5Point", "pushButtonParaAny",
        "pushButtonText",         "pushButtonScale",         "pushButtonDelAll"};
    const char *toolTexts[] = {"直线",       "矩形", "两点圆", "三点角",  "五点椭圆",
                               "任意平行线", "文本", "比例尺", "全部删除"};
    for (int i = 0; i < 9; ++i) {
        auto *button = named<QPushButton>(bar, toolNames[i], QString::fromUtf8(toolTexts[i]));
        button->setProperty("ChooseType", i == 1 ? "choose" : "nochoose");
        tools->addWidget(button, i / 3, i % 3);
    }
    barLayout->addLayout(tools);
    auto *tree = named<QTreeWidget>(bar, "treeWidget");
    tree->setHeaderLabels({QStringLiteral("属性"), QStringLiteral("值")});
    auto *item = new QTreeWidgetItem(tree, {QStringLiteral("图元"), QString()});
    new QTreeWidgetItem(item, {QStringLiteral("线宽"), QStringLiteral("2")});
    new QTreeWidgetItem(item, {QStringLiteral("颜色"), QStringLiteral("#ffff0000")});
    new QTreeWidgetItem(tree, {QStringLiteral("控制点"), QString()});
    tree->expandAll();
    barLayout->addWidget(tree, 1);
    middle->addWidget(bar);

    auto *table = new QTableWidget(3, 4, root.get());
    table->setHorizontalHeaderLabels({QStringLiteral("序号"), QStringLiteral("类型"),
                                      QStringLiteral("长度"), QStringLiteral("面积")});
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c)
            table->setItem(r, c, new QTableWidgetItem(QString::number(r * 10 + c)));
    }
    table->selectRow(1);
    middle->addWidget(table, 1);
    rootLayout->addLayout(middle, 1);

    auto *bottom = named<QWidget>(root.get(), "widgetBottom");
    auto *bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(6, 0, 6, 0);
    bottomLayout->addWidget(named<QLabel>(bottom, "label_2", QStringLiteral("就绪")));
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(named<QToolButton>(bottom, "toolButtonExportData"));
    bottomLayout->addWidget(named<QToolButton>(bottom, "toolButtonList"));
    bottomLayout->addWidget(named<QPushButton>(bottom, "pushButtonCanvasScalenArrow"));
    auto *zoom = named<QSlider>(bottom, "horizontalSliderCanvas");
    zoom->setOrientation(Qt::Horizontal);
    zoom->setFixedWidth(120);
    bottomLayout->addWidget(zoom);
    bottomLayout->addWidget(named<QPushButton>(bottom, "pushButtonCanvasScalenEnlarge"));
    bottomLayout->addWidget(named<QLabel>(bottom, "label_fps", QStringLiteral("30.0 fps")));
    rootLayout->addWidget(bottom);
    return root;
}

} // namespace

class TestLook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void themesHaveTheSameIcons();
    void iconsRenderAndReadOnTheirTheme_data();
    void iconsRenderAndReadOnTheirTheme();
    void fixedNamesLoad_data();
    void fixedNamesLoad();
    void styleSheetsParseAndResolve_data();
    void styleSheetsParseAndResolve();
    void contactSheet();
};

void TestLook::initTestCase()
{
    QuorixResources::init();
    LogCapture::install();
}

void TestLook::themesHaveTheSameIcons()
{
    const QStringList dark = iconNames(Themes[0].iconDir);
    QVERIFY(dark.size() >= 60);
    QCOMPARE(iconNames(Themes[1].iconDir), dark);
}

void TestLook::iconsRenderAndReadOnTheirTheme_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("background");
    for (const Theme &theme : Themes) {
        for (const QString &name : iconNames(theme.iconDir)) {
            QTest::addRow("%s %s", theme.name, qPrintable(name))
                << theme.iconDir + name + QStringLiteral(".svg") << theme.background;
        }
    }
}

void TestLook::iconsRenderAndReadOnTheirTheme()
{
    QFETCH(QString, path);
    QFETCH(QColor, background);
    QSvgRenderer renderer(path);
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.viewBox(), QRect(0, 0, 24, 24));
    // A figure of its own stands out from the theme's panel (3:1, the contrast asked of
    // graphical objects) and stays inside the 24-pixel grid with a margin.
    const QImage image = render(path, 48);
    QVERIFY2(bestContrast(image, background) >= 3.0, qPrintable(path));
    for (int i = 0; i < 48; ++i) {
        QVERIFY(qAlpha(image.pixel(i, 0)) == 0 && qAlpha(image.pixel(i, 47)) == 0);
        QVERIFY(qAlpha(image.pixel(0, i)) == 0 && qAlpha(image.pixel(47, i)) == 0);
    }
}

void TestLook::fixedNamesLoad_data()
{
    // The icon names the program's code uses with a .png or .ico suffix, in both icon folders.
    QTest::addColumn<QString>("path");
    QTest::newRow("window icon") << QStringLiteral(":/imgs/new-logo-quorix-1024_32x32.ico");
    for (const char *dir : {":/imgs/", ":/imgs/dark/", ":/imgs/menu/"}) {
        const QStringList names =
            QByteArray(dir) == ":/imgs/menu/"
                ? QStringList{"normalsize", "minus", "maximize", "close"}
                : QStringList{"fullscreen", "exitfullscreen", "setup_fill", "about",    "refresh",
                              "tick",       "normalsize",     "minus",      "maximize", "close"};
        for (const QString &name : names)
            QTest::addRow("%s%s", dir, qPrintable(name)) << dir + name + QStringLiteral(".png");
    }
}

void TestLook::fixedNamesLoad()
{
    QFETCH(QString, path);
    // QIcon picks the pixmap engine by the suffix; the image reader then recognises the SVG.
    const QPixmap pixmap = QIcon(path).pixmap(32, 32);
    QVERIFY2(!pixmap.isNull(), qPrintable(path));
    const QImage image = pixmap.toImage();
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; ++y) {
        for (int x = 0; x < image.width() && !drawn; ++x)
            drawn = qAlpha(image.pixel(x, y)) > 128;
    }
    QVERIFY2(drawn, qPrintable(path));
}

void TestLook::styleSheetsParseAndResolve_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("iconDir");
    for (const Theme &theme : Themes) {
        for (const QString &name : StyleNames) {
            QTest::addRow("%s%s", qPrintable(name), qPrintable(theme.cssSuffix))
                << QStringLiteral(":/") + name + theme.cssSuffix + QStringLiteral(".css")
                << theme.iconDir;
        }
    }
}

void TestLook::styleSheetsParseAndResolve()
{
    QFETCH(QString, path);
    QFETCH(QString, iconDir);
    const QString css = readText(path);
    QVERIFY(!css.isEmpty());

    // Every image it names exists, and the light sheets only use the light theme's icons.
    const QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
    int urls = 0;
    for (auto it = url.globalMatch(css); it.hasNext(); ++urls) {
        const QString image = it.next().captured(1);
        QVERIFY2(QFile::exists(image), qPrintable(image));
        const bool alwaysLight = image == QStringLiteral(":/imgs/close.svg"); // on the red hover
        if (!alwaysLight)
            QVERIFY2(QFileInfo(image).path() + '/' == iconDir, qPrintable(image));
    }
    QVERIFY(urls > 0);

    // Qt parses it without complaint when it becomes the application's style sheet.
    LogCapture::clear();
    qApp->setStyleSheet(css);
    QPushButton button;
    button.setObjectName(QStringLiteral("pushButtonStraightLine"));
    button.ensurePolished();
    QCOMPARE(LogCapture::count(QStringLiteral("Could not parse")), 0);
    if (path.contains(QStringLiteral("button")))
        QVERIFY(!button.icon().isNull());
    qApp->setStyleSheet(QString());
}

void TestLook::contactSheet()
{
    // QUORIX_ICON_SHEET=path.png writes every icon on both theme backgrounds into one picture.
    const QString target = qEnvironmentVariable("QUORIX_ICON_SHEET");
    if (target.isEmpty())
        QSKIP("set QUORIX_ICON_SHEET to write the contact sheet");
    const QStringList names = iconNames(Themes[0].iconDir);
    const int cell = 92, icon = 32, columns = 10;
    const int rows = (names.size() + columns - 1) / columns;
    QImage sheet(columns * cell * 2 + 20, rows * cell + 180, QImage::Format_RGB32);
    sheet.fill(QColor("#808080"));
    QPainter painter(&sheet);
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    for (int t = 0; t < 2; ++t) {
        const QRect area(t * (columns * cell + 20), 0, columns * cell, rows * cell + 180);
        painter.fillRect(area, Themes[t].background);
        painter.setPen(t == 0 ? Qt::white : Qt::black);
        painter.drawText(
            area.adjusted(8, 8, 0, 0),
            QStringLiteral("%1 theme (%2)").arg(QLatin1String(Themes[t].name), Themes[t].iconDir));
        for (int i = 0; i < names.size(); ++i) {
            const QPoint origin =
                area.topLeft() + QPoint((i % columns) * cell, 30 + (i / columns) * cell);
            QSvgRenderer(Themes[t].iconDir + names[i] + QStringLiteral(".svg"))
                .render(&painter,
                        QRectF(origin + QPoint((cell - icon) / 2, 10), QSize(icon, icon)));
            QSvgRenderer(Themes[t].iconDir + names[i] + QStringLiteral(".svg"))
                .render(&painter, QRectF(origin + QPoint(6, 10), QSize(16, 16)));
            painter.drawText(QRect(origin + QPoint(0, 50), QSize(cell, 30)),
                             Qt::AlignHCenter | Qt::TextWordWrap, names[i]);
        }
    }
    QSvgRenderer(QStringLiteral(":/imgs/quorix.svg"))
        .render(&painter, QRectF(sheet.width() - 140, sheet.height() - 136, 128, 128));
    painter.end();
    QVERIFY(sheet.save(target));

    // The style sheets on a window built like the program's, one picture per theme.
    for (const Theme &theme : Themes) {
        QString css;
        for (const QString &name : StyleNames)
            css += readText(QStringLiteral(":/") + name + theme.cssSuffix + QStringLiteral(".css"));
        qApp->setStyleSheet(css);
        auto gallery = buildGallery(theme.iconDir);
        gallery->resize(1000, 640);
        gallery->show();
        QVERIFY(gallery->grab().save(QString(target).replace(
            QStringLiteral(".png"), QStringLiteral("_%1.png").arg(QLatin1String(theme.name)))));
    }
    qApp->setStyleSheet(QString());
}

QTEST_MAIN(TestLook)
#include "tst_look.moc"
