// TimeStamp.h: the date and time written into the top-left corner of every recorded frame.
#pragma once

#include "recording/Nv12Convert.h"

#include <QDateTime>
#include <QImage>
#include <QString>

namespace TimeStamp {

// "yyyy-MM-dd HH:mm:ss.zzz" of the given local time.
QString text(const QDateTime &time);

// Paints the text straight onto a 32-bit image: a black copy 2 pixels down and right under a
// white one, both starting 10 pixels from the top-left corner. Any thread may call it (a
// QGuiApplication must exist for the fonts).
void paint(QImage &image, const QString &text);

// Draws the same text into a transparent box and blends the box into the top-left corner of
// NV12 planes: luma towards the text's grey, chroma towards neutral under every covered pixel.
// Does nothing when the planes are too small to hold a box.
void blend(const Nv12::Planes &planes, const QString &text);

} // namespace TimeStamp
