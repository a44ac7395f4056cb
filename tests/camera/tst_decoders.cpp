// tst_decoders.cpp: the FFmpeg and libjpeg-turbo packet decoders on packets encoded at test time.
#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include "TestEnv.h"
#include "camera/FfmpegDecoder.h"
#include "camera/TurboJpegDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace {

QStringList g_messages;

void collectMessages(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_messages.append(message);
}

// Captures every diagnostic message while it lives.
struct MessageCapture
{
    MessageCapture()
    {
        g_messages.clear();
        m_previous = qInstallMessageHandler(collectMessages);
    }
    ~MessageCapture() { qInstallMessageHandler(m_previous); }
    int count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &m : g_messages)
            n += m.startsWith(prefix) ? 1 : 0;
        return n;
    }
    QtMessageHandler m_previous;
};

// Four quadrants: red, green / blue, white.
QImage quadrantImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, width / 2, height / 2, Qt::red);
    p.fillRect(width / 2, 0, width - width / 2, height / 2, Qt::green);
    p.fillRect(0, height / 2, width / 2, height - height / 2, Qt::blue);
    p.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, Qt::white);
    return image;
}

// Smooth gradients with some detail: what a scaled decode should reproduce closely.
QImage gradientImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgb(255 * x / width, 255 * y / height, 128 + 100 * ((x / 16 + y / 16) % 2)));
    return image;
}

QByteArray toJpeg(const QImage &image, int quality = 95)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// Encodes frames of width x height whose luma is `left` on the left half and `right` on the
// right half (neutral chroma), as Annex B H.264 packets, one per frame, key frame every 10.
QList<QByteArray> encodeH264(int width, int height, int frames, int left, int right)
{
    QList<QByteArray> packets;
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_H264);
    if (!codec)
        return packets;
    AVCodecContext *context = avcodec_alloc_context3(codec);
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = AVRational{1, 30};
    context->gop_size = 10;
    context->max_b_frames = 0;
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return packets;
    }
    AVFrame *frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    AVPacket *packet = av_packet_alloc();
    auto drain = [&]() {
        while (avcodec_receive_packet(context, packet) == 0) {
            packets.append(QByteArray(reinterpret_cast<const char *>(packet->data), packet->size));
            av_packet_unref(packet);
        }
    };
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(frame);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                frame->data[0][y * frame->linesize[0] + x] = uint8_t(x < width / 2 ? left : right);
        for (int plane = 1; plane < 3; ++plane)
            for (int y = 0; y < height / 2; ++y)
                memset(frame->data[plane] + y * frame->linesize[plane], 128, size_t(width / 2));
        frame->pts = i;
        avcodec_send_frame(context, frame);
        drain();
    }
    avcodec_send_frame(context, nullptr);
    drain();
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return packets;
}

// Sends a packet and collects every picture that comes out, the way the decode thread does.
QList<QImage> feed(FfmpegDecoder &decoder, const QByteArray &packet)
{
    QList<QImage> pictures;
    QImage picture;
    bool again = false;
    while (!decoder.sendPacket(packet)) {
        if (!decoder.receiveFrame(&picture, &again))
            return pictures;
        pictures.append(picture);
    }
    while (decoder.receiveFrame(&picture, &again))
        pictures.append(picture);
    return pictures;
}

QByteArray mutate(const QByteArray &good, QRandomGenerator &random)
{
    QByteArray bad = good;
    switch (random.bounded(4)) {
    case 0: // flip a few bytes
        for (int i = 0, n = 1 + random.bounded(8); i < n; ++i)
            bad[random.bounded(bad.size())] = char(random.bounded(256));
        break;
    case 1: // truncate
        bad.truncate(random.bounded(bad.size()));
        break;
    case 2: // overwrite a run with noise
    {
        const int start = random.bounded(bad.size());
        const int length = qMin(bad.size() - start, 1 + random.bounded(64));
        for (int i = 0; i < length; ++i)
            bad[start + i] = char(random.bounded(256));
        break;
    }
    default: // pure noise
        bad = QByteArray(1 + random.bounded(4096), Qt::Uninitialized);
        for (char &c : bad)
            c = char(random.bounded(256));
        break;
    }
    return bad;
}

int channelDistance(QRgb a, QRgb b)
{
    return qMax(qAbs(qRed(a) - qRed(b)),
                qMax(qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))));
}

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

} // namespace

class TestDecoders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnv::isolate();
        // The damaged-packet runs make the codecs complain thousands of times on stderr.
        av_log_set_level(AV_LOG_QUIET);
    }

    void annexBRewrite_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray unit = bytesOf({0x65, 0x88, 0x84, 0x00, 0x21});
        const QByteArray unit2 = bytesOf({0x41, 0x9a, 0x02});
        QTest::newRow("one unit") << bytesOf({0, 0, 0, 5}) + unit << bytesOf({0, 0, 0, 1}) + unit;
        QTest::newRow("two units") << bytesOf({0, 0, 0, 5}) + unit + bytesOf({0, 0, 0, 3}) + unit2
                                   << bytesOf({0, 0, 0, 1}) + unit + bytesOf({0, 0, 0, 1}) + unit2;
        QTest::newRow("length past the end")
            << bytesOf({0, 0, 0, 9}) + unit << bytesOf({0, 0, 0, 9}) + unit;
        QTest::newRow("second length past the end")
            << bytesOf({0, 0, 0, 5}) + unit + bytesOf({0, 0, 0, 9}) + unit2
            << bytesOf({0, 0, 0, 5}) + unit + bytesOf({0, 0, 0, 9}) + unit2;
        QTest::newRow("already Annex B")
            << bytesOf({0, 0, 0, 1}) + unit << bytesOf({0, 0, 0, 1}) + unit;
        QTest::newRow("shorter than nine bytes")
            << bytesOf({0, 0, 0, 3, 1, 2, 3}) << bytesOf({0, 0, 0, 3, 1, 2, 3});
        QTest::newRow("leftover shorter than a length")
            << bytesOf({0, 0, 0, 5}) + unit + bytesOf({0, 0}) << bytesOf({0, 0, 0, 1}) + unit;
        QTest::newRow("JPEG") << bytesOf({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'})
                              << bytesOf({0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'});
    }
    void annexBRewrite()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QCOMPARE(FfmpegDecoder::toAnnexB(input), expected);
    }

    void outputSize_data()
    {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("no box") << QSize(960, 540) << QSize(0, 0) << QSize(960, 540);
        QTest::newRow("4K lowres fits") << QSize(960, 540) << QSize(960, 540) << QSize(960, 540);
        QTest::newRow("4:3 into 16:9") << QSize(640, 480) << QSize(960, 540) << QSize(720, 540);
        QTest::newRow("small is enlarged") << QSize(320, 180) << QSize(960, 540) << QSize(960, 540);
        QTest::newRow("half rounds up") << QSize(4, 6) << QSize(1, 100) << QSize(1, 2);
        QTest::newRow("never below one") << QSize(1000, 2) << QSize(10, 100) << QSize(10, 1);
        QTest::newRow("width alone") << QSize(640, 480) << QSize(100, 0) << QSize(100, 480);
        QTest::newRow("height alone") << QSize(640, 480) << QSize(0, 100) << QSize(640, 100);
    }
    void outputSize()
    {
        QFETCH(QSize, frame);
        QFETCH(QSize, box);
        QFETCH(QSize, expected);
        QCOMPARE(
            FfmpegDecoder::outputSize(frame.width(), frame.height(), box.width(), box.height()),
            expected);
    }

    // Quadrants red, green / blue, white land where the mirror flags put them; grey output
    // spans the full range.
    void mirroredAndGreyOutput_data()
    {
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<QList<QRgb>>("corners"); // top-left, top-right, bottom-left, bottom-right
        const QRgb r = qRgb(255, 0, 0), g = qRgb(0, 255, 0), b = qRgb(0, 0, 255),
                   w = qRgb(255, 255, 255);
        QTest::newRow("plain") << false << false << false << QList<QRgb>{r, g, b, w};
        QTest::newRow("horizontal") << true << false << false << QList<QRgb>{g, r, w, b};
        QTest::newRow("vertical") << false << true << false << QList<QRgb>{b, w, r, g};
        QTest::newRow("both") << true << true << false << QList<QRgb>{w, b, g, r};
        // BT.601 luma of red, green, blue, white on the full 0..255 scale.
        const QRgb lr = qRgb(76, 76, 76), lg = qRgb(150, 150, 150), lb = qRgb(29, 29, 29);
        QTest::newRow("grey") << false << false << true << QList<QRgb>{lr, lg, lb, w};
        QTest::newRow("grey both") << true << true << true << QList<QRgb>{w, lb, lg, lr};
    }
    void mirroredAndGreyOutput()
    {
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);
        QFETCH(bool, grey);
        QFETCH(QList<QRgb>, corners);
        FfmpegDecoder decoder;
        QVERIFY(decoder.open(FfmpegDecoder::Codec::Mjpeg, 64, 48, grey, 0));
        decoder.setMirror(horizontal, vertical);
        const QList<QImage> pictures = feed(decoder, toJpeg(quadrantImage(64, 48), 100));
        QCOMPARE(pictures.size(), 1);
        const QImage &picture = pictures.first();
        QCOMPARE(picture.size(), QSize(64, 48));
        QCOMPARE(picture.format(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        const QPoint points[4] = {{8, 8}, {55, 8}, {8, 39}, {55, 39}};
        for (int i = 0; i < 4; ++i) {
            const QRgb got = picture.pixel(points[i]);
            QVERIFY2(channelDistance(got, corners[i]) <= 8,
                     qPrintable(QStringLiteral("corner %1: got %2, expected %3")
                                    .arg(i)
                                    .arg(got, 8, 16)
                                    .arg(corners[i], 8, 16)));
        }
    }

    // Limited-range H.264 luma 16 and 235 become grey 0 and 255.
    void greyH264IsFullRange()
    {
        const QList<QByteArray> packets = encodeH264(64, 48, 1, 16, 235);
        QVERIFY(!packets.isEmpty());
        FfmpegDecoder decoder;
        decoder.setH26xThreads(1);
        QVERIFY(decoder.open(FfmpegDecoder::Codec::H264, 64, 48, true, 0));
        QList<QImage> pictures;
        for (const QByteArray &packet : packets)
            pictures += feed(decoder, packet);
        QCOMPARE(pictures.size(), 1);
        QVERIFY(qGray(pictures[0].pixel(8, 24)) <= 4);
        QVERIFY(qGray(pictures[0].pixel(56, 24)) >= 251);
    }

    // Runs of invalid packets are logged at the 1st, 30th, 60th..., and a good packet ends a run.
    void invalidPacketsLoggedSparingly()
    {
        const QList<QByteArray> packets = encodeH264(64, 48, 12, 60, 200);
        QVERIFY(packets.size() >= 12);
        FfmpegDecoder decoder;
        decoder.setH26xThreads(1);
        QVERIFY(decoder.open(FfmpegDecoder::Codec::H264, 64, 48, false, 0));
        const QString line =
            QStringLiteral("FFmpeg skipping invalid packet (waiting for keyframe), count = ");
        {
            MessageCapture capture;
            // Packets 1..9 are P-frames: without the key frame before them they are refused.
            for (int i = 0; i < 60; ++i)
                QVERIFY(decoder.sendPacket(packets[1 + i % 9]));
            QCOMPARE(decoder.invalidPacketCount(), 60);
            QStringList logged;
            for (const QString &m : g_messages)
                if (m.startsWith(line))
                    logged.append(m.mid(line.size()));
            QCOMPARE(logged, QStringList({"1", "30", "60"}));
        }
        QVERIFY(!feed(decoder, packets[10]).isEmpty()); // key frame
        QCOMPARE(decoder.invalidPacketCount(), 0);
    }

    // libjpeg-turbo at 1/4 and FFmpeg at lowres 2 agree on the size and, closely, on the pixels.
    void turboQuarterMatchesFfmpegLowres_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("multiple of 32") << QSize(320, 192);
        QTest::newRow("odd size") << QSize(202, 118);
    }
    void turboQuarterMatchesFfmpegLowres()
    {
        QFETCH(QSize, size);
        const QByteArray jpeg = toJpeg(gradientImage(size.width(), size.height()), 90);
        QImage turbo;
        QVERIFY(TurboJpegDecoder().decode(jpeg, &turbo, 4));
        QCOMPARE(turbo.format(), QImage::Format_RGB888);
        FfmpegDecoder decoder;
        QVERIFY(decoder.open(FfmpegDecoder::Codec::Mjpeg, size.width(), size.height(), false, 2));
        const QList<QImage> pictures = feed(decoder, jpeg);
        QCOMPARE(pictures.size(), 1);
        const QImage ffmpeg = pictures.first();
        QCOMPARE(turbo.size(), QSize((size.width() + 3) / 4, (size.height() + 3) / 4));
        QCOMPARE(ffmpeg.size(), turbo.size());
        qint64 sum = 0;
        int worst = 0;
        for (int y = 0; y < turbo.height(); ++y)
            for (int x = 0; x < turbo.width(); ++x) {
                const QRgb a = turbo.pixel(x, y), b = ffmpeg.pixel(x, y);
                sum += qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) +
                       qAbs(qBlue(a) - qBlue(b));
                worst = qMax(worst, channelDistance(a, b));
            }
        const double mean = double(sum) / (3.0 * turbo.width() * turbo.height());
        QVERIFY2(mean < 4.0, qPrintable(QString::number(mean)));
        QVERIFY2(worst < 64, qPrintable(QString::number(worst)));
    }

    void turboDecodeEdges()
    {
        TurboJpegDecoder decoder;
        const QByteArray jpeg = toJpeg(quadrantImage(64, 48));
        QImage out(1, 1, QImage::Format_RGB32);
        QVERIFY(!decoder.decode(QByteArray(), &out, 4));
        QVERIFY(!decoder.decode(jpeg, &out, 0));
        QCOMPARE(out.size(), QSize(1, 1)); // failures leave the output alone

        QVERIFY(decoder.decode(jpeg, &out, 1));
        QCOMPARE(out.size(), QSize(64, 48));
        QVERIFY(channelDistance(out.pixel(8, 8), qRgb(255, 0, 0)) <= 8);

        // A picture cut short is finished from the end-of-image marker at full size.
        const QByteArray gradient = toJpeg(gradientImage(320, 240));
        QVERIFY(decoder.decode(gradient.left(gradient.size() * 3 / 4), &out, 4));
        QCOMPARE(out.size(), QSize(80, 60));

        MessageCapture capture;
        QVERIFY(!decoder.decode(QByteArray("not a jpeg at all"), &out, 4));
        QCOMPARE(capture.count("libjpeg error: "), 1);

        // A damaged header claiming 65535x65535 is refused instead of decoding padding for seconds.
        QByteArray huge = jpeg;
        const int sof = huge.indexOf(bytesOf({0xFF, 0xC0}));
        QVERIFY(sof > 0);
        huge[sof + 5] = huge[sof + 6] = huge[sof + 7] = huge[sof + 8] = char(0xFF);
        QVERIFY(!decoder.decode(huge, &out, 4));
        QCOMPARE(out.size(), QSize(80, 60));
    }

    // Picture sizes that are not a multiple of the scaler's vector width, at every reduction:
    // the scaler writes past the end of such rows, which must stay inside the image.
    void unalignedSizesDecodeSafely_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("lowres");
        QTest::addColumn<bool>("grey");
        for (const QSize &size : {QSize(96, 64), QSize(97, 61), QSize(100, 61), QSize(64, 57)})
            for (int lowres : {0, 2, 3})
                for (bool grey : {false, true})
                    QTest::addRow("%dx%d lowres %d%s", size.width(), size.height(), lowres,
                                  grey ? " grey" : "")
                        << size << lowres << grey;
    }
    void unalignedSizesDecodeSafely()
    {
        QFETCH(QSize, size);
        QFETCH(int, lowres);
        QFETCH(bool, grey);
        const QByteArray jpeg = toJpeg(quadrantImage(size.width(), size.height()));
        FfmpegDecoder decoder;
        QVERIFY(
            decoder.open(FfmpegDecoder::Codec::Mjpeg, size.width(), size.height(), grey, lowres));
        const int scale = 1 << lowres;
        const QSize expected((size.width() + scale - 1) / scale,
                             (size.height() + scale - 1) / scale);
        QList<QImage> pictures;
        for (int i = 0; i < 20; ++i)
            pictures += feed(decoder, jpeg);
        QCOMPARE(pictures.size(), 20);
        for (const QImage &picture : pictures) {
            QCOMPARE(picture.size(), expected);
            const QRgb red = grey ? qRgb(76, 76, 76) : qRgb(255, 0, 0);
            QVERIFY(channelDistance(picture.pixel(0, 0), red) <= 16);
        }
    }

    // Thousands of damaged MJPG packets crash nothing, and good packets decode afterwards.
    void corruptMjpegThenGood()
    {
        const QImage source = quadrantImage(96, 64);
        const QByteArray good = toJpeg(source);
        FfmpegDecoder preview;
        preview.setMjpegThreads(2);
        QVERIFY(preview.open(FfmpegDecoder::Codec::Mjpeg, 96, 64, false, 2));
        preview.setTargetSize(960, 540);
        FfmpegDecoder full;
        QVERIFY(full.open(FfmpegDecoder::Codec::Mjpeg, 96, 64, false, 0));
        TurboJpegDecoder turbo;
        QRandomGenerator random(12345);
        {
            MessageCapture quiet;
            for (int i = 0; i < 3000; ++i) {
                const QByteArray bad = mutate(good, random);
                feed(preview, bad);
                feed(full, bad);
                QImage picture;
                turbo.decode(bad, &picture, 4);
            }
        }
        QList<QImage> pictures;
        for (int i = 0; i < 3; ++i) {
            pictures += feed(preview, good);
            pictures += feed(full, good);
        }
        QVERIFY(pictures.size() >= 4);
        const QImage &last = pictures.last();
        QCOMPARE(last.size(), QSize(96, 64));
        QVERIFY(channelDistance(last.pixel(10, 10), qRgb(255, 0, 0)) <= 8);
        QImage small;
        QVERIFY(turbo.decode(good, &small, 4));
        QCOMPARE(small.size(), QSize(24, 16));
    }

    // Thousands of damaged H.264 packets, then the stream from a key frame: pictures resume.
    void corruptH264ThenKeyFrame()
    {
        const QList<QByteArray> packets = encodeH264(64, 48, 20, 60, 200);
        QVERIFY(packets.size() >= 20);
        FfmpegDecoder decoder;
        decoder.setH26xThreads(2);
        decoder.setFrameThreading(true);
        QVERIFY(decoder.open(FfmpegDecoder::Codec::H264, 64, 48, false, 0));
        QRandomGenerator random(777);
        {
            MessageCapture quiet;
            for (int i = 0; i < 2000; ++i)
                feed(decoder, mutate(packets[random.bounded(packets.size())], random));
        }
        QList<QImage> pictures;
        {
            MessageCapture quiet;
            for (int i = 10; i < 20; ++i)
                pictures += feed(decoder, packets[i]);
        }
        QVERIFY(pictures.size() >= 5);
        const QImage &last = pictures.last();
        QCOMPARE(last.size(), QSize(64, 48));
        QVERIFY(qAbs(qGray(last.pixel(8, 24)) - qGray(qRgb(51, 51, 51))) <= 12);
        QVERIFY(qAbs(qGray(last.pixel(56, 24)) - 216) <= 12);
    }
};

QTEST_GUILESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
