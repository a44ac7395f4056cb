#include "camera/TurboJpegDecoder.h"

#include <QtGlobal>

#include <csetjmp>
#include <cstdio>

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

// Reads the header and starts the decompressor. The data must hold at least the minimum two bits
// per 8x8 luma block (the same bound FFmpeg applies): a damaged header that claims a huge picture
// would otherwise cost seconds of decoding padding.
bool start(jpeg_decompress_struct *info, ErrorManager *errors, int scaleDenominator,
           size_t dataSize)
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
    info->scale_num = 1;
    info->scale_denom = unsigned(scaleDenominator);
    info->out_color_space = JCS_RGB;
    return jpeg_start_decompress(info) == TRUE;
}

bool readScanlines(jpeg_decompress_struct *info, ErrorManager *errors, uchar *bits,
                   qsizetype bytesPerLine)
{
    if (setjmp(errors->jump))
        return false;
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = bits + qsizetype(info->output_scanline) * bytesPerLine;
        if (jpeg_read_scanlines(info, &row, 1) != 1)
            return false;
    }
    jpeg_finish_decompress(info);
    return true;
}

} // namespace

bool TurboJpegDecoder::decode(const QByteArray &bytes, QImage *out, int scaleDenominator)
{
    if (bytes.isEmpty() || scaleDenominator < 1 || !out)
        return false;

    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = errorExit;
    errors.pub.output_message = outputMessage;
    if (!create(&info, &errors))
        return false;

    jpeg_source_mgr source;
    source.next_input_byte = reinterpret_cast<const JOCTET *>(bytes.constData());
    source.bytes_in_buffer = size_t(bytes.size());
    source.init_source = initSource;
    source.fill_input_buffer = fillInputBuffer;
    source.skip_input_data = skipInputData;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = termSource;
    info.src = &source;

    bool ok = start(&info, &errors, scaleDenominator, size_t(bytes.size()));
    QImage image;
    if (ok && info.output_width >= 1 && info.output_height >= 1 && info.output_components == 3) {
        image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
        ok = !image.isNull() && readScanlines(&info, &errors, image.bits(), image.bytesPerLine());
    } else {
        ok = false;
    }
    jpeg_destroy_decompress(&info);
    if (!ok)
        return false;
    *out = image;
    return true;
}
