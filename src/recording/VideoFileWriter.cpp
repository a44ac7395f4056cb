#include "recording/VideoFileWriter.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr AVRational k100ns{1, 10000000};

// "0x%1" with the eight hexadecimal digits of the result code, then FFmpeg's own words for it.
QString codeText(int code)
{
    char message[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, message, sizeof message);
    return QStringLiteral("0x%1 (%2)")
        .arg(quint32(code), 8, 16, QLatin1Char('0'))
        .arg(QString::fromUtf8(message));
}

constexpr int kIoBufferSize = 1 << 16;

int writeToFile(void *opaque, uint8_t *data, int size)
{
    const int fd = *static_cast<const int *>(opaque);
    for (int done = 0; done < size;) {
        const ssize_t written = ::write(fd, data + done, size_t(size - done));
        if (written < 0 && errno != EINTR)
            return AVERROR(errno);
        done += written > 0 ? int(written) : 0;
    }
    // Start putting the new bytes on the disk now instead of when the kernel gets round to it
    // (up to half a minute later), so that a power cut loses little more than one fragment.
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    return size;
}

int64_t seekInFile(void *opaque, int64_t offset, int whence)
{
    const int fd = *static_cast<const int *>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat status
        {};
        return ::fstat(fd, &status) == 0 ? int64_t(status.st_size) : AVERROR(errno);
    }
    const off_t position = ::lseek(fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return position < 0 ? AVERROR(errno) : int64_t(position);
}

bool isIsoMedia(const AVOutputFormat *format)
{
    for (const char *name : {"mp4", "mov", "ipod", "ismv", "3gp", "3g2", "f4v", "psp"})
        if (std::strcmp(format->name, name) == 0)
            return true;
    return false;
}

} // namespace

VideoFileWriter::~VideoFileWriter()
{
    if (isOpen()) {
        QString warning;
        close(&warning);
    }
}

QSize VideoFileWriter::encodedSize() const
{
    const QSize size = m_options.size;
    if (m_options.input == Input::Rgb32)
        return QSize((size.width() + 1) & ~1, (size.height() + 1) & ~1);
    return size;
}

VideoFileWriter::OpenResult VideoFileWriter::open(const Options &options, QString *error)
{
    if (isOpen())
        release(false);
    m_options = options;
    m_lastPts = -1;
    const QByteArray path = options.path.toUtf8();

    int ret = avformat_alloc_output_context2(&m_format, nullptr, nullptr, path.constData());
    if (ret < 0 || !m_format) {
        *error = QCoreApplication::translate("VideoRecorder", "无法创建视频文件: %1")
                     .arg(codeText(ret < 0 ? ret : AVERROR_MUXER_NOT_FOUND));
        m_format = nullptr;
        return OpenResult::Failed;
    }

    if (!openCodec(true, &ret)) {
        if (options.input == Input::Nv12) {
            qWarning().noquote() << "NV12 输入媒体类型被拒绝:" << codeText(ret);
            release(false);
            return OpenResult::Nv12Rejected;
        }
        qWarning().noquote() << "H.264 with requested profile not available, using default:"
                             << codeText(ret);
        if (!openCodec(false, &ret)) {
            *error = QCoreApplication::translate("VideoRecorder", "创建输出媒体类型失败");
            qWarning().noquote() << "VideoFileWriter::open libx264:" << codeText(ret);
            release(false);
            return OpenResult::Failed;
        }
    }

    m_stream = avformat_new_stream(m_format, nullptr);
    ret = m_stream ? avcodec_parameters_from_context(m_stream->codecpar, m_codec) : AVERROR(ENOMEM);
    if (ret < 0) {
        *error =
            QCoreApplication::translate("VideoRecorder", "添加视频流失败: %1").arg(codeText(ret));
        release(false);
        return OpenResult::Failed;
    }
    m_stream->time_base = m_codec->time_base;
    m_stream->avg_frame_rate = m_codec->framerate;

    const QSize encoded = encodedSize();
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (m_frame) {
        m_frame->format = options.input == Input::Nv12 ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUV420P;
        m_frame->width = encoded.width();
        m_frame->height = encoded.height();
        m_frame->color_range = m_codec->color_range;
        m_frame->colorspace = m_codec->colorspace;
    }
    bool inputReady = m_frame && m_packet && av_frame_get_buffer(m_frame, 0) >= 0;
    if (inputReady && options.input == Input::Rgb32) {
        m_sws = sws_getContext(encoded.width(), encoded.height(), AV_PIX_FMT_BGRA, encoded.width(),
                               encoded.height(), AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr,
                               nullptr);
        inputReady = m_sws != nullptr;
        if (inputReady) {
            // Full-range RGB in, limited-range YUV out with the matrix the stream is tagged with.
            const int matrix = options.highDefinition ? SWS_CS_ITU709 : SWS_CS_ITU601;
            sws_setColorspaceDetails(m_sws, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                     sws_getCoefficients(matrix), 0, 0, 1 << 16, 1 << 16);
        }
        if (encoded != options.size)
            m_padded = QImage(encoded, QImage::Format_RGB32);
    }
    if (!inputReady) {
        *error = QCoreApplication::translate("VideoRecorder", "创建输入媒体类型失败");
        release(false);
        return OpenResult::Failed;
    }

    // Our own file I/O: the name is a plain file name (never a protocol such as "http:"), and
    // the written bytes can be pushed to the disk as they come.
    m_fd = ::open(QFile::encodeName(options.path).constData(),
                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ret = m_fd < 0 ? AVERROR(errno) : 0;
    if (ret == 0) {
        auto *buffer = static_cast<unsigned char *>(av_malloc(kIoBufferSize));
        m_format->pb = buffer ? avio_alloc_context(buffer, kIoBufferSize, 1, &m_fd, nullptr,
                                                   writeToFile, seekInFile)
                              : nullptr;
        if (!m_format->pb) {
            av_free(buffer);
            ret = AVERROR(ENOMEM);
        }
        m_format->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    if (ret < 0) {
        *error =
            QCoreApplication::translate("VideoRecorder", "无法创建视频文件: %1").arg(codeText(ret));
        release(false);
        return OpenResult::Failed;
    }

    AVDictionary *muxerOptions = nullptr;
    if (isIsoMedia(m_format->oformat)) {
        // A fragment ends at every key frame (one per second at least) and after half a second
        // at most, so a crash loses little; the empty initial index lets players read the
        // fragments one by one, and the random-access index at the end speeds up seeking once
        // the file is complete.
        av_dict_set(&muxerOptions, "movflags", "+frag_keyframe+empty_moov+default_base_moof", 0);
        av_dict_set(&muxerOptions, "frag_duration", "500000", 0);
    }
    // Push every completed fragment out of the I/O buffer at once.
    m_format->flush_packets = 1;
    ret = avformat_write_header(m_format, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (ret < 0) {
        *error =
            QCoreApplication::translate("VideoRecorder", "开始写入失败: %1").arg(codeText(ret));
        release(true);
        return OpenResult::Failed;
    }
    return OpenResult::Ok;
}

bool VideoFileWriter::openCodec(bool withProfile, int *code)
{
    avcodec_free_context(&m_codec);
    const AVCodec *encoder = avcodec_find_encoder_by_name("libx264");
    m_codec = encoder ? avcodec_alloc_context3(encoder) : nullptr;
    if (!m_codec) {
        *code = AVERROR_ENCODER_NOT_FOUND;
        return false;
    }
    const Options &o = m_options;
    const QSize encoded = encodedSize();

    m_codec->width = encoded.width();
    m_codec->height = encoded.height();
    m_codec->pix_fmt = o.input == Input::Nv12 ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUV420P;
    // Time stamps count frames of the nominal rate, so that the file reports exactly that
    // rate and tools that resample by it keep every frame; a dropped frame leaves a gap.
    m_codec->time_base = AVRational{1, o.fps};
    m_codec->framerate = AVRational{o.fps, 1};
    m_codec->sample_aspect_ratio = AVRational{1, 1};
    m_codec->field_order = AV_FIELD_PROGRESSIVE;
    m_codec->bit_rate = int64_t(o.size.width()) * o.size.height() * o.fps / 6;
    m_codec->gop_size = o.fps; // one key frame, and so one fragment, per second at most
    m_codec->thread_count = o.threads;
    m_codec->color_range = AVCOL_RANGE_MPEG;
    m_codec->colorspace = o.highDefinition ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    m_codec->color_trc = AVCOL_TRC_BT709;
    m_codec->color_primaries = AVCOL_PRI_BT709;
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    AVDictionary *codecOptions = nullptr;
    av_dict_set(&codecOptions, "preset", o.preset.constData(), 0);
    if (withProfile) {
        av_dict_set(&codecOptions, "profile", "high", 0);
        // The 8x8 transform is what makes the stream High profile; the fastest presets drop it.
        av_dict_set(&codecOptions, "x264-params", "8x8dct=1", 0);
    }
    *code = avcodec_open2(m_codec, encoder, &codecOptions);
    av_dict_free(&codecOptions);
    return *code >= 0;
}

bool VideoFileWriter::nv12Planes(Nv12::Planes *planes, QString *error)
{
    const int ret = av_frame_make_writable(m_frame);
    if (ret < 0) {
        *error = QCoreApplication::translate("VideoRecorder", "创建媒体缓冲区失败: %1")
                     .arg(codeText(ret));
        return false;
    }
    *planes = {m_frame->data[0],     m_frame->linesize[0], m_frame->data[1],
               m_frame->linesize[1], m_frame->width,       m_frame->height};
    return true;
}

bool VideoFileWriter::writeNv12(int64_t time100ns, QString *error)
{
    int64_t pts = av_rescale_q(time100ns, k100ns, m_codec->time_base);
    m_frame->pts = m_lastPts = std::max(pts, m_lastPts + 1);
    int code = 0;
    if (!encode(m_frame, &code)) {
        *error = QCoreApplication::translate("VideoRecorder", "写入帧失败: %1").arg(codeText(code));
        return false;
    }
    return true;
}

bool VideoFileWriter::writeRgb32(const QImage &image, int64_t time100ns, QString *error)
{
    int ret = av_frame_make_writable(m_frame);
    if (ret < 0) {
        *error = QCoreApplication::translate("VideoRecorder", "创建媒体缓冲区失败: %1")
                     .arg(codeText(ret));
        return false;
    }
    const QImage *source = &image;
    if (!m_padded.isNull()) {
        // Repeat the last column and row into the padding so that the edge keeps its colour.
        const int w = image.width(), h = image.height();
        for (int y = 0; y < m_padded.height(); ++y) {
            const QRgb *src =
                reinterpret_cast<const QRgb *>(image.constScanLine(std::min(y, h - 1)));
            QRgb *dst = reinterpret_cast<QRgb *>(m_padded.scanLine(y));
            std::memcpy(dst, src, size_t(w) * sizeof(QRgb));
            for (int x = w; x < m_padded.width(); ++x)
                dst[x] = src[w - 1];
        }
        source = &m_padded;
    }
    const uint8_t *planes[1] = {source->constBits()};
    const int strides[1] = {int(source->bytesPerLine())};
    sws_scale(m_sws, planes, strides, 0, source->height(), m_frame->data, m_frame->linesize);
    return writeNv12(time100ns, error);
}

bool VideoFileWriter::encode(AVFrame *frame, int *code)
{
    int ret = avcodec_send_frame(m_codec, frame);
    while (ret >= 0) {
        ret = avcodec_receive_packet(m_codec, m_packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return true;
        if (ret < 0)
            break;
        m_packet->duration = 1; // one frame of the codec time base
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        ret = av_interleaved_write_frame(m_format, m_packet);
    }
    *code = ret;
    return false;
}

bool VideoFileWriter::close(QString *warning)
{
    if (!isOpen())
        return true;
    int code = 0;
    bool ok = encode(nullptr, &code);
    if (ok) {
        code = av_write_trailer(m_format);
        ok = code >= 0;
    }
    // The finished file is made durable before the recording is announced as saved.
    const int closed = closeFile(true);
    if (ok && closed < 0) {
        code = closed;
        ok = false;
    }
    if (!ok)
        *warning = codeText(code);
    release(false);
    return ok;
}

int VideoFileWriter::closeFile(bool sync)
{
    int result = 0;
    if (m_format && m_format->pb) {
        avio_flush(m_format->pb);
        result = m_format->pb->error;
        av_freep(&m_format->pb->buffer);
        avio_context_free(&m_format->pb);
    }
    if (m_fd >= 0) {
        if (sync && ::fdatasync(m_fd) != 0 && result == 0)
            result = AVERROR(errno);
        if (::close(m_fd) != 0 && result == 0)
            result = AVERROR(errno);
        m_fd = -1;
    }
    return result;
}

void VideoFileWriter::release(bool removeFile)
{
    closeFile(false);
    avformat_free_context(m_format);
    m_format = nullptr;
    m_stream = nullptr;
    avcodec_free_context(&m_codec);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    sws_freeContext(m_sws);
    m_sws = nullptr;
    m_padded = QImage();
    if (removeFile)
        QFile::remove(m_options.path);
}
