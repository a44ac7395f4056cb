// Shared by the canvas tests that draw with the mouse: a live view on a grey picture, mouse
// events given in scene coordinates, and one drawing per tool as a user makes it.
#pragma once

#include <QtTest>

#include "canvas/LineDataRegistry.h"
#include "canvas/MeasureGraphicsViewBusiness.h"

class CalibrationData;

using Points = QVector<QPointF>;

// The clicks that draw a tool's shape, whether the right button finishes it, and the points the
// record then holds (scene coordinates).
struct ToolCase
{
    const char *name;
    int tool;
    Points clicks;
    bool finishWithRightButton;
    Points expected;
};

inline QVector<ToolCase> toolCases()
{
    QVector<ToolCase> cases;
    const QPointF a(100, 100), b(300, 100), c(320, 220), d(150, 260);
    const Points two{a, b}, three{a, b, c}, four{a, b, c, d};
    cases.append({"straight line", 10, two, false, two});
    cases.append({"arrow", 24, two, false, two});
    cases.append({"polyline", 11, three, true, three});
    cases.append({"rectangle", 12, Points{a, c}, false, Points{a, c}});
    cases.append({"rectangle drawn up-left", 12, Points{c, a}, false, Points{c, a}});
    cases.append({"ellipse", 21, Points{a, c}, false, Points{a, c}});
    cases.append({"polygon", 13, three, true, three});
    cases.append({"three-point line", 14, three, false, three});
    cases.append({"three-point ellipse", 22, three, false, three});
    cases.append({"centre-radius circle", 15, two, false, two});
    cases.append({"two-point circle", 20, two, false, two});
    const Points circles{QPointF(100, 100), QPointF(140, 100), QPointF(300, 100),
                         QPointF(330, 100)};
    cases.append({"double circle", 16, circles, false, circles});
    // The third click is projected onto the perpendicular through the second point.
    cases.append({"three-point rectangle", 17, Points{a, b, QPointF(330, 220)}, false,
                  Points{a, b, QPointF(300, 220)}});
    const Points onEllipse{QPointF(400, 300), QPointF(300, 360), QPointF(200, 300),
                           QPointF(300, 240), QPointF(370.7, 342.4)};
    cases.append({"five-point ellipse", 23, onEllipse, false, onEllipse});
    cases.append({"arc", 25, three, false, three});
    cases.append({"three-point angle", 18, three, false, three});
    cases.append({"perpendicular by 3", 29, three, false, three});
    cases.append({"four-point angle", 19, four, false, four});
    const Points parallels{QPointF(100, 100), QPointF(300, 100), QPointF(120, 200),
                           QPointF(300, 200)};
    cases.append({"parallel by 4", 26, parallels, false, parallels});
    cases.append({"perpendicular by 4", 30, four, false, four});
    Points eight;
    for (int i = 0; i < 8; ++i)
        eight << QPointF(100 + 40 * i, i < 4 ? 100 : 250);
    cases.append({"parallel by 8", 27, eight, false, eight});
    cases.append({"parallels by any", 28, four, true, four});
    return cases;
}

class CanvasMouse
{
protected:
    // A 900 × 700 view on a grey 800 × 600 picture; showView() shows it active at zoom 1.
    void newView(CalibrationData *calibration = nullptr)
    {
        m_view = new MeasureGraphicsViewBusiness;
        m_view->resize(900, 700);
        QImage image(800, 600, QImage::Format_RGB32);
        image.fill(Qt::darkGray);
        if (calibration)
            m_view->setCalibrationData(calibration);
        m_view->setBackgroundImage(image, true);
    }
    bool showView()
    {
        m_view->show();
        QApplication::setActiveWindow(m_view);
        if (!QTest::qWaitForWindowActive(m_view, 60000))
            return false;
        m_view->setCanvasZoom(1.0);
        return true;
    }
    QPoint at(const QPointF &scenePos) const { return m_view->mapFromScene(scenePos); }
    void move(const QPointF &scenePos, Qt::MouseButtons buttons = Qt::NoButton)
    {
        const QPoint pos = at(scenePos);
        QMouseEvent event(QEvent::MouseMove, pos, m_view->viewport()->mapToGlobal(pos),
                          Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &event);
    }
    void click(const QPointF &scenePos, Qt::MouseButton button = Qt::LeftButton)
    {
        move(scenePos);
        QTest::mousePress(m_view->viewport(), button, Qt::NoModifier, at(scenePos));
        QTest::mouseRelease(m_view->viewport(), button, Qt::NoModifier, at(scenePos));
    }
    // Press, moves in even steps with the button held, release.
    void drag(const QPointF &from, const QPointF &to, int steps = 4)
    {
        QTest::mousePress(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at(from));
        for (int i = 1; i <= steps; ++i)
            move(from + (to - from) * i / double(steps), Qt::LeftButton);
        QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, at(to));
    }
    void arm(int tool)
    {
        LineDataRegistry::instance()->setToolType(tool);
        m_view->setDrawToolActive(true);
    }

    MeasureGraphicsViewBusiness *m_view = nullptr;
};
