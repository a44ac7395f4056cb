// TurboJpegDecoder.h: decodes a JPEG held in memory, at a reduced scale, with libjpeg-turbo.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// Uses the libjpeg API with a source manager that reads the byte array (a truncated picture ends
// with an end-of-image marker instead of running past the data) and an error manager that logs
// "libjpeg error: ..." and abandons the decode instead of ending the process. Frames without
// Huffman tables, as UVC cameras send them, are decoded with the standard tables.
//
// Threads: one object may be used from one thread at a time.
class TurboJpegDecoder
{
public:
    // Decodes bytes at 1/scaleDenominator of the picture size (libjpeg picks the nearest scale
    // it supports that is not smaller) into a Format_RGB888 image. False, leaving *out
    // untouched, on empty input, a denominator below 1 or any decode error.
    bool decode(const QByteArray &bytes, QImage *out, int scaleDenominator);

    // Preview settings, read by decodePreview(): the picture is reduced by `reduction` (rounding
    // up) and then fitted into the box, keeping its aspect; grey gives Format_Grayscale8 (the
    // picture's luma on the full 0..255 scale) instead of Format_RGB32; the mirror flags flip
    // the result.
    void setPreviewSize(int reduction, const QSize &box);
    void setGrey(bool grey) { m_grey = grey; }
    void setMirror(bool horizontal, bool vertical);

    // Decodes bytes straight into the preview: libjpeg-turbo's scaled inverse DCT picks the
    // smallest scale n/8 that reaches the preview size, and a picture that is then still larger
    // (or, below 1/8 of the fit, smaller) is scaled smoothly to it. False, leaving *out
    // untouched, on any decode error or a picture with other than 1 or 3 components. The
    // picture's memory is reused for a later picture once no copy of it is left elsewhere.
    bool decodePreview(const QByteArray &bytes, QImage *out);

    // The preview size of a picture: pictureSize reduced by `reduction` (rounding up), fitted
    // into the box (halves round up, at least 1x1). An empty box keeps the reduced size.
    static QSize previewSize(const QSize &pictureSize, int reduction, const QSize &box);

private:
    QImage *previewBuffer(const QSize &size, QImage::Format format);

    int m_reduction = 4;
    QSize m_box;
    bool m_grey = false;
    bool m_mirrorHorizontal = false;
    bool m_mirrorVertical = false;
    // Pictures handed out by decodePreview(), reused once every receiver has let go of them.
    QImage m_buffers[3];
};
