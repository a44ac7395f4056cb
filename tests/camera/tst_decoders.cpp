// tst_decoders.cpp: the FFmpeg and libjpeg-turbo packet decoders on packets encoded at test time.
#include <QBuffer>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include "TestEnv.h"
#include "camera/DemoEncoders.h"
#include "camera/FfmpegDecoder.h"
#include "camera/JpegHuffmanTables.h"
#include "camera/TurboJpegDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace {

QStringList g_messages;

// Collects every diagnostic message while it lives.
struct MessageCapture
{
    MessageCapture()
    {
        g_messages.clear();
        m_previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext &, const QString &m) { g_messages << m; });
    }
    ~MessageCapture() { qInstallMessageHandler(m_previous); }
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

// Identical frames, dark grey on the left half and light grey on the right, as one H.264 group
// of pictures: the first packet is the key frame, the others depend on it.
QList<QByteArray> encodeH264(int frames)
{
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(qRgb(200, 200, 200));
    QPainter(&picture).fillRect(0, 0, 32, 48, QColor(50, 50, 50));
    QList<QByteArray> packets;
    QString error;
    DemoEncoders::encodeH264Loop(QList<QImage>() << QVector<QImage>(frames, picture).toList(), 30,
                                 &packets, &error);
    return packets;
}

// 24 different grey ramps as an H.264 stream with B-frames (pictures sent out of order), or an
// empty list without an encoder that makes B-frames.
QList<QByteArray> encodeH264WithBFrames()
{
    const AVCodec *codec = avcodec_find_encoder_by_name("libx264");
    AVCodecContext *context = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame *frame = av_frame_alloc();
    AVPacket *packet = av_packet_alloc();
    QList<QByteArray> packets;
    if (context && frame && packet) {
        context->width = frame->width = 64;
        context->height = frame->height = 48;
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        frame->format = AV_PIX_FMT_YUV420P;
        context->time_base = AVRational{1, 30};
        context->gop_size = 24;
        context->max_b_frames = 2;
        av_opt_set(context->priv_data, "preset", "fast", 0);
        av_opt_set(context->priv_data, "x264-params", "log=-1", 0);
        if (avcodec_open2(context, codec, nullptr) >= 0 && av_frame_get_buffer(frame, 0) >= 0) {
            for (int i = 0; i <= 24; ++i) {
                if (i < 24) {
                    av_frame_make_writable(frame);
                    for (int plane = 0; plane < 3; ++plane)
                        for (int y = 0; y < (plane ? 24 : 48); ++y)
                            std::fill_n(frame->data[plane] + y * frame->linesize[plane],
                                        plane ? 32 : 64, plane ? 128 : 40 + 7 * i);
                    frame->pts = i;
                }
                avcodec_send_frame(context, i < 24 ? frame : nullptr);
                while (avcodec_receive_packet(context, packet) == 0) {
                    packets << QByteArray(reinterpret_cast<const char *>(packet->data),
                                          packet->size);
                    av_packet_unref(packet);
                }
            }
        }
    }
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
    default: // noise
        bad.resize(4 + 4 * random.bounded(1024));
        random.fillRange(reinterpret_cast<quint32 *>(bad.data()), bad.size() / 4);
        break;
    }
    return bad;
}

int channelDistance(QRgb a, QRgb b)
{
    return qMax(qAbs(qRed(a) - qRed(b)),
                qMax(qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))));
}

// Mean difference per channel of two pictures of one size.
double meanDistance(const QImage &a, const QImage &b)
{
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum +=
                qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    return double(sum) / (3.0 * a.width() * a.height());
}

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// Huffman tables by class and id (0x00 DC luminance ... 0x11 AC chrominance), each with its 16
// code counts and its symbols, read from every DHT segment before the first scan.
QMap<int, QByteArray> huffmanTables(const QByteArray &jpeg)
{
    QMap<int, QByteArray> tables;
    int pos = 2;
    while (pos + 4 <= jpeg.size() && uchar(jpeg[pos]) == 0xFF && uchar(jpeg[pos + 1]) != 0xDA) {
        const int length = (uchar(jpeg[pos + 2]) << 8) | uchar(jpeg[pos + 3]);
        if (uchar(jpeg[pos + 1]) == 0xC4) {
            int table = pos + 4;
            while (table < pos + 2 + length) {
                int symbols = 0;
                for (int i = 1; i <= 16; ++i)
                    symbols += uchar(jpeg[table + i]);
                tables[uchar(jpeg[table])] = jpeg.mid(table + 1, 16 + symbols);
                table += 17 + symbols;
            }
        }
        pos += 2 + length;
    }
    return tables;
}

// A decoder of the MJPG chain, by name, decoding a whole picture (no reduction).
QImage decodeWith(const QString &decoder, const QByteArray &jpeg, const QSize &size,
                  bool grey = false, bool mirrorH = false, bool mirrorV = false)
{
    QImage out;
    if (decoder == QLatin1String("libjpeg-turbo")) {
        TurboJpegDecoder().decode(jpeg, &out, 1);
    } else if (decoder == QLatin1String("libjpeg-turbo preview")) {
        TurboJpegDecoder turbo;
        turbo.setPreviewSize(1, QSize());
        turbo.setGrey(grey);
        turbo.setMirror(mirrorH, mirrorV);
        turbo.decodePreview(jpeg, &out);
    } else if (decoder == QLatin1String("FFmpeg")) {
        FfmpegDecoder ffmpeg;
        if (ffmpeg.open(FfmpegDecoder::Codec::Mjpeg, size.width(), size.height(), grey, 0)) {
            ffmpeg.setMirror(mirrorH, mirrorV);
            const QList<QImage> pictures = feed(ffmpeg, jpeg);
            out = pictures.size() == 1 ? pictures.first() : QImage();
        }
    } else { // Qt's reader, as the camera uses it: given the standard tables when the frame has
             // none.
        out = QImage::fromData(JpegHuffmanTables::withStandardTables(jpeg), "JPEG");
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(DemoEncoders::JpegSampling)

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
        QTest::newRow("already Annex B")
            << bytesOf({0, 0, 0, 1}) + unit << bytesOf({0, 0, 0, 1}) + unit;
        QTest::newRow("shorter than nine bytes")
            << bytesOf({0, 0, 0, 3, 1, 2, 3}) << bytesOf({0, 0, 0, 3, 1, 2, 3});
        QTest::newRow("leftover shorter than a length")
            << bytesOf({0, 0, 0, 5}) + unit + bytesOf({0, 0}) << bytesOf({0, 0, 0, 1}) + unit;
    }
    void annexBRewrite()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, expected);
        QCOMPARE(FfmpegDecoder::toAnnexB(input), expected);
    }

    // Quadrants red, green / blue, white land where the mirror flags put them; grey output
    // spans the full range.
    void mirroredAndGreyOutput_data()
    {
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<QList<QRgb>>("corners"); // top-left, top-right, bottom-left, bottom-right
        QTest::addColumn<QString>("decoder");
        const QRgb r = qRgb(255, 0, 0), g = qRgb(0, 255, 0), b = qRgb(0, 0, 255),
                   w = qRgb(255, 255, 255);
        // BT.601 luma of red, green, blue, white on the full 0..255 scale.
        const QRgb lr = qRgb(76, 76, 76), lg = qRgb(150, 150, 150), lb = qRgb(29, 29, 29);
        for (const char *name : {"FFmpeg", "libjpeg-turbo preview"}) {
            const QString decoder = QString::fromLatin1(name);
            QTest::addRow("%s plain", name)
                << false << false << false << QList<QRgb>{r, g, b, w} << decoder;
            QTest::addRow("%s horizontal", name)
                << true << false << false << QList<QRgb>{g, r, w, b} << decoder;
            QTest::addRow("%s vertical", name)
                << false << true << false << QList<QRgb>{b, w, r, g} << decoder;
            QTest::addRow("%s both", name)
                << true << true << false << QList<QRgb>{w, b, g, r} << decoder;
            QTest::addRow("%s grey", name)
                << false << false << true << QList<QRgb>{lr, lg, lb, w} << decoder;
            QTest::addRow("%s grey both", name)
                << true << true << true << QList<QRgb>{w, lb, lg, lr} << decoder;
        }
    }
    void mirroredAndGreyOutput()
    {
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);
        QFETCH(bool, grey);
        QFETCH(QList<QRgb>, corners);
        QFETCH(QString, decoder);
        const QImage picture = decodeWith(decoder, toJpeg(quadrantImage(64, 48), 100),
                                          QSize(64, 48), grey, horizontal, vertical);
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

    // The inserted tables are the standard ones, which libjpeg encodes with by default; bytes
    // that are not a JPEG with a scan pass through untouched.
    void standardHuffmanTables()
    {
        const QByteArray jpeg = DemoEncoders::encodeJpeg(gradientImage(64, 48));
        QVERIFY(JpegHuffmanTables::hasTables(jpeg));
        QCOMPARE(huffmanTables(jpeg).keys(), QList<int>({0x00, 0x01, 0x10, 0x11}));
        const QByteArray bare = JpegHuffmanTables::withoutTables(jpeg);
        QVERIFY(!JpegHuffmanTables::hasTables(bare));
        QVERIFY(huffmanTables(bare).isEmpty());
        QCOMPARE(bare, DemoEncoders::encodeMjpegFrame(gradientImage(64, 48)));
        const QByteArray restored = JpegHuffmanTables::withStandardTables(bare);
        QCOMPARE(huffmanTables(restored), huffmanTables(jpeg));
        QCOMPARE(restored.size(), bare.size() + JpegHuffmanTables::standardSegment().size());
        QCOMPARE(JpegHuffmanTables::withStandardTables(jpeg), jpeg); // has its own tables

        const QByteArray sos = bytesOf({0xFF, 0xDA});
        for (const QByteArray &other :
             {QByteArray("not a jpeg"), bytesOf({0xFF, 0xD8}) + QByteArray(300, '\0'),
              jpeg.left(jpeg.indexOf(sos)), bytesOf({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01}) + sos}) {
            QCOMPARE(JpegHuffmanTables::withStandardTables(other), other);
            QCOMPARE(JpegHuffmanTables::withoutTables(other), other);
            QVERIFY(!JpegHuffmanTables::hasTables(other));
        }
    }

    // Every decoder of the MJPG chain shows frames sent without Huffman tables, as UVC cameras
    // send them, exactly as the same frames with their tables.
    void framesWithoutHuffmanTables_data()
    {
        QTest::addColumn<QString>("decoder");
        for (const char *decoder : {"libjpeg-turbo", "libjpeg-turbo preview", "FFmpeg", "Qt"})
            QTest::newRow(decoder) << QString::fromLatin1(decoder);
    }
    void framesWithoutHuffmanTables()
    {
        QFETCH(QString, decoder);
        const QSize size(96, 64);
        const QByteArray withTables = DemoEncoders::encodeJpeg(quadrantImage(96, 64));
        const QByteArray bare = DemoEncoders::encodeMjpegFrame(quadrantImage(96, 64));
        QVERIFY(!JpegHuffmanTables::hasTables(bare));
        const QImage expected = decodeWith(decoder, withTables, size);
        const QImage picture = decodeWith(decoder, bare, size);
        QCOMPARE(picture.size(), size);
        QCOMPARE(picture, expected);
        QVERIFY(channelDistance(picture.pixel(10, 10), qRgb(255, 0, 0)) <= 8);
        QVERIFY(channelDistance(picture.pixel(85, 53), qRgb(255, 255, 255)) <= 8);
    }

    // Whatever the chroma subsampling, every decoder keeps the colours of the picture: JPEG
    // frames are full range (4:2:2 and 4:4:4 frames used to lose it in FFmpeg's conversion).
    void coloursKeptAtEverySubsampling_data()
    {
        QTest::addColumn<DemoEncoders::JpegSampling>("sampling");
        QTest::addColumn<bool>("grey");
        using S = DemoEncoders::JpegSampling;
        for (const auto &[name, sampling] :
             {std::pair("4:2:0", S::Yuv420), std::pair("4:2:2", S::Yuv422),
              std::pair("4:4:4", S::Yuv444)})
            for (bool grey : {false, true})
                QTest::addRow("%s%s", name, grey ? " grey" : "") << sampling << grey;
    }
    void coloursKeptAtEverySubsampling()
    {
        QFETCH(DemoEncoders::JpegSampling, sampling);
        QFETCH(bool, grey);
        QImage flat(96, 64, QImage::Format_RGB32);
        flat.fill(qRgb(200, 120, 40));
        const QByteArray jpeg = DemoEncoders::encodeMjpegFrame(flat, 95, sampling);
        const QRgb expected = grey ? qRgb(133, 133, 133) : qRgb(200, 120, 40); // BT.601 luma
        for (int lowres : {0, 2}) {
            FfmpegDecoder ffmpeg;
            QVERIFY(ffmpeg.open(FfmpegDecoder::Codec::Mjpeg, 96, 64, grey, lowres));
            const QList<QImage> pictures = feed(ffmpeg, jpeg);
            QCOMPARE(pictures.size(), 1);
            const QRgb got = pictures.first().pixel(10, 10);
            QVERIFY2(
                channelDistance(got, expected) <= 3,
                qPrintable(QStringLiteral("FFmpeg lowres %1: %2").arg(lowres).arg(got, 8, 16)));
        }
        TurboJpegDecoder turbo;
        turbo.setPreviewSize(4, QSize(960, 540));
        turbo.setGrey(grey);
        QImage preview;
        QVERIFY(turbo.decodePreview(jpeg, &preview));
        QVERIFY2(channelDistance(preview.pixel(10, 10), expected) <= 3,
                 qPrintable(QString::number(preview.pixel(10, 10), 16)));
    }

    // libjpeg-turbo's preview has the size of FFmpeg's quarter-size picture fitted into the
    // same box, whether its scaled decode lands on that size or is scaled to it, and the same
    // picture; grey previews are the luma on the full scale.
    void turboPreviewMatchesFfmpegPreview_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("grey");
        for (const QSize &size : {QSize(1920, 1080), QSize(3840, 2160), QSize(1280, 720),
                                  QSize(640, 480), QSize(800, 600), QSize(202, 118)})
            for (bool grey : {false, true})
                QTest::addRow("%dx%d%s", size.width(), size.height(), grey ? " grey" : "")
                    << size << grey;
    }
    void turboPreviewMatchesFfmpegPreview()
    {
        QFETCH(QSize, size);
        QFETCH(bool, grey);
        const QByteArray jpeg =
            DemoEncoders::encodeMjpegFrame(gradientImage(size.width(), size.height()));
        TurboJpegDecoder turbo;
        turbo.setPreviewSize(4, QSize(960, 540));
        turbo.setGrey(grey);
        QImage preview;
        QVERIFY(turbo.decodePreview(jpeg, &preview));
        FfmpegDecoder ffmpeg;
        QVERIFY(ffmpeg.open(FfmpegDecoder::Codec::Mjpeg, size.width(), size.height(), grey, 2));
        ffmpeg.setTargetSize(960, 540);
        const QList<QImage> pictures = feed(ffmpeg, jpeg);
        QCOMPARE(pictures.size(), 1);
        const QImage reference = pictures.first();
        QCOMPARE(preview.size(), reference.size());
        QCOMPARE(preview.size(), TurboJpegDecoder::previewSize(size, 4, QSize(960, 540)));
        QCOMPARE(preview.format(), reference.format());
        // Both render the picture; libjpeg-turbo's, decoded at the preview size instead of
        // stretched from a quarter, is at least as close to it.
        QImage truth = gradientImage(size.width(), size.height())
                           .scaled(preview.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (grey) // BT.601 luma
            for (int y = 0; y < truth.height(); ++y) {
                auto *line = reinterpret_cast<QRgb *>(truth.scanLine(y));
                for (int x = 0; x < truth.width(); ++x) {
                    const int luma = qRound(0.299 * qRed(line[x]) + 0.587 * qGreen(line[x]) +
                                            0.114 * qBlue(line[x]));
                    line[x] = qRgb(luma, luma, luma);
                }
            }
        const double turboError = meanDistance(preview, truth);
        const double ffmpegError = meanDistance(reference, truth);
        QVERIFY2(turboError <= ffmpegError + 0.5 && turboError < 3.0,
                 qPrintable(QStringLiteral("%1 against %2").arg(turboError).arg(ffmpegError)));
        for (int y = 0; y < preview.height(); y += 7)
            QCOMPARE(qAlpha(preview.pixel(preview.width() - 1, y)), 255);
    }

    // A live H.264 stream in low-delay mode gives every picture out of its own packet; a stream
    // with B-frames still gives every picture, in display order.
    void lowDelayH264()
    {
        auto decodeAll = [](const QList<QByteArray> &packets, bool lowDelay, bool grey,
                            bool perPacket) {
            FfmpegDecoder decoder;
            decoder.setH26xThreads(2);
            decoder.setFrameThreading(!lowDelay);
            decoder.setLowDelay(lowDelay);
            QList<QImage> pictures;
            if (decoder.open(FfmpegDecoder::Codec::H264, 64, 48, grey, 0))
                for (const QByteArray &packet : packets) {
                    const QList<QImage> out = feed(decoder, packet);
                    if (perPacket && out.size() != 1)
                        return QList<QImage>();
                    pictures += out;
                }
            return pictures;
        };
        const QList<QImage> live = decodeAll(encodeH264(12), true, false, true);
        QCOMPARE(live.size(), 12);
        for (const QImage &picture : live)
            QVERIFY(qAbs(qGray(picture.pixel(8, 24)) - 50) <= 12);

        const QList<QByteArray> packets = encodeH264WithBFrames();
        if (packets.isEmpty())
            QSKIP("no H.264 encoder with B-frames");
        const QList<QImage> lowDelay = decodeAll(packets, true, true, false);
        const QList<QImage> reordered = decodeAll(packets, false, true, false);
        // The last pictures wait for packets that never come; low delay holds back no more.
        QVERIFY(lowDelay.size() >= 20 && lowDelay.size() >= reordered.size());
        QCOMPARE(lowDelay.mid(0, reordered.size()), reordered);
        for (int i = 1; i < lowDelay.size(); ++i) // brighter each picture, so none is missing
            QVERIFY(qGray(lowDelay[i].pixel(5, 5)) > qGray(lowDelay[i - 1].pixel(5, 5)));
    }

    // Runs of invalid packets are logged at the 1st, 30th, 60th..., and a good packet ends a run.
    void invalidPacketsLoggedSparingly()
    {
        const QList<QByteArray> packets = encodeH264(12);
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
        QVERIFY(!feed(decoder, packets[0]).isEmpty()); // key frame
        QCOMPARE(decoder.invalidPacketCount(), 0);
    }

    // libjpeg-turbo at 1/4 and FFmpeg at lowres 2 agree on the size and, closely, on the pixels;
    // bad input and bad reductions fail and leave the output alone.
    void turboQuarterDecode()
    {
        TurboJpegDecoder decoder;
        // Not a multiple of the 16-pixel MCU: partial blocks at the edges.
        const QSize size(202, 118);
        const QByteArray jpeg = toJpeg(gradientImage(size.width(), size.height()), 90);
        QImage out;
        QVERIFY(decoder.decode(jpeg, &out, 4));
        QCOMPARE(out.format(), QImage::Format_RGB888);
        FfmpegDecoder ffmpeg;
        QVERIFY(ffmpeg.open(FfmpegDecoder::Codec::Mjpeg, size.width(), size.height(), false, 2));
        const QList<QImage> pictures = feed(ffmpeg, jpeg);
        QCOMPARE(pictures.size(), 1);
        QCOMPARE(out.size(), QSize((size.width() + 3) / 4, (size.height() + 3) / 4));
        QCOMPARE(pictures.first().size(), out.size());
        int worst = 0;
        for (int y = 0; y < out.height(); ++y)
            for (int x = 0; x < out.width(); ++x)
                worst = qMax(worst, channelDistance(out.pixel(x, y), pictures.first().pixel(x, y)));
        const double mean = meanDistance(out, pictures.first());
        QVERIFY2(mean < 4.0 && worst < 64,
                 qPrintable(QStringLiteral("%1 %2").arg(mean).arg(worst)));

        out = QImage(1, 1, QImage::Format_RGB32);
        QVERIFY(!decoder.decode(QByteArray(), &out, 4));
        QVERIFY(!decoder.decode(jpeg, &out, 0));
        QCOMPARE(out.size(), QSize(1, 1));

        // A picture cut short is finished from the end-of-image marker at full size.
        QVERIFY(decoder.decode(jpeg.left(jpeg.size() * 3 / 4), &out, 4));
        QCOMPARE(out.size(), QSize(51, 30));

        MessageCapture capture;
        QVERIFY(!decoder.decode(QByteArray("not a jpeg at all"), &out, 4));
        QCOMPARE(g_messages.filter(QRegularExpression("^libjpeg error: ")).size(), 1);

        // A damaged header claiming 65535x65535 is refused instead of decoding padding for seconds.
        QByteArray huge = jpeg;
        const int sof = huge.indexOf(bytesOf({0xFF, 0xC0}));
        QVERIFY(sof > 0);
        huge[sof + 5] = huge[sof + 6] = huge[sof + 7] = huge[sof + 8] = char(0xFF);
        QVERIFY(!decoder.decode(huge, &out, 4));
        QCOMPARE(out.size(), QSize(51, 30));
    }

    // Picture sizes that are not a multiple of the scaler's vector width, at every reduction:
    // the scaler writes past the end of such rows, which must stay inside the image.
    void unalignedSizesDecodeSafely_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("lowres");
        QTest::addColumn<bool>("grey");
        for (const QSize &size : {QSize(96, 64), QSize(97, 61)})
            for (int lowres : {0, 2})
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
        turbo.setPreviewSize(4, QSize(960, 540));
        QRandomGenerator random(12345);
        {
            MessageCapture quiet;
            for (int i = 0; i < 3000; ++i) {
                const QByteArray bad = mutate(good, random);
                feed(preview, bad);
                feed(full, bad);
                QImage picture;
                turbo.decode(bad, &picture, 4);
                turbo.decodePreview(bad, &picture);
                QImage::fromData(
                    JpegHuffmanTables::withStandardTables(JpegHuffmanTables::withoutTables(bad)),
                    "JPEG");
            }
        }
        QList<QImage> previews, fulls;
        for (int i = 0; i < 3; ++i) {
            previews += feed(preview, good);
            fulls += feed(full, good);
        }
        QVERIFY(previews.size() >= 2 && fulls.size() >= 2);
        // The quarter-size 24x16 preview is fitted into 960x540.
        QCOMPARE(previews.last().size(), QSize(810, 540));
        QCOMPARE(fulls.last().size(), QSize(96, 64));
        QVERIFY(channelDistance(previews.last().pixel(40, 40), qRgb(255, 0, 0)) <= 8);
        QVERIFY(channelDistance(fulls.last().pixel(10, 10), qRgb(255, 0, 0)) <= 8);
        QImage small;
        QVERIFY(turbo.decode(good, &small, 4));
        QCOMPARE(small.size(), QSize(24, 16));
        QVERIFY(turbo.decodePreview(good, &small));
        QCOMPARE(small.size(), QSize(810, 540));
    }

    // The decoder writes a new picture into the memory of an earlier one only when nobody holds
    // that one any more: pictures kept by receivers stay as they came out.
    void heldPicturesAreNeverOverwritten_data()
    {
        QTest::addColumn<bool>("turbo");
        QTest::newRow("FFmpeg") << false;
        QTest::newRow("libjpeg-turbo preview") << true;
    }
    void heldPicturesAreNeverOverwritten()
    {
        QFETCH(bool, turbo);
        QList<QByteArray> packets;
        for (int i = 0; i < 4; ++i) {
            QImage source(64, 48, QImage::Format_RGB32);
            source.fill(qRgb(40 + 60 * i, 200 - 40 * i, 90));
            packets << toJpeg(source);
        }
        FfmpegDecoder decoder;
        QVERIFY(decoder.open(FfmpegDecoder::Codec::Mjpeg, 64, 48, false, 0));
        TurboJpegDecoder turboDecoder;
        turboDecoder.setPreviewSize(1, QSize());
        QList<QImage> held, copies;
        for (int round = 0; round < 12; ++round) {
            QList<QImage> pictures;
            if (turbo) {
                QImage picture;
                QVERIFY(turboDecoder.decodePreview(packets.at(round % packets.size()), &picture));
                pictures << picture;
            } else {
                pictures = feed(decoder, packets.at(round % packets.size()));
            }
            QCOMPARE(pictures.size(), 1);
            // Every other picture is kept, the rest are let go at once.
            if (round % 2 == 0) {
                held << pictures.first();
                copies << pictures.first().copy();
            }
        }
        for (int i = 0; i < held.size(); ++i)
            QCOMPARE(held.at(i), copies.at(i));
        QVERIFY(channelDistance(held.at(1).pixel(5, 5), qRgb(160, 120, 90)) <= 8);
    }

    // Thousands of damaged H.264 packets, then the stream from a key frame: pictures resume.
    void corruptH264ThenKeyFrame()
    {
        const QList<QByteArray> packets = encodeH264(20);
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
            for (const QByteArray &packet : packets)
                pictures += feed(decoder, packet);
        }
        QVERIFY(pictures.size() >= 10);
        const QImage &last = pictures.last();
        QCOMPARE(last.size(), QSize(64, 48));
        QVERIFY(qAbs(qGray(last.pixel(8, 24)) - 50) <= 12);
        QVERIFY(qAbs(qGray(last.pixel(56, 24)) - 200) <= 12);
    }
};

QTEST_GUILESS_MAIN(TestDecoders)
#include "tst_decoders.moc"
