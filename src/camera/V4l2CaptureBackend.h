// V4l2CaptureBackend.h: capture from V4L2 video nodes with mmap buffers and a streaming thread.
#pragma once

#include "camera/CaptureBackend.h"
#include "camera/V4l2Io.h"

#include <QStringList>

#include <atomic>
#include <thread>
#include <vector>

// Every system call goes through the V4l2Io table. The controlling thread calls everything but
// the callback, which runs on the streaming thread started by start() and joined by stop().
class V4l2CaptureBackend : public CaptureBackend
{
public:
    static constexpr int kBufferCount = 8;

    explicit V4l2CaptureBackend(V4l2Io io = V4l2Io::system());
    ~V4l2CaptureBackend() override;

    QList<CaptureDeviceInfo> devices() override;
    int open(int index) override;
    void close() override;
    int modes(QList<CaptureMode> *modes) override;
    int setMode(const CaptureMode &mode) override;
    int currentMode(CaptureMode *mode) override;
    int start(BufferCallback callback) override;
    void stop() override;
    bool hasGroup(PropertyGroup group) override;
    int propertyRange(CameraProperty property, PropertyRange *range) override;
    int property(CameraProperty property, long *value, long *flags) override;
    int setProperty(CameraProperty property, long value, long flags) override;

private:
    struct Mapping
    {
        void *start = nullptr;
        size_t length = 0;
    };

    int xioctl(unsigned long request, void *arg);
    // The node's camera identity from the I/O table, else from the driver's bus position.
    QString identityOf(const QString &node, const QString &busInfo) const;
    int queryControl(quint32 id, long *min, long *max, long *step, long *def);
    bool controlExists(quint32 id);
    bool menuOffers(quint32 id, long value);
    int getControl(quint32 id, long *value);
    int setControl(quint32 id, long value);
    bool autoExposureValue(long *value);
    void addSizes(quint32 fourcc, QList<CaptureMode> *modes);
    qint64 shortestInterval(quint32 fourcc, int width, int height);
    void releaseBuffers();
    void streamLoop(BufferCallback callback);

    V4l2Io m_io;
    QStringList m_nodes; // capture nodes of the last devices() call
    int m_fd = -1;
    std::vector<Mapping> m_buffers;
    bool m_streaming = false;
    std::atomic<bool> m_stop{false};
    bool m_whiteBalanceHeld = false; // the white balance was measured once and is held
    std::thread m_thread;
};
