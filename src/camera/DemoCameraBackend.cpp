#include "camera/DemoCameraBackend.h"

#include "camera/DemoEncoders.h"
#include "camera/FrameConversion.h"
#include "camera/ThreadName.h"

#include <QCoreApplication>
#include <QDebug>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <future>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace FrameConversion;

namespace {

// Stage margin around the frame, in pixels: room for the drift.
constexpr int kMargin = 40;

struct RangeRow
{
    CameraProperty property;
    PropertyRange range;
};

const RangeRow kRanges[] = {
    {CameraProperty::Exposure, {-13, -1, 1, -6, PropertyFlagAuto | PropertyFlagManual}},
    {CameraProperty::Gain, {0, 100, 1, 0, PropertyFlagManual}},
    {CameraProperty::WhiteBalance,
     {2800, 6500, 10, 4600, PropertyFlagAuto | PropertyFlagManual | PropertyFlagOnePush}},
    {CameraProperty::Brightness, {-64, 64, 1, 0, PropertyFlagManual}},
    {CameraProperty::Contrast, {0, 64, 1, 32, PropertyFlagManual}},
    {CameraProperty::Saturation, {0, 128, 1, 64, PropertyFlagManual}},
    {CameraProperty::Hue, {-40, 40, 1, 0, PropertyFlagManual}},
    {CameraProperty::Gamma, {72, 500, 1, 100, PropertyFlagManual}},
    {CameraProperty::Sharpness, {0, 6, 1, 2, PropertyFlagManual}},
    {CameraProperty::ColorEnable, {0, 1, 1, 1, PropertyFlagManual}},
    {CameraProperty::PowerLineFrequency, {0, 2, 1, 1, PropertyFlagManual}},
};

const PropertyRange &rangeOf(CameraProperty property)
{
    for (const RangeRow &row : kRanges)
        if (row.property == property)
            return row.range;
    return kRanges[0].range;
}

// Encoding a loop runs behind the live stream: the stream already sends a picture, and the
// decoders and the window that show it should not wait for the rest of the loop. Threads the
// calling thread starts from then on inherit the lower priority.
void lowerThreadPriority()
{
    setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
}

} // namespace

DemoCameraBackend::DemoCameraBackend()
{
    m_mode = demoModes().at(1); // MJPG 1920x1080 until a mode is set
}

DemoCameraBackend::~DemoCameraBackend()
{
    close();
}

QString DemoCameraBackend::displayName()
{
    return QCoreApplication::translate("DemoCameraBackend", "演示相机");
}

QList<CaptureMode> DemoCameraBackend::demoModes()
{
    auto mode = [](quint32 fourcc, int w, int h, int fps) {
        CaptureMode m;
        m.fourcc = fourcc;
        m.width = w;
        m.height = h;
        m.timePerFrame = 10000000 / fps;
        m.bytesPerLine = fourcc == kFourccYuyv    ? quint32(w * 2)
                         : fourcc == kFourccBgr24 ? quint32(w * 3)
                                                  : 0;
        return m;
    };
    return {mode(kFourccMjpg, 3840, 2160, 30), mode(kFourccMjpg, 1920, 1080, 30),
            mode(kFourccMjpg, 1280, 720, 30),  mode(kFourccH264, 1920, 1080, 30),
            mode(kFourccYuyv, 1280, 720, 10),  mode(kFourccYuyv, 640, 480, 30),
            mode(kFourccBgr24, 640, 480, 30)};
}

QList<CaptureDeviceInfo> DemoCameraBackend::devices()
{
    return {{displayName(), QStringLiteral("demo")}};
}

int DemoCameraBackend::open(int index)
{
    close();
    if (index != 0)
        return ENODEV;
    m_open = true;
    return 0;
}

void DemoCameraBackend::close()
{
    stop();
    m_open = false;
}

int DemoCameraBackend::modes(QList<CaptureMode> *modes)
{
    if (!m_open)
        return EBADF;
    *modes = demoModes();
    return 0;
}

int DemoCameraBackend::setMode(const CaptureMode &mode)
{
    if (!m_open)
        return EBADF;
    if (m_thread.joinable())
        return EBUSY;
    for (const CaptureMode &m : demoModes())
        if (m.fourcc == mode.fourcc && m.width == mode.width && m.height == std::abs(mode.height)) {
            m_mode = m;
            return 0;
        }
    return EINVAL;
}

int DemoCameraBackend::currentMode(CaptureMode *mode)
{
    if (!m_open)
        return EBADF;
    *mode = m_mode;
    return 0;
}

int DemoCameraBackend::start(BufferCallback callback)
{
    if (!m_open)
        return EBADF;
    if (isH264(m_mode.fourcc) && !DemoEncoders::h264Available())
        return ENOTSUP;
    stop();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = false;
    }
    m_thread = std::thread([this, callback, mode = m_mode] {
        nameCurrentThread("quorix-demo");
        run(callback, mode);
    });
    return 0;
}

void DemoCameraBackend::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

QList<QImage> DemoCameraBackend::renderPictures(const CaptureMode &mode,
                                                const DemoSpecimen::Settings &settings)
{
    const QImage stage = renderStage(mode);
    QList<QImage> pictures;
    for (int step = 0; step < kDriftSteps; ++step)
        pictures << renderPicture(stage, mode, settings, step);
    return pictures;
}

QImage DemoCameraBackend::renderStage(const CaptureMode &mode)
{
    return DemoSpecimen::renderStage(mode.width, std::abs(mode.height), kMargin);
}

QImage DemoCameraBackend::renderPicture(const QImage &stage, const CaptureMode &mode,
                                        const DemoSpecimen::Settings &settings, int step)
{
    const QPoint offset = DemoSpecimen::driftOffset(step, kMargin);
    QImage picture = stage.copy(QRect(offset, QSize(mode.width, std::abs(mode.height))));
    DemoSpecimen::applySettings(&picture, settings, step);
    return picture;
}

QByteArray DemoCameraBackend::encodePicture(const CaptureMode &mode, const QImage &picture)
{
    if (isMjpg(mode.fourcc))
        return DemoEncoders::encodeMjpegFrame(picture);
    if (isYuy2(mode.fourcc))
        return DemoEncoders::encodeYuyv(picture);
    return DemoEncoders::encodeBgr24(picture);
}

std::shared_ptr<const DemoCameraBackend::Loop>
DemoCameraBackend::buildFirstFrame(const CaptureMode &mode, const DemoSpecimen::Settings &settings,
                                   const QImage &stage, QString *error)
{
    auto loop = std::make_shared<Loop>();
    const QByteArray frame = encodePicture(mode, pictureAt(stage, mode, settings, 0));
    if (frame.isEmpty()) {
        *error = QStringLiteral("cannot encode a picture");
        return nullptr;
    }
    loop->frames << frame;
    return loop;
}

QImage DemoCameraBackend::pictureAt(const QImage &stage, const CaptureMode &mode,
                                    const DemoSpecimen::Settings &settings, int step)
{
    if (!(settings == DemoSpecimen::Settings()))
        return renderPicture(stage, mode, settings, step);
    // The neutral settings leave the crop as it is: a read-only view into the stage instead of a
    // copy of it.
    const QPoint offset = DemoSpecimen::driftOffset(step, kMargin);
    if (!stage.rect().contains(QRect(offset, QSize(mode.width, std::abs(mode.height)))))
        return QImage(); // no stage (out of memory): nothing to encode
    const uchar *bits = stage.constBits() + qsizetype(offset.y()) * stage.bytesPerLine() +
                        qsizetype(offset.x()) * (stage.depth() / 8);
    return QImage(bits, mode.width, std::abs(mode.height), stage.bytesPerLine(), stage.format());
}

std::shared_ptr<const DemoCameraBackend::Loop>
DemoCameraBackend::buildLoop(const CaptureMode &mode, const DemoSpecimen::Settings &settings,
                             QString *error, const QImage &renderedStage)
{
    // Pictures may be views into the stage: it lives until the loop is encoded.
    const QImage stage = renderedStage.isNull() ? renderStage(mode) : renderedStage;
    // Forward over the drift steps and back again, so the loop joins without a jump.
    QList<int> order;
    for (int i = 0; i < kDriftSteps; ++i)
        order << i;
    for (int i = kDriftSteps - 2; i > 0; --i)
        order << i;

    auto loop = std::make_shared<Loop>();
    if (isH264(mode.fourcc)) {
        QList<QImage> pictures;
        for (int step = 0; step < kDriftSteps; ++step)
            pictures << pictureAt(stage, mode, settings, step);
        QList<QImage> sequence;
        for (int i : order)
            sequence << pictures.at(i);
        const int fps = int(10000000 / std::max<qint64>(1, mode.timePerFrame));
        if (!DemoEncoders::encodeH264Loop(sequence, fps, &loop->frames, error))
            return nullptr;
        return loop;
    }
    // The pictures are made and encoded side by side, each thread taking the next one not yet
    // taken; only the pictures being encoded exist at a time.
    QVector<QByteArray> encoded(kDriftSteps);
    std::atomic<int> next{0};
    const auto encodeRest = [&] {
        for (int i = next++; i < kDriftSteps; i = next++)
            encoded[i] = encodePicture(mode, pictureAt(stage, mode, settings, i));
    };
    std::vector<std::thread> helpers;
    const int cores = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    for (int h = 1; h < cores; ++h) {
        try {
            helpers.emplace_back(encodeRest);
        } catch (const std::system_error &) {
            break; // no thread to spare: the calling thread does the rest
        }
    }
    encodeRest();
    for (std::thread &helper : helpers)
        helper.join();
    for (int i : order) {
        if (encoded.at(i).isEmpty()) {
            *error = QStringLiteral("cannot encode a picture");
            return nullptr;
        }
        loop->frames << encoded.at(i);
    }
    return loop;
}

void DemoCameraBackend::run(BufferCallback callback, CaptureMode mode)
{
    using Clock = std::chrono::steady_clock;
    quint64 builtGeneration;
    DemoSpecimen::Settings current;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        builtGeneration = m_settingsGeneration;
        current = m_settings;
    }
    QString error;
    std::future<std::shared_ptr<const Loop>> rebuild;
    quint64 rebuildGeneration = builtGeneration;
    QString rebuildError;
    std::shared_ptr<const Loop> loop;
    if (isH264(mode.fourcc)) {
        // An H.264 loop is one stream of dependent pictures: it is sent only when complete.
        loop = buildLoop(mode, current, &error);
    } else {
        // Opening does not wait for the whole loop: the first picture is sent at once and the
        // loop follows when it is encoded, like a settings change.
        const QImage stage = renderStage(mode);
        loop = buildFirstFrame(mode, current, stage, &error);
        if (loop)
            rebuild = std::async(std::launch::async, [mode, current, stage, &rebuildError] {
                lowerThreadPriority();
                return buildLoop(mode, current, &rebuildError, stage);
            });
    }
    if (!loop) {
        qWarning().noquote() << "演示相机无法生成画面:" << error;
        if (rebuild.valid())
            rebuild.wait();
        return;
    }

    const auto interval = std::chrono::microseconds(std::max<qint64>(1, mode.timePerFrame) / 10);
    const Clock::time_point begin = Clock::now();
    Clock::time_point next = begin;
    for (qint64 index = 0;; ++index) {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            if (m_wake.wait_until(lock, next, [this] { return m_stop; }))
                break;
            if (!rebuild.valid() && m_settingsGeneration != builtGeneration) {
                rebuildGeneration = m_settingsGeneration;
                const DemoSpecimen::Settings wanted = m_settings;
                rebuild = std::async(std::launch::async, [mode, wanted, &rebuildError] {
                    lowerThreadPriority();
                    return buildLoop(mode, wanted, &rebuildError);
                });
            }
        }
        if (rebuild.valid() &&
            rebuild.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            if (std::shared_ptr<const Loop> fresh = rebuild.get())
                loop = fresh;
            else
                qWarning().noquote() << "演示相机无法生成画面:" << rebuildError;
            builtGeneration = rebuildGeneration;
        }
        const QByteArray &frame = loop->frames.at(int(index % loop->frames.size()));
        const double time = std::chrono::duration<double>(Clock::now() - begin).count();
        callback(time, reinterpret_cast<const uchar *>(frame.constData()), long(frame.size()));
        next += interval;
        const Clock::time_point now = Clock::now();
        if (next < now - interval * 4)
            next = now; // fell far behind (a slow consumer): do not send a burst
    }
    if (rebuild.valid())
        rebuild.wait();
}

bool DemoCameraBackend::hasGroup(PropertyGroup)
{
    return m_open;
}

int DemoCameraBackend::propertyRange(CameraProperty property, PropertyRange *range)
{
    if (!m_open)
        return EBADF;
    *range = rangeOf(property);
    return 0;
}

int DemoCameraBackend::property(CameraProperty property, long *value, long *flags)
{
    if (!m_open)
        return EBADF;
    DemoSpecimen::Settings s;
    bool held;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        s = m_settings;
        held = m_whiteBalanceHeld;
    }
    *flags = PropertyFlagManual;
    switch (property) {
    case CameraProperty::Exposure:
        // In automatic mode the metering settles on the picture's own exposure.
        *value = s.autoExposure ? rangeOf(property).defaultValue : s.exposure;
        *flags = s.autoExposure ? PropertyFlagAuto : PropertyFlagManual;
        break;
    case CameraProperty::WhiteBalance:
        *value = s.autoWhiteBalance ? rangeOf(property).defaultValue : s.whiteBalance;
        *flags = s.autoWhiteBalance ? PropertyFlagAuto
                 : held             ? PropertyFlagOnePush
                                    : PropertyFlagManual;
        break;
    case CameraProperty::Gain:
        *value = s.gain;
        break;
    case CameraProperty::Brightness:
        *value = s.brightness;
        break;
    case CameraProperty::Contrast:
        *value = s.contrast;
        break;
    case CameraProperty::Saturation:
        *value = s.saturation;
        break;
    case CameraProperty::Hue:
        *value = s.hue;
        break;
    case CameraProperty::Gamma:
        *value = s.gamma;
        break;
    case CameraProperty::Sharpness:
        *value = s.sharpness;
        break;
    case CameraProperty::ColorEnable:
        *value = s.colour ? 1 : 0;
        break;
    case CameraProperty::PowerLineFrequency:
        *value = s.powerLine;
        break;
    }
    return 0;
}

int DemoCameraBackend::setProperty(CameraProperty property, long value, long flags)
{
    if (!m_open)
        return EBADF;
    const PropertyRange &range = rangeOf(property);
    if (property == CameraProperty::PowerLineFrequency && (value < range.min || value > range.max))
        return EINVAL; // a menu: no clamping
    value = std::clamp(value, range.min, range.max);
    const bool automatic = flags & PropertyFlagAuto;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        DemoSpecimen::Settings &s = m_settings;
        switch (property) {
        case CameraProperty::Exposure:
            s.autoExposure = automatic;
            if (!automatic)
                s.exposure = value;
            break;
        case CameraProperty::WhiteBalance:
            s.autoWhiteBalance = automatic;
            m_whiteBalanceHeld = !automatic && (flags & PropertyFlagOnePush);
            // One push measures the specimen's neutral light; manual takes the value given.
            if (!automatic)
                s.whiteBalance = m_whiteBalanceHeld ? rangeOf(property).defaultValue : value;
            break;
        case CameraProperty::Gain:
            s.gain = value;
            break;
        case CameraProperty::Brightness:
            s.brightness = value;
            break;
        case CameraProperty::Contrast:
            s.contrast = value;
            break;
        case CameraProperty::Saturation:
            s.saturation = value;
            break;
        case CameraProperty::Hue:
            s.hue = value;
            break;
        case CameraProperty::Gamma:
            s.gamma = value;
            break;
        case CameraProperty::Sharpness:
            s.sharpness = value;
            break;
        case CameraProperty::ColorEnable:
            s.colour = value != 0;
            break;
        case CameraProperty::PowerLineFrequency:
            s.powerLine = value;
            break;
        }
        ++m_settingsGeneration;
    }
    return 0;
}
