#include "camera/ScriptedV4l2Device.h"

#include "camera/FrameConversion.h"
#include "camera/JpegHuffmanTables.h"

#include <linux/videodev2.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/mman.h>

namespace {

constexpr off_t kPage = 4096;

void copyText(__u8 *target, size_t size, const char *text)
{
    std::strncpy(reinterpret_cast<char *>(target), text, size - 1);
}

} // namespace

ScriptedV4l2Device::ScriptedV4l2Device()
{
    using namespace FrameConversion;
    addFormat(
        kFourccMjpg,
        {{3840, 2160, {30}}, {1920, 1080, {30, 15}}, {1280, 720, {30, 15}}, {640, 480, {30}}});
    addFormat(kFourccYuyv, {{1280, 720, {10, 5}}, {640, 480, {30, 15}}});
    addFormat(kFourccH264, {{1920, 1080, {30}}, {1280, 720, {30}}});
    m_controls[V4L2_CID_BRIGHTNESS] = {-64, 64, 1, 0, 0, {}};
    m_controls[V4L2_CID_CONTRAST] = {0, 64, 1, 32, 32, {}};
    m_controls[V4L2_CID_SATURATION] = {0, 128, 1, 64, 64, {}};
    m_controls[V4L2_CID_HUE] = {-40, 40, 1, 0, 0, {}};
    m_controls[V4L2_CID_GAMMA] = {72, 500, 1, 100, 100, {}};
    m_controls[V4L2_CID_GAIN] = {0, 100, 1, 0, 0, {}};
    m_controls[V4L2_CID_SHARPNESS] = {0, 6, 1, 2, 2, {}};
    m_controls[V4L2_CID_POWER_LINE_FREQUENCY] = {0, 2, 1, 1, 1, {0, 1, 2}};
    m_controls[V4L2_CID_AUTO_WHITE_BALANCE] = {0, 1, 1, 1, 1, {}};
    m_controls[V4L2_CID_WHITE_BALANCE_TEMPERATURE] = {2800, 6500, 1, 4600, 4600, {}};
    m_controls[V4L2_CID_DO_WHITE_BALANCE] = {0, 1, 1, 0, 0, {}};  // button: 1 once pressed
    m_controls[V4L2_CID_EXPOSURE_AUTO] = {0, 3, 1, 3, 3, {1, 3}}; // manual, aperture priority
    m_controls[V4L2_CID_EXPOSURE_ABSOLUTE] = {1, 5000, 1, 157, 157, {}};
    m_controls[V4L2_CID_COLORFX] = {0, 15, 1, 0, 0, {0, 1}}; // none, black and white
    applyFormat(kFourccMjpg, 1920, 1080);
}

V4l2Io ScriptedV4l2Device::io()
{
    V4l2Io io;
    io.open = [this](const char *path, int) { return doOpen(path); };
    io.close = [this](int fd) { return doClose(fd); };
    io.ioctl = [this](int fd, unsigned long request, void *arg) {
        return doIoctl(fd, request, arg);
    };
    io.mmap = [this](void *, size_t length, int, int, int fd, off_t offset) {
        return doMmap(length, fd, offset);
    };
    io.munmap = [](void *, size_t) { return 0; };
    io.poll = [this](struct pollfd *fds, nfds_t count, int timeoutMs) {
        return doPoll(fds, count, timeoutMs);
    };
    io.listNodes = [this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_present ? QStringList{QStringLiteral("/dev/video0"), QStringLiteral("/dev/video1")}
                         : QStringList();
    };
    io.usbIds = [](const QString &) { return QStringLiteral("vid_1bcf&pid_2c99"); };
    return io;
}

void ScriptedV4l2Device::clearFormats()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_formats.clear();
}

void ScriptedV4l2Device::addFormat(quint32 fourcc, const QList<Size> &sizes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Format format;
    format.fourcc = fourcc;
    format.sizes = sizes;
    m_formats << format;
}

void ScriptedV4l2Device::addStepwiseFormat(quint32 fourcc, int minW, int maxW, int stepW, int minH,
                                           int maxH, int stepH, int fps)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Format format;
    format.fourcc = fourcc;
    format.stepwise = true;
    format.minW = minW, format.maxW = maxW, format.stepW = stepW;
    format.minH = minH, format.maxH = maxH, format.stepH = stepH;
    format.stepFps = fps;
    m_formats << format;
}

void ScriptedV4l2Device::setControl(quint32 id, const Control &control)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_controls[id] = control;
}

void ScriptedV4l2Device::removeControl(quint32 id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_controls.remove(id);
}

long ScriptedV4l2Device::controlValue(quint32 id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_controls.value(id).value;
}

void ScriptedV4l2Device::failOpen(int error, int spared)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_openError = error;
    m_openSpared = spared;
}

void ScriptedV4l2Device::failSetFormat(int error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_setFormatError = error;
}

void ScriptedV4l2Device::failStreamOn(int error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_streamOnError = error;
}

void ScriptedV4l2Device::setPresent(bool present)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_present = present;
}

void ScriptedV4l2Device::unplug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplugged = true;
    m_present = false;
    m_changed.notify_all();
}

void ScriptedV4l2Device::replug()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplugged = false;
    m_present = true;
    m_streaming = false;
    m_buffers.clear();
    m_queued.clear();
    m_outstanding = 0;
    m_pending.clear();
    m_changed.notify_all();
}

void ScriptedV4l2Device::resetToDefaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Control &control : m_controls)
        control.value = control.def;
    if (!m_formats.isEmpty()) {
        const Format &first = m_formats.first();
        if (first.stepwise)
            applyFormat(first.fourcc, first.minW, first.minH);
        else if (!first.sizes.isEmpty())
            applyFormat(first.fourcc, first.sizes.first().width, first.sizes.first().height);
    }
}

void ScriptedV4l2Device::pushFrame(const QByteArray &frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pending.push_back(frame);
    m_changed.notify_all();
}

void ScriptedV4l2Device::setSendsHuffmanTables(bool sends)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sendsHuffmanTables = sends;
}

bool ScriptedV4l2Device::waitUntilDelivered(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_pending.empty() && m_outstanding == 0; });
}

bool ScriptedV4l2Device::streaming() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_streaming;
}

int ScriptedV4l2Device::openHandles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fds.size();
}

quint32 ScriptedV4l2Device::currentFourcc() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fourcc;
}

int ScriptedV4l2Device::currentWidth() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_width;
}

int ScriptedV4l2Device::currentHeight() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_height;
}

QPair<quint32, quint32> ScriptedV4l2Device::requestedInterval() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return {m_intervalNum, m_intervalDen};
}

int ScriptedV4l2Device::fail(int error) const
{
    errno = error;
    return -1;
}

int ScriptedV4l2Device::doOpen(const char *path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const QString node = QString::fromLocal8Bit(path);
    int index = -1;
    if (node == QLatin1String("/dev/video0"))
        index = 0;
    else if (node == QLatin1String("/dev/video1"))
        index = 1;
    if (index < 0 || !m_present)
        return fail(ENOENT);
    if (index == 0 && m_openError) {
        if (m_openSpared == 0)
            return fail(m_openError);
        --m_openSpared;
    }
    const int fd = m_nextFd++;
    m_fds[fd] = index;
    return fd;
}

int ScriptedV4l2Device::doClose(int fd)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_fds.remove(fd))
        return fail(EBADF);
    if (m_streaming && fd == m_streamingFd) { // closing the streaming handle ends the stream
        m_streaming = false;
        m_queued.clear();
    }
    return 0;
}

void *ScriptedV4l2Device::doMmap(size_t length, int fd, off_t offset)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const size_t index = size_t(offset / kPage);
    if (!m_fds.contains(fd) || index >= m_buffers.size() || length > m_bufferSize) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    return m_buffers[index].get();
}

int ScriptedV4l2Device::doPoll(struct pollfd *fds, nfds_t count, int timeoutMs)
{
    if (count != 1)
        return fail(EINVAL);
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [this] { return m_unplugged || (!m_pending.empty() && !m_queued.empty()); };
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    fds[0].revents = 0;
    if (m_unplugged)
        fds[0].revents = POLLERR;
    else if (ready())
        fds[0].revents = POLLIN;
    return fds[0].revents ? 1 : 0;
}

int ScriptedV4l2Device::doIoctl(int fd, unsigned long request, void *arg)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_fds.contains(fd))
        return fail(EBADF);
    if (m_unplugged)
        return fail(ENODEV);
    const int rc = ioctlLocked(m_fds.value(fd), request, arg);
    if (rc == 0 && request == VIDIOC_STREAMON)
        m_streamingFd = fd;
    m_changed.notify_all();
    return rc ? fail(rc) : 0;
}

const ScriptedV4l2Device::Format *ScriptedV4l2Device::findFormat(quint32 fourcc) const
{
    for (const Format &format : m_formats)
        if (format.fourcc == fourcc)
            return &format;
    return nullptr;
}

void ScriptedV4l2Device::applyFormat(quint32 fourcc, int width, int height)
{
    m_fourcc = fourcc;
    m_width = width;
    m_height = height;
    const bool packed = fourcc == FrameConversion::kFourccYuyv;
    m_bufferSize = size_t(width) * height * 2;
    if (!packed) // compressed frames are far smaller than the raw picture
        m_bufferSize = std::max<size_t>(size_t(width) * height / 2, 65536);
}

// Answers one ioctl with the lock held; returns 0 or an errno value.
int ScriptedV4l2Device::ioctlLocked(int node, unsigned long request, void *arg)
{
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto *cap = static_cast<v4l2_capability *>(arg);
        std::memset(cap, 0, sizeof *cap);
        copyText(cap->driver, sizeof cap->driver, "uvcvideo");
        copyText(cap->card, sizeof cap->card, "Quorix UVC Microscope");
        copyText(cap->bus_info, sizeof cap->bus_info, "usb-0000:00:14.0-2");
        cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                            V4L2_CAP_DEVICE_CAPS;
        cap->device_caps = node == 0 ? (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING)
                                     : (V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING);
        return 0;
    }
    default:
        break;
    }
    if (node != 0)
        return ENOTTY;

    switch (request) {
    case VIDIOC_ENUM_FMT: {
        auto *desc = static_cast<v4l2_fmtdesc *>(arg);
        if (desc->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || desc->index >= quint32(m_formats.size()))
            return EINVAL;
        const Format &format = m_formats.at(int(desc->index));
        desc->pixelformat = format.fourcc;
        desc->flags = format.fourcc == FrameConversion::kFourccYuyv ? 0 : V4L2_FMT_FLAG_COMPRESSED;
        copyText(desc->description, sizeof desc->description,
                 FrameConversion::subtypeName(format.fourcc).toLatin1().constData());
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto *size = static_cast<v4l2_frmsizeenum *>(arg);
        const Format *format = findFormat(size->pixel_format);
        if (!format)
            return EINVAL;
        if (format->stepwise) {
            if (size->index != 0)
                return EINVAL;
            size->type = V4L2_FRMSIZE_TYPE_STEPWISE;
            size->stepwise = {quint32(format->minW), quint32(format->maxW), quint32(format->stepW),
                              quint32(format->minH), quint32(format->maxH), quint32(format->stepH)};
            return 0;
        }
        if (size->index >= quint32(format->sizes.size()))
            return EINVAL;
        size->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        size->discrete.width = quint32(format->sizes.at(int(size->index)).width);
        size->discrete.height = quint32(format->sizes.at(int(size->index)).height);
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto *ival = static_cast<v4l2_frmivalenum *>(arg);
        const Format *format = findFormat(ival->pixel_format);
        if (!format)
            return EINVAL;
        QList<int> rates;
        if (format->stepwise)
            rates << format->stepFps;
        for (const Size &s : format->sizes)
            if (s.width == int(ival->width) && s.height == int(ival->height))
                rates = s.fps;
        if (ival->index >= quint32(rates.size()))
            return EINVAL;
        ival->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        ival->discrete = {1, quint32(rates.at(int(ival->index)))};
        return 0;
    }
    case VIDIOC_S_FMT: {
        auto *format = static_cast<v4l2_format *>(arg);
        if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || m_formats.isEmpty())
            return EINVAL;
        if (m_setFormatError)
            return m_setFormatError;
        if (m_streaming || !m_buffers.empty())
            return EBUSY;
        const Format *chosen = findFormat(format->fmt.pix.pixelformat);
        if (!chosen)
            chosen = &m_formats.first();
        int width = int(format->fmt.pix.width), height = int(format->fmt.pix.height);
        if (chosen->stepwise) {
            width = std::clamp(width, chosen->minW, chosen->maxW);
            height = std::clamp(height, chosen->minH, chosen->maxH);
        } else {
            bool found = false;
            for (const Size &s : chosen->sizes)
                found = found || (s.width == width && s.height == height);
            if (!found)
                width = chosen->sizes.first().width, height = chosen->sizes.first().height;
        }
        applyFormat(chosen->fourcc, width, height);
        [[fallthrough]];
    }
    case VIDIOC_G_FMT: {
        auto *format = static_cast<v4l2_format *>(arg);
        if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return EINVAL;
        format->fmt.pix.pixelformat = m_fourcc;
        format->fmt.pix.width = quint32(m_width);
        format->fmt.pix.height = quint32(m_height);
        format->fmt.pix.field = V4L2_FIELD_NONE;
        format->fmt.pix.bytesperline =
            m_fourcc == FrameConversion::kFourccYuyv ? quint32(m_width * 2) : 0;
        format->fmt.pix.sizeimage = quint32(m_bufferSize);
        return 0;
    }
    case VIDIOC_S_PARM: {
        auto *parm = static_cast<v4l2_streamparm *>(arg);
        m_intervalNum = parm->parm.capture.timeperframe.numerator;
        m_intervalDen = parm->parm.capture.timeperframe.denominator;
        parm->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto *request = static_cast<v4l2_requestbuffers *>(arg);
        if (request->memory != V4L2_MEMORY_MMAP)
            return EINVAL;
        if (m_streaming)
            return EBUSY;
        m_buffers.clear();
        m_queued.clear();
        m_outstanding = 0;
        for (quint32 i = 0; i < request->count; ++i)
            m_buffers.emplace_back(new uchar[m_bufferSize]);
        return 0;
    }
    case VIDIOC_QUERYBUF: {
        auto *buffer = static_cast<v4l2_buffer *>(arg);
        if (buffer->index >= m_buffers.size())
            return EINVAL;
        buffer->length = quint32(m_bufferSize);
        buffer->m.offset = quint32(buffer->index * kPage);
        return 0;
    }
    case VIDIOC_QBUF: {
        auto *buffer = static_cast<v4l2_buffer *>(arg);
        if (buffer->index >= m_buffers.size())
            return EINVAL;
        m_queued.push_back(buffer->index);
        if (m_outstanding > 0)
            --m_outstanding;
        return 0;
    }
    case VIDIOC_DQBUF: {
        auto *buffer = static_cast<v4l2_buffer *>(arg);
        if (!m_streaming || m_pending.empty() || m_queued.empty())
            return EAGAIN;
        const quint32 index = m_queued.front();
        m_queued.pop_front();
        QByteArray frame = m_pending.front();
        m_pending.pop_front();
        if (m_fourcc == FrameConversion::kFourccMjpg && !m_sendsHuffmanTables)
            frame = JpegHuffmanTables::withoutTables(frame);
        const size_t used = std::min(size_t(frame.size()), m_bufferSize);
        std::memcpy(m_buffers[index].get(), frame.constData(), used);
        buffer->index = index;
        buffer->bytesused = quint32(used);
        buffer->flags = 0;
        ++m_outstanding;
        return 0;
    }
    case VIDIOC_STREAMON:
        if (m_streamOnError)
            return m_streamOnError;
        if (m_buffers.empty())
            return EINVAL;
        m_streaming = true;
        m_outstanding = 0;
        return 0;
    case VIDIOC_STREAMOFF:
        m_streaming = false;
        m_queued.clear();
        m_outstanding = 0;
        return 0;
    case VIDIOC_QUERYCTRL: {
        auto *query = static_cast<v4l2_queryctrl *>(arg);
        if (!m_controls.contains(query->id))
            return EINVAL;
        const Control &c = m_controls[query->id];
        query->minimum = qint32(c.min);
        query->maximum = qint32(c.max);
        query->step = qint32(c.step);
        query->default_value = qint32(c.def);
        query->type = c.menu.isEmpty() ? V4L2_CTRL_TYPE_INTEGER : V4L2_CTRL_TYPE_MENU;
        query->flags = 0;
        return 0;
    }
    case VIDIOC_QUERYMENU: {
        auto *menu = static_cast<v4l2_querymenu *>(arg);
        if (!m_controls.contains(menu->id) ||
            !m_controls[menu->id].menu.contains(long(menu->index)))
            return EINVAL;
        return 0;
    }
    case VIDIOC_G_CTRL: {
        auto *control = static_cast<v4l2_control *>(arg);
        if (!m_controls.contains(control->id))
            return EINVAL;
        control->value = qint32(m_controls[control->id].value);
        return 0;
    }
    case VIDIOC_S_CTRL: {
        auto *control = static_cast<v4l2_control *>(arg);
        if (!m_controls.contains(control->id))
            return EINVAL;
        Control &c = m_controls[control->id];
        if (!c.menu.isEmpty() && !c.menu.contains(long(control->value)))
            return EINVAL;
        c.value = std::clamp(long(control->value), c.min, c.max); // integers are clamped
        control->value = qint32(c.value);
        return 0;
    }
    default:
        return ENOTTY;
    }
}
