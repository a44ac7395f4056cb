// Shows the canvas on a demo-camera picture next to the measurement table, draws one shape of
// every tool with synthetic mouse clicks, selects one through the table and stays open, so the
// drawing, the labels and the table can be looked at together.
//   canvas_table_demo [--quit-after SECONDS] [--grab FILE.png]
#include "calibration/CalibrationData.h"
#include "camera/DemoCameraBackend.h"
#include "canvas/GraphicsScene.h"
#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsViewBusiness.h"
#include "panels/RightWidget.h"
#include "settings/SettingsStore.h"
#include "shapes/GraphicsItemBase.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {

using Points = QVector<QPointF>;

struct ToolDrawing
{
    int tool;
    Points clicks; // in a 300 x 250 cell
    bool finishWithRightButton;
};

QVector<ToolDrawing> everyTool()
{
    const QPointF a(20, 30), b(220, 30), c(240, 160), d(60, 190);
    const Points two{a, b}, three{a, b, c}, four{a, b, c, d};
    Points eight;
    for (int i = 0; i < 8; ++i)
        eight << QPointF(20 + 36 * i, i < 4 ? 30 : 180);
    return {{10, two, false},
            {11, three, true},
            {12, Points{a, c}, false},
            {13, three, true},
            {14, three, false},
            {15, Points{QPointF(130, 110), QPointF(210, 110)}, false},
            {16, Points{QPointF(50, 110), QPointF(90, 110), QPointF(210, 110), QPointF(240, 110)},
             false},
            {17, Points{a, b, QPointF(230, 150)}, false},
            {18, three, false},
            {19, four, false},
            {20, Points{QPointF(40, 110), QPointF(240, 110)}, false},
            {21, Points{a, c}, false},
            {22, three, false},
            {23,
             Points{QPointF(250, 110), QPointF(140, 180), QPointF(30, 110), QPointF(140, 40),
                    QPointF(217.8, 159.5)},
             false},
            {24, two, false},
            {25, Points{a, QPointF(130, 100), QPointF(240, 30)}, false},
            {26, Points{a, b, QPointF(40, 150), QPointF(220, 150)}, false},
            {27, eight, false},
            {28, four, true},
            {29, three, false},
            {30, four, false}};
}

// Sends mouse input to the view as a user's hand would.
class Hand
{
public:
    explicit Hand(MeasureGraphicsViewBusiness *view)
        : m_view(view)
    {}

    void click(const QPointF &scenePos, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPoint pos = m_view->mapFromScene(scenePos);
        send(QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton);
        send(QEvent::MouseButtonPress, pos, button, button);
        send(QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
    }
    void type(const QString &text)
    {
        for (const QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(m_view, &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(ch));
            QApplication::sendEvent(m_view, &release);
        }
    }
    void arm(int tool)
    {
        LineDataRegistry::instance()->setToolType(tool);
        m_view->setDrawToolActive(true);
    }

private:
    void send(QEvent::Type type, const QPoint &pos, Qt::MouseButton button,
              Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, pos, m_view->viewport()->mapToGlobal(pos), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &event);
    }

    MeasureGraphicsViewBusiness *m_view;
};

void drawEveryTool(MeasureGraphicsViewBusiness *view)
{
    Hand hand(view);
    int cellIndex = 0;
    // Four columns of cells, each a 300 x 250 drawing at 0.65 of its size.
    const auto at = [&cellIndex](const QPointF &p) {
        return QPointF(15 + (cellIndex % 4) * 200, 10 + (cellIndex / 4) * 178) + p * 0.65;
    };
    for (const ToolDrawing &d : everyTool()) {
        hand.arm(d.tool);
        for (const QPointF &p : d.clicks)
            hand.click(at(p));
        if (d.finishWithRightButton)
            hand.click(at(QPointF(280, 240)), Qt::RightButton);
        ++cellIndex;
    }
    hand.arm(32);
    hand.click(at(QPointF(40, 120)));
    ++cellIndex;
    hand.arm(31);
    hand.click(at(QPointF(0, 0)));
    hand.type(QStringLiteral("5 µm"));
    ++cellIndex;
    hand.click(at(QPointF(150, 150))); // a click on empty canvas commits the text
    view->setDrawToolActive(false);
}

} // namespace

int main(int argc, char **argv)
{
    // The demo keeps its settings (tool styles, calibration) in a folder of its own, never in the
    // user's.
    QTemporaryDir home;
    for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        qputenv(name, home.path().toUtf8());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorix"));
    QApplication::setApplicationName(QStringLiteral("QUORIX-canvas-demo"));
    SettingsStore::prepare();
    double quitAfter = 0;
    QString grabPath;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--quit-after"))
            quitAfter = args[++i].toDouble();
        else if (args[i] == QLatin1String("--grab"))
            grabPath = args[++i];
    }

    CaptureMode mode = DemoCameraBackend::demoModes().at(1);
    const QList<QImage> pictures = DemoCameraBackend::renderPictures(mode, {});
    if (pictures.isEmpty()) {
        std::fprintf(stderr, "the demo camera gave no picture\n");
        return 1;
    }

    // 2.5 pixels per micrometre, shown in micrometres.
    CalibrationData calibration;
    calibration.addMagnification({QStringLiteral("10X"), 2.5e6});
    calibration.setCurrentIndex(0);
    calibration.setCurrentUnit(QStringLiteral("μm"));

    QWidget window;
    window.setWindowTitle(QStringLiteral("QUORIX canvas and measurement table"));
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *panel = new RightWidget;
    layout->addWidget(panel);
    auto *view = new MeasureGraphicsViewBusiness;
    auto *canvasLayout = new QVBoxLayout(panel->measureArea());
    canvasLayout->setContentsMargins(0, 0, 0, 0);
    canvasLayout->addWidget(view);
    panel->showTable();
    auto *table = panel->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    window.resize(1600, 1000);
    if (auto *splitter = panel->findChild<QSplitter *>(QStringLiteral("splitter"));
        splitter && table) {
        // The table as wide as all its columns, the canvas takes the rest.
        splitter->setOrientation(Qt::Horizontal);
        const int tableWidth =
            table->horizontalHeader()->length() + table->verticalHeader()->sizeHint().width() +
            table->verticalScrollBar()->sizeHint().width() + 2 * table->frameWidth() + 16;
        splitter->setSizes({window.width() - tableWidth, tableWidth});
    }

    // The connections the main window makes between canvas, table and calibration.
    using V = MeasureGraphicsViewBusiness;
    QObject::connect(view, &V::sigAddLine, panel, &RightWidget::onAddDrawLine);
    QObject::connect(view, &V::sigDelLine, panel, &RightWidget::onDelDrawLine);
    QObject::connect(view, &V::sigLineDataChanged, panel, &RightWidget::onDrawLineDataChanged);
    QObject::connect(view, &V::sigChoosedItemChanged, panel,
                     &RightWidget::onSelectedAttributeChanged);
    QObject::connect(panel, &RightWidget::sigDelDrawLine, view, [view](LineDataBase::Ptr line) {
        if (line)
            view->removeLine(view->itemByName(line->id));
    });
    QObject::connect(panel, &RightWidget::sigLineSelected, view, [view](LineDataBase::Ptr line) {
        view->scene()->clearSelection();
        if (GraphicsItemBase *item = line ? view->itemByName(line->id) : nullptr)
            item->setSelected(true);
    });
    view->setCalibrationData(&calibration);
    panel->setCalibrationData(&calibration);

    window.show();
    // Without a window manager nothing activates the window; the canvas needs an active window
    // for keyboard focus (the text tool).
    QApplication::setActiveWindow(&window);
    view->setBackgroundImage(pictures.first(), true);
    QApplication::processEvents();
    // The picture as tall as the canvas, its left part in sight: the shapes are drawn there.
    const int canvasHeight =
        view->height() - 2 * view->frameWidth() - view->horizontalScrollBar()->sizeHint().height();
    const double zoom = canvasHeight / double(pictures.first().height());
    view->setCanvasZoom(zoom);
    view->centerOn(
        QPointF(view->viewport()->width() / (2 * zoom), pictures.first().height() / 2.0));

    drawEveryTool(view);
    // One shape selected through its row, as a user clicking the table would.
    if (table && table->rowCount() > 8)
        table->setCurrentCell(8, 1);
    std::printf("%d shapes drawn, %d rows in the table\n", view->allItems().size(),
                table ? table->rowCount() : 0);
    std::fflush(stdout);

    if (!grabPath.isEmpty()) {
        QTimer::singleShot(500, &window, [&window, grabPath] {
            if (!window.grab().save(grabPath))
                std::fprintf(stderr, "cannot write %s\n", qPrintable(grabPath));
        });
    }
    if (quitAfter > 0)
        QTimer::singleShot(int(quitAfter * 1000), &app, &QApplication::quit);
    return app.exec();
}
