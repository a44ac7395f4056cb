#include "camera/TurboJpegDecoder.h"

#include "camera/PictureGeometry.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <vector>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

// The error exit jumps back into the function that called libjpeg, so every function below that
// calls setjmp keeps only trivially destructible locals: the jump skips no destructor.

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void errorExit(j_common_ptr info)
{
    auto *manager = reinterpret_cast<ErrorManager *>(info->err);
    {
        char text[JMSG_LENGTH_MAX];
        (*info->err->format_message)(info, text);
        qWarning("libjpeg error: %s", text);
    }
    std::longjmp(manager->jump, 1);
}

// Corrupt-data warnings are not failures: the picture is still produced. They are not printed.
void outputMessage(j_common_ptr) {}

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void initSource(j_decompress_ptr) {}

// Asked for data beyond the end: hand out an end-of-image marker so the decoder finishes the
// picture instead of reading past the buffer.
boolean fillInputBuffer(j_decompress_ptr info)
{
    info->src->next_input_byte = kEndOfImage;
    info->src->bytes_in_buffer = sizeof(kEndOfImage);
    return TRUE;
}

void skipInputData(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr *source = info->src;
    if (size_t(count) > source->bytes_in_buffer) {
        fillInputBuffer(info);
        return;
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= size_t(count);
}

void termSource(j_decompress_ptr) {}

bool create(jpeg_decompress_struct *info, ErrorManager *errors)
{
    if (setjmp(errors->jump)) {
        jpeg_destroy_decompress(info);
        return false;
    }
    jpeg_create_decompress(info);
    return true;
}

// Reads the header. The data must hold at least the minimum two bits per 8x8 luma block (the
// same bound FFmpeg applies): a damaged header that claims a huge picture would otherwise cost
// seconds of decoding padding.
bool readHeader(jpeg_decompress_struct *info, ErrorManager *errors, size_t dataSize)
{
    if (setjmp(errors->jump))
        return false;
    if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK)
        return false;
    const quint64 blocks = quint64((info->image_width + 7) / 8) * ((info->image_height + 7) / 8);
    if (blocks > quint64(dataSize) * 4) {
        qWarning("libjpeg error: picture of %ux%u cannot fit in %zu bytes", info->image_width,
                 info->image_height, dataSize);
        return false;
    }
    return true;
}

bool start(jpeg_decompress_struct *info, ErrorManager *errors)
{
    if (setjmp(errors->jump))
        return false;
    return jpeg_start_decompress(info) == TRUE;
}

// Reads every scanline into the rows of an image of the output size, as many per call as the
// decoder gives.
bool readScanlines(jpeg_decompress_struct *info, ErrorManager *errors, JSAMPROW *rows)
{
    if (setjmp(errors->jump))
        return false;
    while (info->output_scanline < info->output_height) {
        const JDIMENSION scanline = info->output_scanline;
        if (jpeg_read_scanlines(info, rows + scanline, info->output_height - scanline) < 1)
            return false;
    }
    jpeg_finish_decompress(info);
    return true;
}

// Decompressor with the error manager and a source manager on the bytes; both live on the
// caller's stack for as long as the decompressor.
bool setUp(jpeg_decompress_struct *info, ErrorManager *errors, jpeg_source_mgr *source,
           const QByteArray &bytes)
{
    info->err = jpeg_std_error(&errors->pub);
    errors->pub.error_exit = errorExit;
    errors->pub.output_message = outputMessage;
    if (!create(info, errors))
        return false;
    source->next_input_byte = reinterpret_cast<const JOCTET *>(bytes.constData());
    source->bytes_in_buffer = size_t(bytes.size());
    source->init_source = initSource;
    source->fill_input_buffer = fillInputBuffer;
    source->skip_input_data = skipInputData;
    source->resync_to_restart = jpeg_resync_to_restart;
    source->term_source = termSource;
    info->src = source;
    return true;
}

// Decodes into an image of the started decompressor's output size and the image's format.
bool readInto(jpeg_decompress_struct *info, ErrorManager *errors, QImage *image)
{
    if (image->isNull())
        return false;
    std::vector<JSAMPROW> rows(info->output_height);
    for (JDIMENSION y = 0; y < info->output_height; ++y)
        rows[y] = image->scanLine(int(y));
    return readScanlines(info, errors, rows.data());
}

// Decodes into a new image of the started decompressor's output size.
QImage readImage(jpeg_decompress_struct *info, ErrorManager *errors, QImage::Format format)
{
    QImage image(int(info->output_width), int(info->output_height), format);
    return readInto(info, errors, &image) ? image : QImage();
}

int ceilDiv(int value, int divisor)
{
    return (value + divisor - 1) / divisor;
}

} // namespace

bool TurboJpegDecoder::decode(const QByteArray &bytes, QImage *out, int scaleDenominator)
{
    if (bytes.isEmpty() || scaleDenominator < 1 || !out)
        return false;
    jpeg_decompress_struct info;
    ErrorManager errors;
    jpeg_source_mgr source;
    if (!setUp(&info, &errors, &source, bytes))
        return false;
    QImage image;
    if (readHeader(&info, &errors, size_t(bytes.size()))) {
        info.scale_num = 1;
        info.scale_denom = unsigned(scaleDenominator);
        info.out_color_space = JCS_RGB;
        if (start(&info, &errors) && info.output_width >= 1 && info.output_height >= 1 &&
            info.output_components == 3)
            image = readImage(&info, &errors, QImage::Format_RGB888);
    }
    jpeg_destroy_decompress(&info);
    if (image.isNull())
        return false;
    *out = image;
    return true;
}

void TurboJpegDecoder::setPreviewSize(int reduction, const QSize &box)
{
    m_reduction = std::max(1, reduction);
    m_box = box;
}

void TurboJpegDecoder::setMirror(bool horizontal, bool vertical)
{
    m_mirrorHorizontal = horizontal;
    m_mirrorVertical = vertical;
}

QSize TurboJpegDecoder::previewSize(const QSize &pictureSize, int reduction, const QSize &box)
{
    reduction = std::max(1, reduction);
    const int width = ceilDiv(pictureSize.width(), reduction);
    const int height = ceilDiv(pictureSize.height(), reduction);
    if (width < 1 || height < 1)
        return QSize();
    if (box.width() < 1 || box.height() < 1)
        return QSize(width, height);
    return PictureGeometry::fitted(QSize(width, height), box);
}

bool TurboJpegDecoder::decodePreview(const QByteArray &bytes, QImage *out)
{
    if (bytes.isEmpty() || !out)
        return false;
    jpeg_decompress_struct info;
    ErrorManager errors;
    jpeg_source_mgr source;
    if (!setUp(&info, &errors, &source, bytes))
        return false;
    QImage *buffer = nullptr;
    QSize target;
    if (readHeader(&info, &errors, size_t(bytes.size())) &&
        (info.num_components == 1 || info.num_components == 3)) {
        const int width = int(info.image_width), height = int(info.image_height);
        target = previewSize(QSize(width, height), m_reduction, m_box);
        // The smallest n/8 whose output covers the target; libjpeg-turbo scales by 1/8..16/8.
        int eighths = 1;
        while (eighths < 16 && (ceilDiv(width * eighths, 8) < target.width() ||
                                ceilDiv(height * eighths, 8) < target.height()))
            ++eighths;
        info.scale_num = unsigned(eighths);
        info.scale_denom = 8;
        info.out_color_space = m_grey ? JCS_GRAYSCALE : JCS_EXT_BGRX;
        if (start(&info, &errors) && info.output_width >= 1 && info.output_height >= 1) {
            buffer = previewBuffer(QSize(int(info.output_width), int(info.output_height)),
                                   m_grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
            if (!readInto(&info, &errors, buffer))
                buffer = nullptr;
        }
    }
    jpeg_destroy_decompress(&info);
    if (!buffer || target.isEmpty())
        return false;
    if (buffer->size() == target) {
        // Mirrored before it is shared, so that the buffer is flipped where it is.
        PictureGeometry::mirrorInPlace(buffer, m_mirrorHorizontal, m_mirrorVertical);
        *out = *buffer;
        return true;
    }
    QImage image = buffer->scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Qt scales grey pictures into 32-bit ones.
    image = image.convertToFormat(m_grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    PictureGeometry::mirrorInPlace(&image, m_mirrorHorizontal, m_mirrorVertical);
    *out = image;
    return true;
}

// A buffer of the size and format that no picture handed out shares any more, else a new one in
// the place of a buffer that is still shared (its receivers keep their copy). Writing into a
// fresh multi-megabyte picture for every frame costs a page fault per page written.
QImage *TurboJpegDecoder::previewBuffer(const QSize &size, QImage::Format format)
{
    QImage *replaced = &m_buffers[0];
    for (QImage &buffer : m_buffers) {
        if (!buffer.isDetached()) {
            replaced = &buffer;
            continue;
        }
        if (buffer.size() == size && buffer.format() == format) {
            // The receivers' last reads of the pixels happen before our writes.
            std::atomic_thread_fence(std::memory_order_acquire);
            return &buffer;
        }
        replaced = &buffer; // not shared, but of another size: no need to keep it
    }
    *replaced = QImage(size, format);
    return replaced;
}
