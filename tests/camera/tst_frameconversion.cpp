// Tests of the stream format names and the pixel conversions against the BT.601 formulas.
#include <QtTest>

#include "camera/FrameConversion.h"

#include <QRandomGenerator>

#include <thread>

using namespace FrameConversion;

namespace {

int clampByte(int v)
{
    return std::min(255, std::max(0, v));
}

// The conversion written out plainly, one pixel at a time.
QRgb referencePixel(int y, int u, int v, bool colour)
{
    const int c = y - 16, d = u - 128, e = v - 128;
    if (!colour) {
        const int grey = clampByte((298 * c + 128) >> 8);
        return qRgb(grey, grey, grey);
    }
    return qRgb(clampByte((298 * c + 409 * e + 128) >> 8),
                clampByte((298 * c - 100 * d - 208 * e + 128) >> 8),
                clampByte((298 * c + 516 * d + 128) >> 8));
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

bool convert(const QString &layout, const QByteArray &frame, int width, int height, QImage *out,
             bool colour)
{
    const auto *data = reinterpret_cast<const uchar *>(frame.constData());
    if (layout == QLatin1String("YUY2"))
        return convertYuy2ToImage(data, width, height, out, colour);
    if (layout == QLatin1String("NV12"))
        return convertNv12ToImage(data, width, height, out, colour);
    return convertI420ToImage(data, width, height, out, colour);
}

// Y, U and V of pixel (x, y) in a frame of the layout. Odd sizes: the last pixel of an odd YUY2
// row takes its own U and the previous pair's V (128 without one); 4:2:0 frames reuse the last
// whole chroma row and column, and a one-pixel axis carries no chroma.
void sample(const QString &layout, const QByteArray &f, int width, int height, int x, int y,
            int *yy, int *u, int *v)
{
    const auto *d = reinterpret_cast<const uchar *>(f.constData());
    if (layout == QLatin1String("YUY2")) {
        const uchar *row = d + y * width * 2;
        *yy = row[x * 2];
        *u = row[(x / 2) * 4 + 1];
        const int vAt = (x / 2) * 4 + 3;
        *v = vAt < width * 2 ? row[vAt] : (vAt >= 4 ? row[vAt - 4] : 128);
        return;
    }
    *yy = d[y * width + x];
    if (width < 2 || height < 2) {
        *u = *v = 128;
        return;
    }
    const int cx = std::min(x / 2, width / 2 - 1), cy = std::min(y / 2, height / 2 - 1);
    if (layout == QLatin1String("NV12")) {
        const uchar *c = d + width * height + cy * width + cx * 2;
        *u = c[0];
        *v = c[1];
    } else {
        *u = d[width * height + cy * (width / 2) + cx];
        *v = d[width * height + width * height / 4 + cy * (width / 2) + cx];
    }
}

} // namespace

class TstFrameConversion : public QObject
{
    Q_OBJECT

private slots:
    void formatNames_data();
    void formatNames();
    void uniformPixels_data();
    void uniformPixels();
    void randomFrameMatchesReference_data();
    void randomFrameMatchesReference();
    void concurrentConversionsKeepTheirPictures();
    void serialYuy2MatchesParallel();
    void badInputLeavesOutputUntouched();
    void rgb24IsSwappedFlippedAndCopied();
    void monochromeAndMirror();
    void previewScaling_data();
    void previewScaling();
};

void TstFrameConversion::formatNames_data()
{
    QTest::addColumn<quint32>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("YUYV") << kFourccYuyv << "YUY2";
    QTest::newRow("MJPG") << kFourccMjpg << "MJPG";
    QTest::newRow("JPEG") << kFourccJpeg << "MJPG";
    QTest::newRow("H264") << kFourccH264 << "H264";
    QTest::newRow("HEVC") << kFourccHevc << "H265";
    QTest::newRow("NV12") << kFourccNv12 << "NV12";
    QTest::newRow("BGR3") << kFourccBgr24 << "RGB24";
    QTest::newRow("XR24") << kFourccXrgb32 << "RGB32";
    QTest::newRow("BGR4") << kFourccBgr32 << "RGB32";
    QTest::newRow("other fourcc") << fourcc('G', 'R', 'E', 'Y') << "GREY";
    QTest::newRow("H264 lower case is not H.264") << fourcc('h', '2', '6', '4') << "h264";
    QTest::newRow("short code") << fourcc('A', 'B', 0, 0) << "AB";
    QTest::newRow("zero") << quint32(0) << "";
}

void TstFrameConversion::formatNames()
{
    QFETCH(quint32, code);
    QFETCH(QString, name);
    QCOMPARE(subtypeName(code), name);
    QCOMPARE(isH264(code), name == QLatin1String("H264"));
}

// The reference against known colours: every conversion is checked against it pixel by pixel.
void TstFrameConversion::uniformPixels_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("u");
    QTest::addColumn<int>("v");
    QTest::addColumn<bool>("colour");
    QTest::addColumn<QRgb>("expected");
    QTest::newRow("black") << 16 << 128 << 128 << true << qRgb(0, 0, 0);
    QTest::newRow("white") << 235 << 128 << 128 << true << qRgb(255, 255, 255);
    QTest::newRow("grey") << 126 << 128 << 128 << true << qRgb(128, 128, 128);
    QTest::newRow("red clamps") << 81 << 90 << 240 << true << qRgb(255, 0, 0);
    QTest::newRow("monochrome ignores chroma") << 126 << 90 << 240 << false << qRgb(128, 128, 128);
}

void TstFrameConversion::uniformPixels()
{
    QFETCH(int, y);
    QFETCH(int, u);
    QFETCH(int, v);
    QFETCH(bool, colour);
    QFETCH(QRgb, expected);
    QCOMPARE(referencePixel(y, u, v, colour), expected);
}

void TstFrameConversion::randomFrameMatchesReference_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<bool>("colour");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("threads");
    // Whole blocks of sixteen pixels, widths that leave a remainder after them, odd sizes and
    // one-pixel axes.
    const QSize sizes[] = {{64, 48}, {37, 21}, {50, 7}, {17, 1}, {1, 9}};
    for (const char *layout : {"YUY2", "NV12", "I420"}) {
        const QString l = QString::fromLatin1(layout);
        for (const QSize &size : sizes) {
            QTest::addRow("%s colour %dx%d", layout, size.width(), size.height())
                << l << true << size << 1;
            QTest::addRow("%s monochrome %dx%d", layout, size.width(), size.height())
                << l << false << size << 1;
        }
        // Tall enough to be split over the threads: slice boundaries fall between the two rows
        // of a chroma row or not, and the last slice ends on an odd row.
        for (int threads : {2, 3, 8}) {
            QTest::addRow("%s colour sliced %d", layout, threads)
                << l << true << QSize(70, 203) << threads;
            QTest::addRow("%s monochrome sliced %d", layout, threads)
                << l << false << QSize(70, 203) << threads;
        }
    }
}

void TstFrameConversion::randomFrameMatchesReference()
{
    QFETCH(QString, layout);
    QFETCH(bool, colour);
    QFETCH(QSize, size);
    QFETCH(int, threads);
    const int width = size.width(), height = size.height();
    const QByteArray frame = randomBytes(width * height * 2, 7);
    QImage image;
    setConversionThreads(threads);
    const bool converted = convert(layout, frame, width, height, &image, colour);
    setConversionThreads(0);
    QVERIFY(converted);
    QCOMPARE(image.size(), size);
    QCOMPARE(image.format(), QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int yy, u, v;
            sample(layout, frame, width, height, x, y, &yy, &u, &v);
            const QRgb want = referencePixel(yy, u, v, colour) | 0xFF000000u;
            if (image.pixel(x, y) != want)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2: %3 instead of %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(image.pixel(x, y), 8, 16)
                                     .arg(want, 8, 16)));
        }
}

void TstFrameConversion::concurrentConversionsKeepTheirPictures()
{
    // Four threads convert their own frames at once while the workers serve one of them at a
    // time: every result must be the picture a lone conversion gives.
    const int width = 96, height = 130;
    setConversionThreads(2);
    QVector<QByteArray> frames;
    QVector<QImage> expected(4);
    for (int i = 0; i < 4; ++i) {
        frames << randomBytes(width * height * 2, quint32(20 + i));
        QVERIFY(convert(QStringLiteral("NV12"), frames[i], width, height, &expected[i], true));
    }
    QVector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 50; ++round) {
                QImage image;
                convert(QStringLiteral("NV12"), frames[i], width, height, &image, true);
                if (image != expected[i])
                    ++mismatches[i];
            }
        });
    for (std::thread &t : threads)
        t.join();
    setConversionThreads(0);
    QCOMPARE(mismatches, QVector<int>(4, 0));
}

void TstFrameConversion::serialYuy2MatchesParallel()
{
    const QByteArray even = randomBytes(32 * 20 * 2, 11);
    const auto *e = reinterpret_cast<const uchar *>(even.constData());
    QImage parallel, serial, flipped;
    QVERIFY(convertYuy2ToImage(e, 32, 20, &parallel));
    QVERIFY(convertYuy2ToImageSerial(e, 32, 20, &serial, true));
    QVERIFY(convertYuy2ToImageSerial(e, 32, -20, &flipped, true));
    QCOMPARE(serial, parallel);
    QCOMPARE(flipped, parallel.mirrored(false, true));

    // Width 3: rows are 6 bytes; the last pixel's pair has no V byte in the row.
    const int width = 3, height = 2;
    const QByteArray frame = randomBytes(width * height * 2, 3);
    const auto *d = reinterpret_cast<const uchar *>(frame.constData());
    QVERIFY(convertYuy2ToImage(d, width, height, &parallel));
    QVERIFY(convertYuy2ToImageSerial(d, width, height, &serial, true));
    QCOMPARE(parallel.size(), QSize(3, 2));
    QCOMPARE(serial, parallel);
    for (int y = 0; y < height; ++y) {
        const uchar *row = d + y * 6;
        QCOMPARE(parallel.pixel(0, y), referencePixel(row[0], row[1], row[3], true));
        QCOMPARE(parallel.pixel(1, y), referencePixel(row[2], row[1], row[3], true));
        // Its own U, the previous pair's V; nothing of the next row.
        QCOMPARE(parallel.pixel(2, y), referencePixel(row[4], row[5], row[3], true));
    }
    QImage single;
    QVERIFY(convertYuy2ToImage(d, 1, 1, &single));
    QCOMPARE(single.pixel(0, 0), referencePixel(d[0], d[1], 128, true));
}

void TstFrameConversion::badInputLeavesOutputUntouched()
{
    const QByteArray frame(64, char(100));
    const auto *data = reinterpret_cast<const uchar *>(frame.constData());
    QImage out(1, 1, QImage::Format_RGB32);
    out.fill(Qt::blue);
    const QImage before = out;
    QVERIFY(!convertYuy2ToImage(nullptr, 4, 4, &out));
    QVERIFY(!convertNv12ToImage(data, 0, 4, &out));
    QVERIFY(!convertI420ToImage(data, 4, 0, &out));
    QVERIFY(!convertYuy2ToImageSerial(data, -1, 4, &out, true));
    QCOMPARE(out, before);
    QVERIFY(convertRgb24ToImage(data, 64, 8, 8).isNull()); // 64 bytes cannot hold 8x8x3
}

void TstFrameConversion::rgb24IsSwappedFlippedAndCopied()
{
    QByteArray bgr;
    bgr.append(char(10)).append(char(20)).append(char(30)); // top row: B G R
    bgr.append(char(40)).append(char(50)).append(char(60)); // bottom row
    const auto *data = reinterpret_cast<const uchar *>(bgr.constData());
    const QImage upright = convertRgb24ToImage(data, bgr.size(), 1, 2);
    const QImage flipped = convertRgb24ToImage(data, bgr.size(), 1, -2);
    bgr.fill(0); // the pictures must not refer to the capture buffer
    QCOMPARE(upright.format(), QImage::Format_RGB888);
    QCOMPARE(upright.pixel(0, 0), qRgb(30, 20, 10));
    QCOMPARE(upright.pixel(0, 1), qRgb(60, 50, 40));
    QCOMPARE(flipped.pixel(0, 0), qRgb(60, 50, 40));
}

void TstFrameConversion::monochromeAndMirror()
{
    QImage picture(2, 1, QImage::Format_RGB888);
    picture.setPixel(0, 0, qRgb(200, 100, 50));
    picture.setPixel(1, 0, qRgb(0, 255, 0));
    const QImage grey = toSoftwareMonochrome(picture);
    QCOMPARE(grey.format(), QImage::Format_ARGB32);
    const int g = (11 * 200 + 16 * 100 + 5 * 50) >> 5;
    QCOMPARE(grey.pixel(0, 0), qRgba(g, g, g, 255));
    QCOMPARE(grey.pixel(1, 0), qRgba(127, 127, 127, 255));
    QCOMPARE(applyMirror(picture, true, false).pixel(0, 0), qRgb(0, 255, 0));
    QVERIFY(applyMirror(picture, false, false).constBits() == picture.constBits());
}

void TstFrameConversion::previewScaling_data()
{
    QTest::addColumn<QSize>("input");
    QTest::addColumn<QSize>("output");
    QTest::newRow("1280x720 passes") << QSize(1280, 720) << QSize(1280, 720);
    QTest::newRow("small passes") << QSize(640, 480) << QSize(640, 480);
    QTest::newRow("1281x720 scaled") << QSize(1281, 720) << QSize(1280, 719);
    QTest::newRow("1280x721 scaled") << QSize(1280, 721) << QSize(1278, 720);
    QTest::newRow("4K scaled") << QSize(3840, 2160) << QSize(1280, 720);
}

void TstFrameConversion::previewScaling()
{
    QFETCH(QSize, input);
    QFETCH(QSize, output);
    QImage picture(input, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    QCOMPARE(scaleForPreview(picture).size(), output);
}

QTEST_GUILESS_MAIN(TstFrameConversion)
#include "tst_frameconversion.moc"
