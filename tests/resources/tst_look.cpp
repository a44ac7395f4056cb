// tst_look.cpp: the compiled-in style sheets and icons of both themes load, resolve and read.
#include "LogCapture.h"
#include "resources/QuorixResources.h"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QSvgRenderer>
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

} // namespace

class TestLook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
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

void TestLook::iconsRenderAndReadOnTheirTheme_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("background");
    // Both themes have the same icons.
    QVERIFY(iconNames(Themes[0].iconDir).size() >= 60);
    QCOMPARE(iconNames(Themes[1].iconDir), iconNames(Themes[0].iconDir));
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
    // QUORIX_ICON_SHEET=path.png writes every icon on both theme backgrounds into one picture;
    // the style sheets on the real windows are seen through QUORIX_RENDER_DIR in the panel tests.
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
}

QTEST_MAIN(TestLook)
#include "tst_look.moc"
