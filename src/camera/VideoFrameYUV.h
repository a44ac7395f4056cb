// VideoFrameYUV.h: a planar YUV 4:2:0 frame that travels from the camera to the OpenGL preview.
#pragma once

#include <QByteArray>
#include <QMetaType>

// Planes are packed without row padding. Mirroring travels as flags for the renderer and is
// never applied to the planes.
struct VideoFrameYUV
{
    int width = 0;  // luma width in pixels
    int height = 0; // luma height in pixels
    QByteArray y;   // width * height bytes
    QByteArray u;   // (width / 2) * (height / 2) bytes, Cb
    QByteArray v;   // same size as u, Cr
    bool mirrorHorizontal = false;
    bool mirrorVertical = false;

    // True when the sizes are positive and every plane holds at least its packed size.
    bool isValid() const
    {
        if (width <= 0 || height <= 0)
            return false;
        const qint64 luma = qint64(width) * height;
        return y.size() >= luma && u.size() >= luma / 4 && v.size() >= luma / 4;
    }

    // Registers the type as "VideoFrameYUV" for queued signal connections. Called once at start-up.
    static void registerMetaType();
};

Q_DECLARE_METATYPE(VideoFrameYUV)
