// CaptureBackend.h: the small platform interface through which Camera reaches capture devices.
#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

// One capture device as listed by a backend, in the backend's stable order.
struct CaptureDeviceInfo
{
    QString name; // friendly name shown to the user
    QString path; // device path for logs, e.g. "usb-vid_046d&pid_085e-/dev/video0"
    // The physical camera, the same across replugs and restarts (see SysfsCameraIdentity.h);
    // empty when the backend cannot tell.
    QString identity = QString();
};

// One stream mode: a pixel format at one frame size with its shortest frame interval.
struct CaptureMode
{
    quint32 fourcc = 0;       // V4L2 pixel format code
    int width = 0;            // pixels
    int height = 0;           // pixels; positive, V4L2 buffers are top-down
    qint64 timePerFrame = 0;  // 100-ns units (333333 = 30 fps); 0 = unknown
    quint32 bytesPerLine = 0; // row stride of uncompressed formats, 0 = packed/compressed
};

// The picture properties a camera may offer. Exposure and the power-line frequency belong to the
// camera-control and extended groups, the others to the video-proc-amp group.
enum class CameraProperty {
    Exposure,
    Gain,
    WhiteBalance,
    Brightness,
    Contrast,
    Saturation,
    Hue,
    Gamma,
    Sharpness,
    ColorEnable,
    PowerLineFrequency,
};

enum class PropertyGroup {
    CameraControl,        // exposure
    VideoProcAmp,         // gain, white balance, picture properties, colour enable
    VideoProcAmpExtended, // power-line frequency
};

// Flags of property values: automatic or manual control; one-push white balance measures the
// scene once and then holds the value, reported while it holds.
enum PropertyFlag : long { PropertyFlagAuto = 1, PropertyFlagManual = 2, PropertyFlagOnePush = 4 };

struct PropertyRange
{
    long min = 0;
    long max = 0;
    long step = 0;
    long defaultValue = 0;
    long capsFlags = 0; // PropertyFlag bits the property supports
};

// A capture backend. All calls except the buffer callback come from one controlling thread
// (the user-interface thread). Result codes are 0 for success or an errno value.
class CaptureBackend
{
public:
    // Called on the backend's streaming thread for every delivered buffer: the capture time in
    // seconds, the bytes and their count. The bytes are valid only during the call.
    using BufferCallback = std::function<void(double time, const uchar *data, long length)>;

    virtual ~CaptureBackend() = default;

    // Lists the capture devices now present, in a stable order.
    virtual QList<CaptureDeviceInfo> devices() = 0;

    // Opens device `index` of the last devices() list; closes what was open first.
    virtual int open(int index) = 0;
    // Stops streaming and releases the device. Safe to call when nothing is open.
    virtual void close() = 0;

    // The modes the open device offers, in its own order.
    virtual int modes(QList<CaptureMode> *modes) = 0;
    // Asks for `mode`; the device may keep its current format on failure.
    virtual int setMode(const CaptureMode &mode) = 0;
    // The format the device streams now (fourcc, size, stride).
    virtual int currentMode(CaptureMode *mode) = 0;

    // Starts streaming into `callback`. When this returns, buffers may already arrive.
    virtual int start(BufferCallback callback) = 0;
    // Stops streaming; when it returns no callback runs any more.
    virtual void stop() = 0;

    // Whether the open device has a property group at all.
    virtual bool hasGroup(PropertyGroup group) = 0;
    virtual int propertyRange(CameraProperty property, PropertyRange *range) = 0;
    virtual int property(CameraProperty property, long *value, long *flags) = 0;
    virtual int setProperty(CameraProperty property, long value, long flags) = 0;
};

// The backends of this machine: the V4L2 devices followed by the demo camera when it is listed
// (see SystemCaptureBackend.h).
std::unique_ptr<CaptureBackend> createSystemCaptureBackend();
