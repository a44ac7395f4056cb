// TurboJpegDecoder.h: decodes a JPEG held in memory, at a reduced scale, with libjpeg-turbo.
#pragma once

#include <QByteArray>
#include <QImage>

// Uses the libjpeg API with a source manager that reads the byte array (a truncated picture ends
// with an end-of-image marker instead of running past the data) and an error manager that logs
// "libjpeg error: ..." and abandons the decode instead of ending the process.
//
// Threads: decode() keeps no state between calls; one object may be used from one thread at a
// time.
class TurboJpegDecoder
{
public:
    // Decodes bytes at 1/scaleDenominator of the picture size (libjpeg picks the nearest scale
    // it supports that is not smaller) into a Format_RGB888 image. False, leaving *out
    // untouched, on empty input, a denominator below 1 or any decode error.
    bool decode(const QByteArray &bytes, QImage *out, int scaleDenominator);
};
