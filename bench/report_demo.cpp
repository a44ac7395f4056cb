// Writes a Word and an Excel report of a demo-camera picture measured with a dozen shapes, through
// the same modules the application uses: the demo camera gives the picture, the canvas shows it
// with the shapes, the measurement table lists their records and the report export fills both
// templates.
//   report_demo <output folder> [template folder]
// The template folder defaults to "template" next to the program's "bin" folder.
#include "calibration/CalibrationData.h"
#include "camera/Camera.h"
#include "camera/DemoCameraBackend.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsView.h"
#include "canvas/ToolDefaults.h"
#include "model/LineDataBase.h"
#include "panels/RightWidget.h"
#include "report/ReportExporter.h"
#include "shapes/AngleItems.h"
#include "shapes/BrokenLineItem.h"
#include "shapes/Circle2PointItem.h"
#include "shapes/CircleCenterRadiusItem.h"
#include "shapes/Ellipse5PointsItem.h"
#include "shapes/EllipseItem.h"
#include "shapes/ParallelLine4Points.h"
#include "shapes/PerpendicularItems.h"
#include "shapes/PolygonItem.h"
#include "shapes/RectItem.h"
#include "shapes/ShapeTypes.h"
#include "shapes/StraightLineItem.h"
#include "shapes/TextItem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineF>
#include <QMutex>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;

// Keeps the program's settings (tool colours are written back on load) away from the user's.
void isolateSettings(const QTemporaryDir &root)
{
    const QString base = root.path();
    for (const char *dir : {"home", "data", "config", "cache"})
        QDir().mkpath(base + '/' + dir);
    qputenv("HOME", (base + "/home").toUtf8());
    qputenv("XDG_DATA_HOME", (base + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (base + "/config").toUtf8());
    qputenv("XDG_CACHE_HOME", (base + "/cache").toUtf8());
}

// The first YUY2 frame of the demo camera, or a null image after 20 s without one.
QImage grabDemoFrame()
{
    Camera camera(std::make_unique<DemoCameraBackend>());
    QMutex lock; // guards picture: frameReady arrives on the demo camera's thread
    QImage picture;
    QObject::connect(&camera, &Camera::frameReady, [&](const QImage &frame) {
        QMutexLocker locker(&lock);
        if (picture.isNull())
            picture = frame.copy();
    });
    camera.setFormat(QStringLiteral("YUY2"));
    if (!camera.setResolution(kWidth, kHeight))
        return QImage();
    QElapsedTimer timer;
    timer.start();
    QImage result;
    while (timer.elapsed() < 20000 && result.isNull()) {
        QThread::msleep(20);
        QMutexLocker locker(&lock);
        result = picture;
    }
    camera.close();
    return result.convertToFormat(QImage::Format_RGB32);
}

// The stage micrometer as found in the picture: its base line and the ends of the scale.
struct Micrometer
{
    double baseY = 0;
    double x0 = 0; // division 0
    double x1 = 0; // division 100
    double pixelsPerDivision() const { return (x1 - x0) / 100.0; }
    double xAt(int division) const { return x0 + division * pixelsPerDivision(); }
};

bool isInk(QRgb p)
{
    return qRed(p) < 90 && qGreen(p) < 90 && qBlue(p) < 100;
}

// The base line is the row with the longest run of dark pixels; its ends are divisions 0 and 100.
bool findMicrometer(const QImage &image, Micrometer *found)
{
    int bestRow = -1, bestStart = 0, bestLength = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        int start = 0;
        for (int x = 0; x <= image.width(); ++x) {
            if (x < image.width() && isInk(row[x]))
                continue;
            if (x - start > bestLength) {
                bestLength = x - start;
                bestStart = start;
                bestRow = y;
            }
            start = x + 1;
        }
    }
    if (bestRow < 0 || bestLength < image.width() / 4)
        return false;
    found->baseY = bestRow + 0.5;
    found->x0 = bestStart + 0.5;
    found->x1 = bestStart + bestLength - 0.5;
    return true;
}

// A stained cell: its centre, the semi-axes of its axis-parallel outline and its equivalent radius.
struct Cell
{
    QPointF centre;
    double rx = 0, ry = 0, radius = 0;
};

// Cells are tinted purple: blue above green. Connected areas of that tint, of single-cell size and
// away from the micrometer and the picture's border, sorted from the roundest-looking largest.
std::vector<Cell> findCells(const QImage &image, const Micrometer &scale)
{
    const int w = image.width(), h = image.height();
    std::vector<char> mask(size_t(w) * h, 0);
    for (int y = 0; y < h; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            mask[size_t(y) * w + x] = qBlue(row[x]) - qGreen(row[x]) > 0;
    }
    const double ppd = scale.pixelsPerDivision();
    const double minArea = 1.5 * ppd * 1.5 * ppd, maxArea = 5.0 * ppd * 5.0 * ppd;
    std::vector<Cell> cells;
    std::vector<int> stack;
    for (int start = 0; start < w * h; ++start) {
        if (!mask[size_t(start)])
            continue;
        double sx = 0, sy = 0;
        int n = 0, left = w, right = 0, top = h, bottom = 0;
        stack.assign(1, start);
        mask[size_t(start)] = 0;
        while (!stack.empty()) {
            const int i = stack.back();
            stack.pop_back();
            const int x = i % w, y = i / w;
            sx += x;
            sy += y;
            ++n;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            const int next[4] = {x > 0 ? i - 1 : -1, x + 1 < w ? i + 1 : -1, y > 0 ? i - w : -1,
                                 y + 1 < h ? i + w : -1};
            for (int j : next) {
                if (j >= 0 && mask[size_t(j)]) {
                    mask[size_t(j)] = 0;
                    stack.push_back(j);
                }
            }
        }
        if (n < minArea || n > maxArea)
            continue;
        Cell cell;
        cell.centre = QPointF(sx / n + 0.5, sy / n + 0.5);
        cell.rx = (right - left + 1) / 2.0;
        cell.ry = (bottom - top + 1) / 2.0;
        cell.radius = std::sqrt(n / M_PI);
        const double fill = n / (M_PI * cell.rx * cell.ry); // 1 for a lone axis-parallel ellipse
        // The micrometer's numbers reach 13 divisions above its base line, its caption 5 below.
        const bool nearScale = cell.centre.y() > scale.baseY - 13 * ppd - cell.radius &&
                               cell.centre.y() < scale.baseY + 5 * ppd + cell.radius &&
                               cell.centre.x() > scale.x0 - 6 * ppd &&
                               cell.centre.x() < scale.x1 + 6 * ppd;
        const double margin = 5 * ppd;
        const bool nearBorder = cell.centre.x() < margin || cell.centre.y() < margin ||
                                cell.centre.x() > w - margin || cell.centre.y() > h - margin;
        if (fill > 0.6 && !nearScale && !nearBorder)
            cells.push_back(cell);
    }
    std::sort(cells.begin(), cells.end(),
              [](const Cell &a, const Cell &b) { return a.radius > b.radius; });
    return cells;
}

// Builds the canvas shapes as the drawing tools do: a styled record registered with the canvas's
// records, the shape added to the view, its points set and the table told about the record.
class Drawing
{
public:
    Drawing(MeasureGraphicsView *view, RightWidget *table)
        : m_view(view)
        , m_table(table)
    {
        m_defaults.load();
    }

    template <typename Shape>
    Shape *add(int type, const QList<QPointF> &points)
    {
        const LineDataBase::Ptr record = newRecord(type);
        auto *shape = new Shape(record);
        m_view->addItem(shape);
        shape->points() = points;
        shape->updateShape();
        m_table->onAddDrawLine(record);
        return shape;
    }

    TextItem *addText(const QPointF &pos, const QString &text)
    {
        const LineDataBase::Ptr record = newRecord(ShapeTypes::Text);
        auto *item = new TextItem(record);
        m_view->addItem(item);
        item->setPos(pos);
        item->setPlainText(text);
        // As a user would leave it: a modest bold caption on one line.
        item->attribute()->textLabel.fontSize = 16;
        item->attribute()->textLabel.bold = true;
        item->applyAttribute();
        item->setTextWidth(-1);
        item->setTextWidth(item->document()->idealWidth() + 1);
        m_table->onAddDrawLine(record);
        return item;
    }

private:
    LineDataBase::Ptr newRecord(int type)
    {
        auto record = std::make_shared<BrokenLineDataItem>();
        m_defaults.apply(*record, type);
        LineDataRegistry::instance()->addLine(record);
        return record;
    }

    MeasureGraphicsView *m_view;
    RightWidget *m_table;
    ToolDefaultsTable m_defaults;
};

QList<QPointF> ellipsePoints(const Cell &cell, int count, double phase)
{
    QList<QPointF> points;
    for (int k = 0; k < count; ++k) {
        const double a = phase + k * 2 * M_PI / count;
        points << cell.centre + QPointF(cell.rx * std::cos(a), cell.ry * std::sin(a));
    }
    return points;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settingsRoot;
    if (!settingsRoot.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder for the settings\n");
        return 1;
    }
    isolateSettings(settingsRoot);
    QApplication app(argc, argv);
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    if (argc < 2) {
        std::fprintf(stderr, "usage: report_demo <output folder> [template folder]\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString templateDir =
        argc > 2 ? QString::fromLocal8Bit(argv[2])
                 : QDir(QCoreApplication::applicationDirPath()).filePath("../bin/template");
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    qRegisterMetaType<LineDataBase::Ptr>();

    const QImage picture = grabDemoFrame();
    if (picture.isNull()) {
        std::fprintf(stderr, "the demo camera gave no picture\n");
        return 1;
    }
    const QString cameraPath = QDir(outDir).filePath(QStringLiteral("report_demo_camera.png"));
    if (!picture.save(cameraPath))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(cameraPath));
    Micrometer scale;
    if (!findMicrometer(picture, &scale)) {
        std::fprintf(stderr, "no micrometer found in the demo picture\n");
        return 1;
    }
    const double ppd = scale.pixelsPerDivision();
    std::printf("picture %dx%d, micrometer at y=%.1f from x=%.1f to %.1f: %.3f px per 10 um\n",
                picture.width(), picture.height(), scale.baseY, scale.x0, scale.x1, ppd);
    const std::vector<Cell> cells = findCells(picture, scale);
    std::printf("%zu separate cells found\n", cells.size());
    if (cells.size() < 20) {
        std::fprintf(stderr, "too few separate cells in the demo picture\n");
        return 1;
    }

    // The magnification is that of the micrometer: 10 µm per division.
    CalibrationData calibration;
    calibration.addMagnification({QStringLiteral("Demo 10X"), ppd / 10e-6});
    calibration.setCurrentIndex(0);
    calibration.setCurrentUnit(QStringLiteral("μm"));

    MeasureGraphicsView view;
    view.resize(1280, 760);
    view.setCalibrationData(&calibration);
    view.setBackgroundImage(picture, true);
    RightWidget table;
    table.setCalibrationData(&calibration);
    Drawing drawing(&view, &table);

    // Each shape takes the cell nearest to its place in the picture, so that shapes and their
    // labels spread over the field instead of piling up.
    std::vector<bool> used(cells.size(), false);
    auto cellNear = [&](double x, double y) {
        size_t best = cells.size();
        double bestDistance = 0;
        for (size_t i = 0; i < cells.size(); ++i) {
            // Larger cells are worth a few more pixels of distance: they show their shape.
            const double d = QLineF(cells[i].centre, QPointF(x, y)).length() - cells[i].radius;
            if (!used[i] && (best == cells.size() || d < bestDistance)) {
                best = i;
                bestDistance = d;
            }
        }
        used[best] = true;
        return cells[best];
    };

    const double y = scale.baseY;
    // Lengths along the micrometer: the full millimetre and its first half, below the base line.
    drawing.add<StraightLineItem>(ShapeTypes::StraightLine,
                                  {{scale.xAt(0), y + 6 * ppd}, {scale.xAt(100), y + 6 * ppd}});
    drawing.add<StraightLineItem>(ShapeTypes::StraightLine,
                                  {{scale.xAt(0), y + 13 * ppd}, {scale.xAt(50), y + 13 * ppd}});
    // The distance between the long ticks of divisions 20 and 30.
    drawing.add<ParallelLine4Points>(ShapeTypes::Parallel4Points, {{scale.xAt(20), y - 9 * ppd},
                                                                   {scale.xAt(20), y},
                                                                   {scale.xAt(30), y - 9 * ppd},
                                                                   {scale.xAt(30), y}});
    // The height of the long tick at division 70 above the base line.
    drawing.add<Perpendicular3Points>(
        ShapeTypes::Perpendicular3Points,
        {{scale.xAt(65), y}, {scale.xAt(75), y}, {scale.xAt(70), y - 9 * ppd}});
    const double w = picture.width(), h = picture.height();
    // Single cells: two circles, an ellipse and a five-point ellipse.
    const Cell round = cellNear(0.1 * w, 0.2 * h);
    drawing.add<CircleCenterRadiusItem>(ShapeTypes::CircleCenterRadius,
                                        {round.centre, round.centre + QPointF(round.radius, 0)});
    const Cell pair = cellNear(0.58 * w, 0.3 * h);
    drawing.add<Circle2PointItem>(
        ShapeTypes::Circle2Point,
        {pair.centre - QPointF(pair.radius, 0), pair.centre + QPointF(pair.radius, 0)});
    const Cell oval = cellNear(0.5 * w, 0.08 * h);
    drawing.add<EllipseItem>(ShapeTypes::Ellipse, {oval.centre - QPointF(oval.rx, oval.ry),
                                                   oval.centre + QPointF(oval.rx, oval.ry)});
    drawing.add<Ellipse5PointsItem>(ShapeTypes::Ellipse5Point,
                                    ellipsePoints(cellNear(0.76 * w, 0.9 * h), 5, 0.4));
    // A field around one cell.
    const Cell boxed = cellNear(0.6 * w, 0.88 * h);
    const QPointF half(boxed.rx + 2 * ppd, boxed.ry + 2 * ppd);
    drawing.add<RectItem>(ShapeTypes::Rect, {boxed.centre - half, boxed.centre + half});
    // The angle at one cell between two neighbours.
    const Cell vertex = cellNear(0.36 * w, 0.12 * h);
    const Cell armA = cellNear(0.3 * w, 0.3 * h);
    const Cell armB = cellNear(0.44 * w, 0.3 * h);
    drawing.add<Angle3PointItem>(ShapeTypes::Angle3Point,
                                 {armB.centre, vertex.centre, armA.centre});
    // A path from cell to cell.
    QList<QPointF> path;
    for (const QPointF &place :
         {QPointF(0.7 * w, 0.06 * h), QPointF(0.78 * w, 0.18 * h), QPointF(0.86 * w, 0.3 * h)})
        path << cellNear(place.x(), place.y()).centre;
    drawing.add<BrokenLineItem>(ShapeTypes::BrokenLine, path);
    // An outline around a group of cells: their centres pushed outwards by a cell radius.
    QList<Cell> group;
    for (const QPointF &place : {QPointF(0.1 * w, 0.74 * h), QPointF(0.22 * w, 0.74 * h),
                                 QPointF(0.22 * w, 0.86 * h), QPointF(0.1 * w, 0.86 * h)})
        group << cellNear(place.x(), place.y());
    QPointF middle;
    for (const Cell &cell : group)
        middle += cell.centre / group.size();
    std::sort(group.begin(), group.end(), [&middle](const Cell &a, const Cell &b) {
        return std::atan2(a.centre.y() - middle.y(), a.centre.x() - middle.x()) <
               std::atan2(b.centre.y() - middle.y(), b.centre.x() - middle.x());
    });
    QList<QPointF> outline;
    for (const Cell &cell : group) {
        const QLineF out(middle, cell.centre);
        outline << out.pointAt((out.length() + cell.radius + ppd) / std::max(out.length(), 1.0));
    }
    drawing.add<PolygonItem>(ShapeTypes::Polygon, outline);
    drawing.addText({0.01 * w, 0.01 * h}, QStringLiteral("演示样品 · 测微尺 1 DIV = 10 µm"));

    ReportData data;
    data.image = view.composeImage();
    data.headers = table.tableHeaders();
    data.rows = table.tableRows();
    data.lengthUnit = calibration.currentUnit();
    std::printf("%lld table rows, %lld columns\n", static_cast<long long>(data.rows.size()),
                static_cast<long long>(data.headers.size()));
    int failures = 0;
    for (const char *name : {"report_demo.docx", "report_demo.xlsx"}) {
        const QString path = QDir(outDir).filePath(QString::fromLatin1(name));
        QString error;
        if (!exportReport(data, templateDir, path, &error)) {
            std::fprintf(stderr, "%s: %s\n", name, qPrintable(error));
            ++failures;
            continue;
        }
        std::printf("%s (%lld bytes)\n", qPrintable(path),
                    static_cast<long long>(QFileInfo(path).size()));
    }
    const QString picturePath = QDir(outDir).filePath(QStringLiteral("report_demo.png"));
    if (!data.image.save(picturePath))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(picturePath));
    LineDataRegistry::instance()->clear();
    return failures ? 1 : 0;
}
