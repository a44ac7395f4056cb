#include "camera/DemoEncoders.h"

#include "camera/JpegHuffmanTables.h"

#include <cstdio>
#include <cstring>
#include <jpeglib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace DemoEncoders {

namespace {

const AVCodec *findH264Encoder()
{
    if (const AVCodec *codec = avcodec_find_encoder_by_name("libx264"))
        return codec;
    return avcodec_find_encoder(AV_CODEC_ID_H264);
}

QString avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

} // namespace

QByteArray encodeJpeg(const QImage &picture, int quality, JpegSampling sampling)
{
    if (picture.isNull() || picture.format() != QImage::Format_RGB32)
        return QByteArray();
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(picture.width());
    cinfo.image_height = JDIMENSION(picture.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_BGRX; // Format_RGB32 is B,G,R,X in memory
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    // The luma component's factors; chroma keeps 1x1.
    cinfo.comp_info[0].h_samp_factor = sampling == JpegSampling::Yuv444 ? 1 : 2;
    cinfo.comp_info[0].v_samp_factor = sampling == JpegSampling::Yuv420 ? 2 : 1;
    cinfo.dct_method = JDCT_IFAST;
    cinfo.optimize_coding = FALSE; // the standard Huffman tables, as a camera uses
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray jpeg(reinterpret_cast<const char *>(buffer), int(size));
    std::free(buffer);
    return jpeg;
}

QByteArray encodeMjpegFrame(const QImage &picture, int quality, JpegSampling sampling)
{
    return JpegHuffmanTables::withoutTables(encodeJpeg(picture, quality, sampling));
}

QByteArray encodeYuyv(const QImage &picture)
{
    const int width = picture.width() & ~1, height = picture.height();
    QByteArray out(width * height * 2, Qt::Uninitialized);
    auto *dst = reinterpret_cast<uchar *>(out.data());
    for (int y = 0; y < height; ++y) {
        const auto *src = reinterpret_cast<const quint32 *>(picture.constScanLine(y));
        for (int x = 0; x < width; x += 2) {
            int ys[2], us = 0, vs = 0;
            for (int k = 0; k < 2; ++k) {
                const QRgb p = src[x + k];
                const int r = qRed(p), g = qGreen(p), b = qBlue(p);
                ys[k] = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
                us += ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
                vs += ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
            }
            *dst++ = uchar(ys[0]);
            *dst++ = uchar(us / 2);
            *dst++ = uchar(ys[1]);
            *dst++ = uchar(vs / 2);
        }
    }
    return out;
}

QByteArray encodeBgr24(const QImage &picture)
{
    const int width = picture.width(), height = picture.height();
    QByteArray out(width * height * 3, Qt::Uninitialized);
    auto *dst = reinterpret_cast<uchar *>(out.data());
    for (int y = 0; y < height; ++y) {
        const auto *src = reinterpret_cast<const quint32 *>(picture.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            *dst++ = uchar(qBlue(src[x]));
            *dst++ = uchar(qGreen(src[x]));
            *dst++ = uchar(qRed(src[x]));
        }
    }
    return out;
}

bool h264Available()
{
    return findH264Encoder() != nullptr;
}

bool encodeH264Loop(const QList<QImage> &pictures, int fps, QList<QByteArray> *packets,
                    QString *error)
{
    packets->clear();
    if (pictures.isEmpty()) {
        *error = QStringLiteral("no pictures");
        return false;
    }
    const AVCodec *codec = findH264Encoder();
    if (!codec) {
        *error = QStringLiteral("no H.264 encoder");
        return false;
    }
    const int width = pictures.first().width(), height = pictures.first().height();
    AVCodecContext *context = avcodec_alloc_context3(codec);
    AVFrame *frame = av_frame_alloc();
    AVPacket *packet = av_packet_alloc();
    SwsContext *scaler = nullptr;
    bool ok = false;
    auto drain = [&]() {
        int rc;
        while ((rc = avcodec_receive_packet(context, packet)) == 0) {
            packets->append(QByteArray(reinterpret_cast<const char *>(packet->data), packet->size));
            av_packet_unref(packet);
        }
        return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF ? 0 : rc;
    };
    do {
        if (!context || !frame || !packet) {
            *error = QStringLiteral("out of memory");
            break;
        }
        context->width = width;
        context->height = height;
        context->pix_fmt = AV_PIX_FMT_YUV420P;
        context->time_base = AVRational{1, fps};
        context->framerate = AVRational{fps, 1};
        context->gop_size = int(pictures.size());
        context->max_b_frames = 0;
        context->bit_rate = qint64(width) * height * 3;
        av_opt_set(context->priv_data, "preset", "ultrafast", 0);
        av_opt_set(context->priv_data, "tune", "zerolatency", 0);
        av_opt_set(context->priv_data, "x264-params", "log=-1", 0); // no statistics on stderr
        int rc = avcodec_open2(context, codec, nullptr);
        if (rc < 0) {
            *error = QStringLiteral("cannot open the H.264 encoder: ") + avErrorText(rc);
            break;
        }
        frame->format = AV_PIX_FMT_YUV420P;
        frame->width = width;
        frame->height = height;
        if ((rc = av_frame_get_buffer(frame, 0)) < 0) {
            *error = avErrorText(rc);
            break;
        }
        scaler = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV420P,
                                SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!scaler) {
            *error = QStringLiteral("no colour converter");
            break;
        }
        for (int i = 0; i < pictures.size() && rc >= 0; ++i) {
            av_frame_make_writable(frame);
            const uint8_t *src[1] = {pictures.at(i).constBits()};
            const int stride[1] = {int(pictures.at(i).bytesPerLine())};
            sws_scale(scaler, src, stride, 0, height, frame->data, frame->linesize);
            frame->pts = i;
            frame->pict_type = i == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
            rc = avcodec_send_frame(context, frame);
            if (rc >= 0)
                rc = drain();
        }
        if (rc >= 0)
            rc = avcodec_send_frame(context, nullptr);
        if (rc >= 0)
            rc = drain();
        if (rc < 0) {
            *error = QStringLiteral("H.264 encoding failed: ") + avErrorText(rc);
            break;
        }
        ok = packets->size() == pictures.size();
        if (!ok)
            *error = QStringLiteral("the encoder returned %1 packets for %2 pictures")
                         .arg(packets->size())
                         .arg(pictures.size());
    } while (false);
    sws_freeContext(scaler);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return ok;
}

} // namespace DemoEncoders
