// tst_preview.cpp: the OpenGL YUV preview read back from its framebuffer (needs a display).
#include <QVBoxLayout>
#include <QtTest>

#include "TestEnv.h"
#include "preview/VideoOpenGLWidget.h"

namespace {

struct Yuv
{
    int y, u, v;
};

// What the fragment shader makes of one Y, U, V triple (full-range BT.601), in 8 bits.
QRgb expectedRgb(const Yuv &c)
{
    const double y = c.y / 255.0, u = c.u / 255.0 - 0.5, v = c.v / 255.0 - 0.5;
    auto channel = [](double x) { return int(qBound(0.0, x, 1.0) * 255.0 + 0.5); };
    return qRgb(channel(y + 1.402 * v), channel(y - 0.344136 * u - 0.714136 * v),
                channel(y + 1.772 * u));
}

// A frame whose four quadrants carry the four given colours (top-left, top-right, bottom-left,
// bottom-right). Width and height must be multiples of 4.
VideoFrameYUV quadrantFrame(int width, int height, const QList<Yuv> &colours)
{
    VideoFrameYUV frame;
    frame.width = width;
    frame.height = height;
    frame.y.resize(width * height);
    frame.u.resize(width * height / 4);
    frame.v.resize(width * height / 4);
    auto quadrant = [&](int x, int y, int w, int h) {
        return (y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1);
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame.y[y * width + x] = char(colours[quadrant(x, y, width, height)].y);
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x) {
            const Yuv &c = colours[quadrant(x, y, width / 2, height / 2)];
            frame.u[y * (width / 2) + x] = char(c.u);
            frame.v[y * (width / 2) + x] = char(c.v);
        }
    return frame;
}

VideoFrameYUV uniformFrame(int width, int height, const Yuv &c)
{
    return quadrantFrame(width, height, {c, c, c, c});
}

int distance(QRgb a, QRgb b)
{
    return qMax(qAbs(qRed(a) - qRed(b)),
                qMax(qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))));
}

QString describe(QRgb c)
{
    return QStringLiteral("(%1,%2,%3)").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
}

const Yuv kRed{82, 90, 240};
const Yuv kGreen{145, 54, 34};
const Yuv kBlue{41, 240, 110};
const Yuv kGrey{180, 128, 128};

} // namespace

class TestPreview : public QObject
{
    Q_OBJECT

private:
    // Shows the widget at the given size and waits until it can be read back.
    bool showAt(VideoOpenGLWidget &widget, const QSize &size)
    {
        widget.resize(size);
        widget.show();
        return QTest::qWaitForWindowExposed(&widget, 60000);
    }

private slots:
    void initTestCase() { TestEnv::isolate(); }

    void blackBeforeAnyFrame()
    {
        VideoOpenGLWidget widget;
        QVERIFY(showAt(widget, QSize(160, 90)));
        const QImage picture = widget.grabFramebuffer();
        QCOMPARE(picture.size(), QSize(160, 90));
        for (const QPoint &p : {QPoint(0, 0), QPoint(80, 45), QPoint(159, 89)})
            QCOMPARE(picture.pixel(p), qRgb(0, 0, 0));
        // One pixel passes the size rule with empty chroma planes: nothing can be drawn.
        VideoFrameYUV dot;
        dot.width = dot.height = 1;
        dot.y = QByteArray(1, char(200));
        widget.setFrame(dot);
        QCOMPARE(widget.grabFramebuffer().pixel(80, 45), qRgb(0, 0, 0));
    }

    // Colours come out of the shader's conversion and each quadrant lands where the mirror
    // flags put it. The chroma planes are 6 bytes wide, so their rows are not 4-byte aligned.
    void coloursAndMirroring_data()
    {
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<QList<int>>("order"); // quadrant of the frame seen at TL, TR, BL, BR
        QTest::newRow("plain") << false << false << QList<int>{0, 1, 2, 3};
        QTest::newRow("horizontal") << true << false << QList<int>{1, 0, 3, 2};
        QTest::newRow("vertical") << false << true << QList<int>{2, 3, 0, 1};
        QTest::newRow("both") << true << true << QList<int>{3, 2, 1, 0};
    }
    void coloursAndMirroring()
    {
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);
        QFETCH(QList<int>, order);
        const QList<Yuv> colours{kRed, kGreen, kBlue, kGrey};
        VideoFrameYUV frame = quadrantFrame(12, 12, colours);
        frame.mirrorHorizontal = horizontal;
        frame.mirrorVertical = vertical;
        VideoOpenGLWidget widget;
        QVERIFY(showAt(widget, QSize(300, 300)));
        widget.setFrame(frame);
        const QImage picture = widget.grabFramebuffer();
        const QPoint centres[4] = {{75, 75}, {225, 75}, {75, 225}, {225, 225}};
        for (int i = 0; i < 4; ++i) {
            const QRgb got = picture.pixel(centres[i]);
            const QRgb want = expectedRgb(colours[order[i]]);
            QVERIFY2(distance(got, want) <= 3,
                     qPrintable(QStringLiteral("position %1: got %2, expected %3")
                                    .arg(i)
                                    .arg(describe(got), describe(want))));
        }
    }

    // The picture keeps its aspect ratio, centred, with black bars on the long axis.
    void aspectFit_data()
    {
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<QSize>("widgetSize");
        QTest::addColumn<QList<QPoint>>("inside");
        QTest::addColumn<QList<QPoint>>("outside");
        // 16:9 in a square: 1000 wide, 562.5 high, rows 218.75 to 781.25.
        QTest::newRow("letterbox") << QSize(64, 36) << QSize(1000, 1000)
                                   << QList<QPoint>{{500, 222}, {500, 500}, {500, 777}, {2, 500}}
                                   << QList<QPoint>{{500, 215}, {500, 785}, {0, 0}, {999, 999}};
        // 9:16 in 1000x500: 281.25 wide, columns 359.4 to 640.6.
        QTest::newRow("pillarbox")
            << QSize(36, 64) << QSize(1000, 500) << QList<QPoint>{{363, 250}, {500, 2}, {637, 497}}
            << QList<QPoint>{{355, 250}, {645, 250}, {0, 0}};
    }
    void aspectFit()
    {
        QFETCH(QSize, frameSize);
        QFETCH(QSize, widgetSize);
        QFETCH(QList<QPoint>, inside);
        QFETCH(QList<QPoint>, outside);
        VideoOpenGLWidget widget;
        QVERIFY(showAt(widget, widgetSize));
        widget.setFrame(uniformFrame(frameSize.width(), frameSize.height(), kGrey));
        const QImage picture = widget.grabFramebuffer();
        QCOMPARE(picture.size(), widgetSize);
        for (const QPoint &p : inside)
            QVERIFY2(distance(picture.pixel(p), expectedRgb(kGrey)) <= 3,
                     qPrintable(QStringLiteral("(%1,%2) %3")
                                    .arg(p.x())
                                    .arg(p.y())
                                    .arg(describe(picture.pixel(p)))));
        for (const QPoint &p : outside)
            QVERIFY2(picture.pixel(p) == qRgb(0, 0, 0),
                     qPrintable(QStringLiteral("(%1,%2) %3")
                                    .arg(p.x())
                                    .arg(p.y())
                                    .arg(describe(picture.pixel(p)))));
    }

    // Frames that fail the validity rule are ignored: the previous picture stays.
    void invalidFrameKeepsPicture_data()
    {
        QTest::addColumn<VideoFrameYUV>("invalid");
        VideoFrameYUV shortU = uniformFrame(16, 16, kGreen);
        shortU.u.chop(1);
        QTest::newRow("u plane short") << shortU;
        VideoFrameYUV zeroWidth = uniformFrame(16, 16, kGreen);
        zeroWidth.width = 0;
        QTest::newRow("zero width") << zeroWidth;
    }
    void invalidFrameKeepsPicture()
    {
        QFETCH(VideoFrameYUV, invalid);
        VideoOpenGLWidget widget;
        QVERIFY(showAt(widget, QSize(200, 200)));
        widget.setFrame(uniformFrame(16, 16, kRed));
        QVERIFY(distance(widget.grabFramebuffer().pixel(100, 100), expectedRgb(kRed)) <= 3);
        widget.setFrame(invalid);
        QVERIFY(distance(widget.grabFramebuffer().pixel(100, 100), expectedRgb(kRed)) <= 3);
    }

    // Moving the widget into another window gives it a new GL context; the picture survives.
    void survivesMoveToAnotherWindow()
    {
        QWidget first;
        auto *widget = new VideoOpenGLWidget(&first);
        widget->setGeometry(0, 0, 200, 200);
        first.resize(200, 200);
        first.show();
        QVERIFY(QTest::qWaitForWindowExposed(&first, 60000));
        widget->setFrame(uniformFrame(16, 16, kBlue));
        QVERIFY(distance(widget->grabFramebuffer().pixel(100, 100), expectedRgb(kBlue)) <= 3);

        QWidget second;
        auto *layout = new QVBoxLayout(&second);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(widget);
        second.resize(200, 200);
        second.show();
        QVERIFY(QTest::qWaitForWindowExposed(&second, 60000));
        QVERIFY(distance(widget->grabFramebuffer().pixel(100, 100), expectedRgb(kBlue)) <= 3);
        widget->setFrame(uniformFrame(16, 16, kRed));
        QVERIFY(distance(widget->grabFramebuffer().pixel(100, 100), expectedRgb(kRed)) <= 3);
    }
};

QTEST_MAIN(TestPreview)
#include "tst_preview.moc"
