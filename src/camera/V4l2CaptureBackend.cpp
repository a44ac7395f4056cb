#include "camera/V4l2CaptureBackend.h"

#include "camera/ResultCode.h"
#include "camera/ThreadName.h"

#include <QDebug>

#include <linux/videodev2.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>

namespace {

// Exposure travels as a base-2 exponent of seconds; the control counts 100 µs units.
constexpr double kExposureUnit = 100e-6;

long exposureToExponent(long units)
{
    return std::lround(std::log2(std::max(1L, units) * kExposureUnit));
}

long exponentToExposure(long exponent)
{
    const double e = std::clamp(double(exponent), -40.0, 20.0);
    return std::max(1L, std::lround(std::exp2(e) / kExposureUnit));
}

quint32 controlOf(CameraProperty property)
{
    switch (property) {
    case CameraProperty::Exposure:
        return V4L2_CID_EXPOSURE_ABSOLUTE;
    case CameraProperty::Gain:
        return V4L2_CID_GAIN;
    case CameraProperty::WhiteBalance:
        return V4L2_CID_WHITE_BALANCE_TEMPERATURE;
    case CameraProperty::Brightness:
        return V4L2_CID_BRIGHTNESS;
    case CameraProperty::Contrast:
        return V4L2_CID_CONTRAST;
    case CameraProperty::Saturation:
        return V4L2_CID_SATURATION;
    case CameraProperty::Hue:
        return V4L2_CID_HUE;
    case CameraProperty::Gamma:
        return V4L2_CID_GAMMA;
    case CameraProperty::Sharpness:
        return V4L2_CID_SHARPNESS;
    case CameraProperty::ColorEnable:
        return V4L2_CID_COLORFX;
    case CameraProperty::PowerLineFrequency:
        return V4L2_CID_POWER_LINE_FREQUENCY;
    }
    return 0;
}

// Sizes offered inside a stepwise or continuous range.
const int kCommonSizes[][2] = {{320, 240},   {640, 480},   {800, 600},   {1024, 768},
                               {1280, 720},  {1280, 960},  {1600, 1200}, {1920, 1080},
                               {2048, 1536}, {2592, 1944}, {3840, 2160}};

} // namespace

V4l2CaptureBackend::V4l2CaptureBackend(V4l2Io io)
    : m_io(std::move(io))
{}

V4l2CaptureBackend::~V4l2CaptureBackend()
{
    close();
}

int V4l2CaptureBackend::xioctl(unsigned long request, void *arg)
{
    return m_io.ioctl(m_fd, request, arg) == -1 ? (errno ? errno : EIO) : 0;
}

QList<CaptureDeviceInfo> V4l2CaptureBackend::devices()
{
    QList<CaptureDeviceInfo> list;
    m_nodes.clear();
    for (const QString &node : m_io.listNodes()) {
        const QByteArray path = node.toLocal8Bit();
        const int fd = m_io.open(path.constData(), O_RDWR | O_NONBLOCK);
        if (fd < 0) {
            // A camera that is held or locked is still listed, so that opening it can tell
            // the user why it does not work.
            const int error = errno;
            if (error == EBUSY || error == EACCES || error == EPERM) {
                const QString ids = m_io.usbIds(node);
                list << CaptureDeviceInfo{
                    node, ids.isEmpty() ? node : QStringLiteral("usb-%1-%2").arg(ids, node),
                    identityOf(node, QString())};
                m_nodes << node;
            }
            continue;
        }
        v4l2_capability cap;
        std::memset(&cap, 0, sizeof cap);
        const bool queried = m_io.ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
        m_io.close(fd);
        if (!queried)
            continue;
        const quint32 caps =
            (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE))
            continue; // metadata and output nodes
        CaptureDeviceInfo info;
        info.name = QString::fromUtf8(
            reinterpret_cast<const char *>(cap.card),
            int(strnlen(reinterpret_cast<const char *>(cap.card), sizeof cap.card)));
        const QString ids = m_io.usbIds(node);
        info.path = ids.isEmpty() ? node : QStringLiteral("usb-%1-%2").arg(ids, node);
        info.identity = identityOf(
            node, QString::fromUtf8(reinterpret_cast<const char *>(cap.bus_info),
                                    int(strnlen(reinterpret_cast<const char *>(cap.bus_info),
                                                sizeof cap.bus_info))));
        list << info;
        m_nodes << node;
    }
    return list;
}

QString V4l2CaptureBackend::identityOf(const QString &node, const QString &busInfo) const
{
    const QString identity = m_io.identity ? m_io.identity(node) : QString();
    if (!identity.isEmpty())
        return identity;
    // Without sysfs the driver's bus position ("usb-0000:00:14.0-2") still names the port.
    if (!busInfo.isEmpty())
        return QStringLiteral("v4l2-") +
               QString(busInfo).replace(QLatin1Char('/'), QLatin1Char('-'));
    return QString();
}

int V4l2CaptureBackend::open(int index)
{
    close();
    if (m_nodes.isEmpty())
        devices();
    if (index < 0 || index >= m_nodes.size())
        return ENODEV;
    const QByteArray path = m_nodes.at(index).toLocal8Bit();
    const int fd = m_io.open(path.constData(), O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return errno ? errno : EIO;
    m_fd = fd;
    return 0;
}

void V4l2CaptureBackend::close()
{
    stop();
    m_whiteBalanceHeld = false;
    if (m_fd >= 0) {
        m_io.close(m_fd);
        m_fd = -1;
    }
}

int V4l2CaptureBackend::modes(QList<CaptureMode> *modes)
{
    modes->clear();
    if (m_fd < 0)
        return EBADF;
    for (quint32 i = 0;; ++i) {
        v4l2_fmtdesc desc;
        std::memset(&desc, 0, sizeof desc);
        desc.index = i;
        desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        const int rc = xioctl(VIDIOC_ENUM_FMT, &desc);
        if (rc == EINVAL)
            break;
        if (rc != 0)
            return rc;
        addSizes(desc.pixelformat, modes);
    }
    return 0;
}

void V4l2CaptureBackend::addSizes(quint32 fourcc, QList<CaptureMode> *modes)
{
    auto add = [&](int width, int height) {
        CaptureMode mode;
        mode.fourcc = fourcc;
        mode.width = width;
        mode.height = height;
        mode.timePerFrame = shortestInterval(fourcc, width, height);
        modes->append(mode);
    };
    for (quint32 i = 0;; ++i) {
        v4l2_frmsizeenum size;
        std::memset(&size, 0, sizeof size);
        size.index = i;
        size.pixel_format = fourcc;
        if (xioctl(VIDIOC_ENUM_FRAMESIZES, &size) != 0)
            break;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            add(int(size.discrete.width), int(size.discrete.height));
            continue;
        }
        const v4l2_frmsize_stepwise &s = size.stepwise;
        const quint32 stepW = std::max(1u, s.step_width), stepH = std::max(1u, s.step_height);
        for (const auto &common : kCommonSizes) {
            const quint32 w = quint32(common[0]), h = quint32(common[1]);
            if (w >= s.min_width && w <= s.max_width && h >= s.min_height && h <= s.max_height &&
                (w - s.min_width) % stepW == 0 && (h - s.min_height) % stepH == 0)
                add(int(w), int(h));
        }
        break; // a stepwise or continuous answer is the only one
    }
}

qint64 V4l2CaptureBackend::shortestInterval(quint32 fourcc, int width, int height)
{
    qint64 best = 0;
    auto consider = [&best](const v4l2_fract &f) {
        if (f.numerator == 0 || f.denominator == 0)
            return;
        const qint64 t = qint64(f.numerator) * 10000000 / f.denominator;
        if (best == 0 || t < best)
            best = t;
    };
    for (quint32 i = 0;; ++i) {
        v4l2_frmivalenum ival;
        std::memset(&ival, 0, sizeof ival);
        ival.index = i;
        ival.pixel_format = fourcc;
        ival.width = quint32(width);
        ival.height = quint32(height);
        if (xioctl(VIDIOC_ENUM_FRAMEINTERVALS, &ival) != 0)
            break;
        if (ival.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            consider(ival.discrete);
        } else {
            consider(ival.stepwise.min);
            break;
        }
    }
    return best;
}

int V4l2CaptureBackend::setMode(const CaptureMode &mode)
{
    if (m_fd < 0)
        return EBADF;
    v4l2_format format;
    std::memset(&format, 0, sizeof format);
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = quint32(mode.width);
    format.fmt.pix.height = quint32(std::abs(mode.height));
    format.fmt.pix.pixelformat = mode.fourcc;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (const int rc = xioctl(VIDIOC_S_FMT, &format))
        return rc;
    if (mode.timePerFrame > 0) {
        v4l2_streamparm parm;
        std::memset(&parm, 0, sizeof parm);
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parm.parm.capture.timeperframe.numerator = quint32(mode.timePerFrame);
        parm.parm.capture.timeperframe.denominator = 10000000;
        if (const int rc = xioctl(VIDIOC_S_PARM, &parm))
            qInfo().noquote() << "S_PARM 失败:" << resultCodeText(rc);
    }
    return 0;
}

int V4l2CaptureBackend::currentMode(CaptureMode *mode)
{
    if (m_fd < 0)
        return EBADF;
    v4l2_format format;
    std::memset(&format, 0, sizeof format);
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int rc = xioctl(VIDIOC_G_FMT, &format))
        return rc;
    mode->fourcc = format.fmt.pix.pixelformat;
    mode->width = int(format.fmt.pix.width);
    mode->height = int(format.fmt.pix.height);
    mode->bytesPerLine = format.fmt.pix.bytesperline;
    mode->timePerFrame = 0;
    return 0;
}

int V4l2CaptureBackend::start(BufferCallback callback)
{
    if (m_fd < 0)
        return EBADF;
    stop();
    v4l2_requestbuffers request;
    std::memset(&request, 0, sizeof request);
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int rc = xioctl(VIDIOC_REQBUFS, &request))
        return rc;
    if (request.count < 1)
        return ENOMEM;
    for (quint32 i = 0; i < request.count; ++i) {
        v4l2_buffer buffer;
        std::memset(&buffer, 0, sizeof buffer);
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        int rc = xioctl(VIDIOC_QUERYBUF, &buffer);
        void *start = nullptr;
        if (rc == 0) {
            start = m_io.mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd,
                              off_t(buffer.m.offset));
            if (start == MAP_FAILED)
                rc = errno ? errno : ENOMEM;
        }
        if (rc == 0) {
            m_buffers.push_back({start, buffer.length});
            rc = xioctl(VIDIOC_QBUF, &buffer);
        }
        if (rc != 0) {
            releaseBuffers();
            return rc;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (const int rc = xioctl(VIDIOC_STREAMON, &type)) {
        releaseBuffers();
        return rc;
    }
    m_streaming = true;
    m_stop = false;
    m_thread = std::thread([this, callback] {
        nameCurrentThread("quorix-capture");
        streamLoop(callback);
    });
    return 0;
}

void V4l2CaptureBackend::streamLoop(BufferCallback callback)
{
    while (!m_stop) {
        pollfd p{m_fd, POLLIN, 0};
        const int ready = m_io.poll(&p, 1, 50);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            qWarning().noquote() << "视频流结束: poll" << resultCodeText(errno);
            return;
        }
        if (ready == 0)
            continue;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            qWarning().noquote() << "视频流结束: 设备已断开";
            return;
        }
        v4l2_buffer buffer;
        std::memset(&buffer, 0, sizeof buffer);
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        const int rc = xioctl(VIDIOC_DQBUF, &buffer);
        if (rc == EAGAIN)
            continue;
        if (rc != 0) {
            qWarning().noquote() << "视频流结束: DQBUF" << resultCodeText(rc);
            return;
        }
        if (buffer.index < m_buffers.size() && !(buffer.flags & V4L2_BUF_FLAG_ERROR)) {
            const Mapping &map = m_buffers[buffer.index];
            const long used = long(std::min<size_t>(buffer.bytesused, map.length));
            const double time = buffer.timestamp.tv_sec + buffer.timestamp.tv_usec / 1e6;
            callback(time, static_cast<const uchar *>(map.start), used);
        }
        if (const int requeue = xioctl(VIDIOC_QBUF, &buffer)) {
            qWarning().noquote() << "视频流结束: QBUF" << resultCodeText(requeue);
            return;
        }
    }
}

void V4l2CaptureBackend::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_streaming) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        xioctl(VIDIOC_STREAMOFF, &type); // fails harmlessly on an unplugged device
        m_streaming = false;
    }
    releaseBuffers();
}

void V4l2CaptureBackend::releaseBuffers()
{
    const bool had = !m_buffers.empty();
    for (const Mapping &map : m_buffers)
        m_io.munmap(map.start, map.length);
    m_buffers.clear();
    if (had && m_fd >= 0) {
        v4l2_requestbuffers request;
        std::memset(&request, 0, sizeof request);
        request.count = 0;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        xioctl(VIDIOC_REQBUFS, &request);
    }
}

int V4l2CaptureBackend::queryControl(quint32 id, long *min, long *max, long *step, long *def)
{
    if (m_fd < 0)
        return EBADF;
    v4l2_queryctrl query;
    std::memset(&query, 0, sizeof query);
    query.id = id;
    if (const int rc = xioctl(VIDIOC_QUERYCTRL, &query))
        return rc;
    if (query.flags & V4L2_CTRL_FLAG_DISABLED)
        return EINVAL;
    *min = query.minimum;
    *max = query.maximum;
    *step = query.step;
    *def = query.default_value;
    return 0;
}

bool V4l2CaptureBackend::controlExists(quint32 id)
{
    long a, b, c, d;
    return queryControl(id, &a, &b, &c, &d) == 0;
}

bool V4l2CaptureBackend::menuOffers(quint32 id, long value)
{
    long min, max, step, def;
    if (queryControl(id, &min, &max, &step, &def) != 0 || value < min || value > max)
        return false;
    v4l2_querymenu menu;
    std::memset(&menu, 0, sizeof menu);
    menu.id = id;
    menu.index = quint32(value);
    return xioctl(VIDIOC_QUERYMENU, &menu) == 0;
}

int V4l2CaptureBackend::getControl(quint32 id, long *value)
{
    if (m_fd < 0)
        return EBADF;
    v4l2_control control{id, 0};
    if (const int rc = xioctl(VIDIOC_G_CTRL, &control))
        return rc;
    *value = control.value;
    return 0;
}

int V4l2CaptureBackend::setControl(quint32 id, long value)
{
    if (m_fd < 0)
        return EBADF;
    v4l2_control control{id, qint32(value)};
    return xioctl(VIDIOC_S_CTRL, &control);
}

// The automatic exposure mode this device offers: aperture priority, else full auto.
bool V4l2CaptureBackend::autoExposureValue(long *value)
{
    if (menuOffers(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_APERTURE_PRIORITY)) {
        *value = V4L2_EXPOSURE_APERTURE_PRIORITY;
        return true;
    }
    if (menuOffers(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_AUTO)) {
        *value = V4L2_EXPOSURE_AUTO;
        return true;
    }
    return false;
}

bool V4l2CaptureBackend::hasGroup(PropertyGroup group)
{
    if (m_fd < 0)
        return false;
    switch (group) {
    case PropertyGroup::CameraControl:
        return controlExists(V4L2_CID_EXPOSURE_ABSOLUTE);
    case PropertyGroup::VideoProcAmp:
        for (CameraProperty p :
             {CameraProperty::Gain, CameraProperty::WhiteBalance, CameraProperty::Brightness,
              CameraProperty::Contrast, CameraProperty::Saturation, CameraProperty::Hue,
              CameraProperty::Gamma, CameraProperty::Sharpness, CameraProperty::ColorEnable})
            if (controlExists(controlOf(p)))
                return true;
        return false;
    case PropertyGroup::VideoProcAmpExtended:
        return controlExists(V4L2_CID_POWER_LINE_FREQUENCY);
    }
    return false;
}

int V4l2CaptureBackend::propertyRange(CameraProperty property, PropertyRange *range)
{
    long min, max, step, def;
    if (const int rc = queryControl(controlOf(property), &min, &max, &step, &def))
        return rc;
    PropertyRange r;
    r.capsFlags = PropertyFlagManual;
    switch (property) {
    case CameraProperty::Exposure: {
        r.min = long(std::floor(std::log2(std::max(1L, min) * kExposureUnit)));
        r.max = long(std::ceil(std::log2(std::max(1L, max) * kExposureUnit)));
        r.step = 1;
        r.defaultValue = exposureToExponent(def);
        long autoValue;
        if (autoExposureValue(&autoValue))
            r.capsFlags |= PropertyFlagAuto;
        break;
    }
    case CameraProperty::ColorEnable:
        if (!menuOffers(V4L2_CID_COLORFX, V4L2_COLORFX_BW))
            return EINVAL;
        r.min = 0;
        r.max = 1;
        r.step = 1;
        r.defaultValue = def == V4L2_COLORFX_BW ? 0 : 1;
        break;
    case CameraProperty::WhiteBalance:
        r = {min, max, step, def, PropertyFlagManual};
        if (controlExists(V4L2_CID_AUTO_WHITE_BALANCE))
            r.capsFlags |= PropertyFlagAuto;
        if (controlExists(V4L2_CID_DO_WHITE_BALANCE))
            r.capsFlags |= PropertyFlagOnePush;
        break;
    default:
        r = {min, max, step, def, PropertyFlagManual};
        break;
    }
    *range = r;
    return 0;
}

int V4l2CaptureBackend::property(CameraProperty property, long *value, long *flags)
{
    long raw = 0;
    if (const int rc = getControl(controlOf(property), &raw))
        return rc;
    *flags = PropertyFlagManual;
    long mode = 0;
    switch (property) {
    case CameraProperty::Exposure:
        *value = exposureToExponent(raw);
        if (getControl(V4L2_CID_EXPOSURE_AUTO, &mode) == 0 && mode != V4L2_EXPOSURE_MANUAL)
            *flags = PropertyFlagAuto;
        break;
    case CameraProperty::WhiteBalance:
        *value = raw;
        if (getControl(V4L2_CID_AUTO_WHITE_BALANCE, &mode) == 0 && mode != 0)
            *flags = PropertyFlagAuto;
        else if (m_whiteBalanceHeld)
            *flags = PropertyFlagOnePush;
        break;
    case CameraProperty::ColorEnable:
        *value = raw == V4L2_COLORFX_BW ? 0 : 1;
        break;
    default:
        *value = raw;
        break;
    }
    return 0;
}

int V4l2CaptureBackend::setProperty(CameraProperty property, long value, long flags)
{
    const bool automatic = flags & PropertyFlagAuto;
    switch (property) {
    case CameraProperty::Exposure: {
        long autoValue;
        if (automatic)
            return autoExposureValue(&autoValue) ? setControl(V4L2_CID_EXPOSURE_AUTO, autoValue)
                                                 : EINVAL;
        if (controlExists(V4L2_CID_EXPOSURE_AUTO))
            if (const int rc = setControl(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL))
                return rc;
        return setControl(V4L2_CID_EXPOSURE_ABSOLUTE, exponentToExposure(value));
    }
    case CameraProperty::WhiteBalance: {
        m_whiteBalanceHeld = false;
        if (automatic)
            return setControl(V4L2_CID_AUTO_WHITE_BALANCE, 1);
        if (controlExists(V4L2_CID_AUTO_WHITE_BALANCE))
            if (const int rc = setControl(V4L2_CID_AUTO_WHITE_BALANCE, 0))
                return rc;
        if (flags & PropertyFlagOnePush) {
            // A button control: the camera measures once and keeps the temperature it found.
            const int rc = setControl(V4L2_CID_DO_WHITE_BALANCE, 1);
            m_whiteBalanceHeld = rc == 0;
            return rc;
        }
        return setControl(V4L2_CID_WHITE_BALANCE_TEMPERATURE, value);
    }
    case CameraProperty::ColorEnable:
        return setControl(V4L2_CID_COLORFX, value ? V4L2_COLORFX_NONE : V4L2_COLORFX_BW);
    default:
        return setControl(controlOf(property), value);
    }
}
