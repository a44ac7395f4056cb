// ScriptedV4l2Device.h: a V4L2 microscope camera in memory, answering the backend's system calls.
#pragma once

#include "camera/V4l2Io.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

// Behaves like a UVC microscope camera at /dev/video0 (with its metadata node at /dev/video1):
// MJPG, YUYV and H.264 modes with sizes and intervals, controls with ranges and menus, mmap
// buffers and a stream fed by pushFrame(). Like most UVC cameras it sends MJPG frames without
// Huffman tables (see setSendsHuffmanTables()). It fails on cue: an errno at open, S_FMT or
// STREAMON, or an unplug in the middle of a stream. Thread-safe: the backend's streaming thread
// polls and dequeues while the test thread pushes frames.
class ScriptedV4l2Device
{
public:
    struct Size
    {
        int width;
        int height;
        QList<int> fps; // discrete frame rates, fastest first
    };
    struct Control
    {
        long min, max, step, def, value;
        QList<long> menu; // valid menu indices; empty for integer and boolean controls
    };

    ScriptedV4l2Device();

    // The system-call table bound to this device. The device must outlive every user of it.
    V4l2Io io();

    // Modes: replaces the list, or adds one format with discrete or stepwise sizes.
    void clearFormats();
    void addFormat(quint32 fourcc, const QList<Size> &sizes);
    void addStepwiseFormat(quint32 fourcc, int minW, int maxW, int stepW, int minH, int maxH,
                           int stepH, int fps);

    void setControl(quint32 id, const Control &control);
    void removeControl(quint32 id);
    long controlValue(quint32 id) const;

    // Cues: errno values returned by open / S_FMT / STREAMON (0 = succeed). The open cue spares
    // the first `spared` opens of the capture node (e.g. the one that lists the devices).
    void failOpen(int error, int spared = 0);
    void failSetFormat(int error);
    void failStreamOn(int error);
    // Without the capture node the machine has no camera at all.
    void setPresent(bool present);
    // The camera disappears: poll reports an error and every call fails with ENODEV.
    void unplug();
    // The camera is plugged in again after unplug(): listed and usable, with fresh handles.
    void replug();
    // Every control back at its default and the first mode set, as after a power cycle.
    void resetToDefaults();

    // Queues one frame for the stream; it is delivered through the next free buffer. In MJPG
    // mode the DHT segments of a JPEG are taken out on delivery unless setSendsHuffmanTables(true)
    // was called (the decoder must then use the standard tables, which the frame must have been
    // encoded with); other bytes are delivered as pushed.
    void pushFrame(const QByteArray &frame);
    void setSendsHuffmanTables(bool sends);
    // Waits until every pushed frame was dequeued and its buffer handed back.
    bool waitUntilDelivered(int timeoutMs);

    bool streaming() const;
    int openHandles() const;
    quint32 currentFourcc() const;
    int currentWidth() const;
    int currentHeight() const;
    // The frame interval last asked for with S_PARM, as numerator / denominator.
    QPair<quint32, quint32> requestedInterval() const;

private:
    struct Format
    {
        quint32 fourcc;
        QList<Size> sizes;
        bool stepwise = false;
        int minW = 0, maxW = 0, stepW = 1, minH = 0, maxH = 0, stepH = 1, stepFps = 30;
    };

    int doOpen(const char *path);
    int doClose(int fd);
    int doIoctl(int fd, unsigned long request, void *arg);
    void *doMmap(size_t length, int fd, off_t offset);
    int doPoll(struct pollfd *fds, nfds_t count, int timeoutMs);
    int fail(int error) const;
    int ioctlLocked(int node, unsigned long request, void *arg);
    const Format *findFormat(quint32 fourcc) const;
    void applyFormat(quint32 fourcc, int width, int height);

    mutable std::mutex m_mutex; // guards every member below
    std::condition_variable m_changed;
    QList<Format> m_formats;
    QMap<quint32, Control> m_controls;
    bool m_present = true;
    bool m_unplugged = false;
    int m_openError = 0, m_openSpared = 0, m_setFormatError = 0, m_streamOnError = 0;
    QMap<int, int> m_fds; // open fd -> node (0 capture, 1 metadata)
    int m_nextFd = 100;
    quint32 m_fourcc = 0;
    int m_width = 0, m_height = 0;
    quint32 m_intervalNum = 0, m_intervalDen = 0;
    size_t m_bufferSize = 0;
    std::vector<std::unique_ptr<uchar[]>> m_buffers;
    std::deque<quint32> m_queued; // buffers given to the device
    int m_outstanding = 0;        // dequeued and not yet handed back
    bool m_streaming = false;
    int m_streamingFd = -1; // the handle that started the stream; only its close ends it
    bool m_sendsHuffmanTables = false;
    std::deque<QByteArray> m_pending;
};
