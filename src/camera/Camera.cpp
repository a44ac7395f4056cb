#include "camera/Camera.h"

#include "camera/CameraClock.h"
#include "camera/FrameConversion.h"
#include "camera/ResultCode.h"
#include "settings/SettingsKeys.h"

#include <QDebug>
#include <QMutexLocker>
#include <QSettings>

#include <cerrno>
#include <cstdlib>

using namespace FrameConversion;

namespace {

// Process-wide once-only logs of the capture callback; never reset.
std::atomic<bool> g_unsupportedLogged{false};
std::atomic<bool> g_invalidImageLogged{false};
std::atomic<bool> g_h26xOverflowLogged{false};

enum class ModeClass { H264, H265, Mjpg, Yuy2, Other };

ModeClass classify(quint32 code)
{
    if (isH264(code))
        return ModeClass::H264;
    if (isH265(code))
        return ModeClass::H265;
    if (isMjpg(code))
        return ModeClass::Mjpg;
    if (isYuy2(code))
        return ModeClass::Yuy2;
    return ModeClass::Other;
}

const char *className(ModeClass c)
{
    switch (c) {
    case ModeClass::H264:
        return "H264";
    case ModeClass::H265:
        return "H265";
    case ModeClass::Mjpg:
        return "MJPG";
    case ModeClass::Yuy2:
        return "YUY2";
    case ModeClass::Other:
        break;
    }
    return "其他";
}

struct Candidate
{
    bool set = false;
    int index = -1;
    CaptureMode mode;

    void take(int i, const CaptureMode &m)
    {
        set = true;
        index = i;
        mode = m;
    }
};

} // namespace

Camera::Camera(QObject *parent)
    : Camera(createSystemCaptureBackend(), parent)
{}

Camera::Camera(std::unique_ptr<CaptureBackend> backend, QObject *parent)
    : QObject(parent)
    , m_backend(std::move(backend))
{
    startDecodeThreads();
}

Camera::~Camera()
{
    close();
    stopDecodeThreads();
}

QList<CaptureDeviceInfo> Camera::devices()
{
    return m_backend->devices();
}

QString Camera::identityOf(const CaptureDeviceInfo &device)
{
    return device.identity.isEmpty() ? QStringLiteral("name-") + device.name : device.identity;
}

bool Camera::failOpen(const QString &message)
{
    m_backend->close();
    m_running = false;
    m_modes.clear();
    emit error(message);
    return false;
}

bool Camera::open(int deviceIndex)
{
    m_deviceIndex = deviceIndex;
    close();
    return openDevice(deviceIndex);
}

bool Camera::openDevice(int deviceIndex)
{
    const QList<CaptureDeviceInfo> list = m_backend->devices();
    if (list.isEmpty() || deviceIndex < 0 || deviceIndex >= list.size())
        return failOpen(tr("未检测到摄像头设备，请检查连接"));

    m_devicePath = list.at(deviceIndex).path;
    m_deviceIdentity = identityOf(list.at(deviceIndex));
    const int openResult = m_backend->open(deviceIndex);
    qInfo().noquote() << "打开设备" << list.at(deviceIndex).path
                      << "返回值:" << resultCodeText(openResult);
    switch (openResult) {
    case 0:
        break;
    case EBUSY:
        return failOpen(tr("摄像头被其他程序占用，请关闭占用程序后重试"));
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return failOpen(tr("未检测到摄像头设备，请检查连接"));
    case EACCES:
    case EPERM:
        return failOpen(
            tr("相机被其他程序占用或无法访问，请检查相机连接并关闭其他使用此相机的程序"));
    default:
        return failOpen(tr("摄像头初始化失败，请尝试重新连接设备"));
    }

    QList<CaptureMode> modes;
    const int modesResult = m_backend->modes(&modes);
    if (m_targetResolution.isValid())
        qInfo().noquote() << "目标分辨率:" << m_targetResolution.width() << "x"
                          << m_targetResolution.height();
    else
        qInfo().noquote() << "未指定目标分辨率，将使用默认分辨率";
    if (modesResult != 0 || modes.isEmpty())
        return failOpen(tr("不支持当前摄像头的视频格式"));
    qInfo().noquote() << "相机支持的格式数量:" << modes.size();
    m_modes = modes;

    CaptureMode chosen;
    QString chosenName;
    const bool modeChosen = chooseMode(modes, &chosen, &chosenName);
    if (modeChosen) {
        chosen.timePerFrame = 333333;
        qInfo().noquote() << "SetFormat 请求帧率:" << QString::number(30.0, 'f', 1) << "fps";
        const int setResult = m_backend->setMode(chosen);
        if (setResult != 0)
            qWarning().noquote() << "SetFormat 失败，错误码:" << resultCodeText(setResult);
        else
            qInfo().noquote() << "成功设置分辨率:" << chosen.width << "x"
                              << std::abs(chosen.height);
        m_formatName = subtypeName(chosen.fourcc);
        emit formatChanged(m_formatName);
    }

    if (m_backend->hasGroup(PropertyGroup::CameraControl))
        qInfo().noquote() << "成功获取相机控制接口";
    if (m_backend->hasGroup(PropertyGroup::VideoProcAmp))
        qInfo().noquote() << "成功获取视频处理接口";
    if (m_backend->hasGroup(PropertyGroup::VideoProcAmpExtended))
        qInfo().noquote() << "成功获取 IVideoProcAmp 扩展接口";
    else
        qInfo().noquote() << "未获取到 IVideoProcAmp 扩展接口";
    readAllProperties();

    m_connectedModeResult = m_backend->currentMode(&m_connectedMode);
    m_mediaTypeKnown = false;
    m_formatErrorReported = false;
    {
        QMutexLocker lock(&m_queueLock);
        m_queueClosed = false;
    }
    m_running = true;
    const int runResult = m_backend->start(
        [this](double time, const uchar *data, long length) { deliverBuffer(time, data, length); });
    qInfo().noquote() << "Run 返回值:" << resultCodeText(runResult);
    switch (runResult) {
    case 0:
        break;
    case EBUSY:
        return failOpen(tr("相机被其他程序占用，请关闭其他使用此相机的程序后重试"));
    case EACCES:
    case EPERM:
        return failOpen(
            tr("相机被其他程序占用或无法访问，请检查相机连接并关闭其他使用此相机的程序"));
    default:
        qWarning().noquote() << "Graph 运行失败，错误码:" << resultCodeText(runResult);
        return failOpen(tr("摄像头启动失败，请检查设备状态"));
    }
    qInfo().noquote() << "视频流运行成功";
    m_opened = true;
    if (m_connectedModeResult == 0) {
        // Without a chosen mode the name still tells the format the device streams, so that a
        // later setFormat compares against the truth rather than a previous device's format.
        if (!modeChosen)
            m_formatName = subtypeName(m_connectedMode.fourcc);
        m_resolution = QSize(m_connectedMode.width, std::abs(m_connectedMode.height));
        qInfo().noquote() << "当前分辨率:" << m_resolution.width() << "x" << m_resolution.height();
    }
    return true;
}

bool Camera::chooseMode(const QList<CaptureMode> &modes, CaptureMode *chosen, QString *name)
{
    Candidate matchH264, matchH265, matchMjpg, matchYuy2, matchOther;
    Candidate defH264, defH265, defMjpg, defYuy2;
    qint64 sharedArea = 0; // largest area among the H.264, H.265 and MJPG defaults
    qint64 yuy2Area = 0;
    auto matchSlot = [&](ModeClass c) -> Candidate & {
        return c == ModeClass::H264 ? matchH264 : c == ModeClass::H265 ? matchH265 : matchMjpg;
    };
    auto defaultSlot = [&](ModeClass c) -> Candidate & {
        return c == ModeClass::H264 ? defH264 : c == ModeClass::H265 ? defH265 : defMjpg;
    };
    auto logMatch = [](const char *label, const CaptureMode &m) {
        qInfo().noquote() << QStringLiteral("找到匹配分辨率 %1:").arg(QString::fromUtf8(label))
                          << QStringLiteral("%1x%2").arg(m.width).arg(std::abs(m.height));
    };

    for (int i = 0; i < modes.size(); ++i) {
        const CaptureMode &mode = modes.at(i);
        if (!m_preferredFormat.isEmpty() && subtypeName(mode.fourcc) != m_preferredFormat)
            continue;
        const int width = mode.width, height = std::abs(mode.height);
        const qint64 area = qint64(width) * height;
        const ModeClass cls = classify(mode.fourcc);
        const QString rate = mode.timePerFrame > 0
                                 ? QString::number(10000000.0 / mode.timePerFrame, 'f', 1)
                                 : QStringLiteral("?");
        qInfo().noquote() << QStringLiteral("cap[%1]: %2x%3 %4 %5fps")
                                 .arg(i)
                                 .arg(width)
                                 .arg(height)
                                 .arg(QString::fromUtf8(className(cls)))
                                 .arg(rate);

        const bool matches = m_targetResolution.isValid() && width == m_targetResolution.width() &&
                             height == m_targetResolution.height();
        bool asDefault = !matches;
        if (matches) {
            if (cls == ModeClass::H264 || cls == ModeClass::H265 || cls == ModeClass::Mjpg) {
                Candidate &slot = matchSlot(cls);
                if (!slot.set ||
                    (mode.timePerFrame > 0 &&
                     (slot.mode.timePerFrame <= 0 || mode.timePerFrame < slot.mode.timePerFrame))) {
                    slot.take(i, mode);
                    logMatch(className(cls), mode);
                }
            } else if (cls == ModeClass::Yuy2 && !matchYuy2.set) {
                matchYuy2.take(i, mode);
                logMatch("YUY2", mode);
            } else if (!matchOther.set) {
                matchOther.take(i, mode);
                logMatch("其他格式", mode);
            } else if (cls == ModeClass::Yuy2) {
                asDefault = true; // both slots taken: tried as the YUY2 default
            }
        }
        if (!asDefault)
            continue;
        if (cls == ModeClass::H264 || cls == ModeClass::H265 || cls == ModeClass::Mjpg) {
            Candidate &slot = defaultSlot(cls);
            if (area > sharedArea) {
                slot.take(i, mode);
                sharedArea = area;
            } else if (area == sharedArea && slot.set && slot.mode.timePerFrame > 0 &&
                       mode.timePerFrame > 0 && mode.timePerFrame < slot.mode.timePerFrame) {
                slot.take(i, mode);
            }
        } else if (cls == ModeClass::Yuy2 && area > yuy2Area) {
            defYuy2.take(i, mode);
            yuy2Area = area;
        }
    }

    const Candidate *pick = nullptr;
    QString label;
    if (matchH264.set) {
        pick = &matchH264, label = QStringLiteral("H264");
    } else if (matchH265.set) {
        pick = &matchH265, label = QStringLiteral("H265");
    } else if (matchMjpg.set) {
        pick = &matchMjpg, label = QStringLiteral("MJPG");
    } else if (matchYuy2.set) {
        pick = &matchYuy2, label = QStringLiteral("YUY2");
    } else if (matchOther.set) {
        pick = &matchOther;
        label = QStringLiteral("其他");
        const struct
        {
            const Candidate &slot;
            const char *name;
        } defaults[] = {{defH264, "H264(默认)"},
                        {defH265, "H265(默认)"},
                        {defMjpg, "MJPG(默认)"},
                        {defYuy2, "YUY2(默认)"}};
        for (const auto &d : defaults)
            if (d.slot.set && d.slot.index == matchOther.index)
                label = QString::fromUtf8(d.name);
    } else if (defH264.set) {
        pick = &defH264, label = QStringLiteral("H264(默认)");
    } else if (defH265.set) {
        pick = &defH265, label = QStringLiteral("H265(默认)");
    } else if (defMjpg.set) {
        pick = &defMjpg, label = QStringLiteral("MJPG(默认)");
    } else if (defYuy2.set) {
        pick = &defYuy2, label = QStringLiteral("YUY2(默认)");
    }
    if (!pick)
        return false;
    qInfo().noquote()
        << "选择格式:" << label
        << QStringLiteral("%1x%2").arg(pick->mode.width).arg(std::abs(pick->mode.height));
    *chosen = pick->mode;
    *name = label;
    return true;
}

void Camera::close()
{
    // What waits for decoding is dropped at once and the queues take nothing more, before the
    // backend's stop, which takes a while (it joins the streaming thread): the decode thread
    // must not go on decoding old packets meanwhile.
    {
        QMutexLocker lock(&m_queueLock);
        m_queueClosed = true;
        m_mjpgQueue.clear();
        m_h26xQueue.clear();
        m_newData = false;
    }
    {
        QMutexLocker lock(&m_fullLock);
        m_fullQueue.clear();
    }
    if (m_backend) {
        m_backend->stop(); // joins the streaming thread: no callback runs after this
        m_backend->close();
    }
    // Only the picture in progress is finished: no picture of this stream leaves after close,
    // and the next stream gets new decoders.
    waitDecodeIdle();
    releaseDecoders();
    m_mediaTypeKnown = false;
    m_running = false;
    m_opened = false;
    m_modes.clear();
    m_cameraFrameCount = 0;
    m_cameraRateTime = 0;
}

bool Camera::setResolution(int width, int height)
{
    if (width < 1 || height < 1)
        return false;
    m_targetResolution = QSize(width, height);
    const bool ok = open(openDeviceIndex());
    if (ok)
        emit resolutionChanged(m_resolution);
    return ok;
}

bool Camera::setFormat(const QString &name)
{
    if (name == m_formatName)
        return true;
    m_preferredFormat = name;
    if (m_opened)
        return open(openDeviceIndex());
    return true;
}

bool Camera::setStreamMode(const QString &format, const QSize &resolution)
{
    m_preferredFormat = format;
    m_targetResolution = resolution.isValid() ? resolution : QSize();
    if (!m_opened)
        return true;
    const bool ok = open(openDeviceIndex());
    if (ok)
        emit resolutionChanged(m_resolution);
    return ok;
}

int Camera::openDeviceIndex()
{
    // Devices plugged in or out since the open shift the indices; the path stays.
    const QList<CaptureDeviceInfo> list = m_backend->devices();
    for (int i = 0; i < list.size(); ++i)
        if (list.at(i).path == m_devicePath)
            return i;
    return m_deviceIndex;
}

void Camera::reportUnsupportedFormat()
{
    // Every buffer of such a stream fails alike; one report per stream is enough.
    if (m_formatErrorReported)
        return;
    m_formatErrorReported = true;
    emit error(tr("不支持当前摄像头的视频格式"));
}

void Camera::deliverYuvPreview(VideoFrameYUV frame)
{
    frame.mirrorHorizontal = m_mirrorHorizontal;
    frame.mirrorVertical = m_mirrorVertical;
    emit previewYuvReady(frame);
}

qint64 Camera::monotonicMicroseconds()
{
    return CameraClock::nowMicroseconds();
}

QString Camera::rateLogLine(std::atomic<qint64> &count, qint64 &since, const QString &logTemplate)
{
    const qint64 now = monotonicMicroseconds();
    ++count;
    if (since == 0) {
        since = now;
        return QString();
    }
    const qint64 elapsed = now - since;
    if (elapsed < 1000000)
        return QString();
    const qint64 frames = count.exchange(0);
    since = now;
    if (!QSettings().value(SettingsKeys::kFpsLog, SettingsKeys::kFpsLogDefault).toBool())
        return QString();
    return logTemplate.arg(QString::number(frames * 1000000.0 / elapsed, 'f', 1))
        .arg(frames)
        .arg(QString::number(elapsed / 1000.0, 'f', 0));
}

void Camera::countCameraFrame()
{
    const QString line = rateLogLine(m_cameraFrameCount, m_cameraRateTime,
                                     QStringLiteral("[CAMFPS] 相机投递帧率: %1 fps (%2 帧/%3 ms)"));
    if (!line.isEmpty())
        qInfo().noquote() << line;
}

Camera::BufferResult Camera::deliverBuffer(double time, const uchar *buffer, long length)
{
    Q_UNUSED(time)
    if (!buffer || !m_backend)
        return BufferResult::NullBuffer;
    if (!m_running)
        return BufferResult::Ok;
    countCameraFrame();

    if (!m_mediaTypeKnown) {
        if (m_connectedModeResult != 0 || m_connectedMode.width < 1 ||
            m_connectedMode.height == 0) {
            reportUnsupportedFormat();
            return BufferResult::Failed;
        }
        m_width = m_connectedMode.width;
        m_height = m_connectedMode.height;
        m_subtype = m_connectedMode.fourcc;
        m_mediaTypeKnown = true;
    }

    const int rows = std::abs(m_height);
    bool rejected = false;
    if (isYuy2(m_subtype) || isRgb24(m_subtype)) {
        QImage picture;
        const bool yuy2 = isYuy2(m_subtype);
        // A short buffer would be read past its end: it is rejected like an unusable picture.
        const qint64 needed = qint64(m_width) * rows * (yuy2 ? 2 : 3);
        if (length >= needed) {
            if (yuy2)
                convertYuy2ToImageSerial(buffer, m_width, m_height, &picture, m_colourEnabled);
            else
                picture = convertRgb24ToImage(buffer, length, m_width, m_height);
        }
        if (picture.isNull()) {
            rejected = true;
        } else {
            if (!m_colourEnabled && !yuy2)
                picture = toSoftwareMonochrome(picture);
            picture = applyMirror(picture, m_mirrorHorizontal, m_mirrorVertical);
            emitFrame(picture, m_fullRequested.exchange(false));
        }
    } else if (isMjpg(m_subtype)) {
        if (length >= 129 && buffer[0] == 0xFF && buffer[1] == 0xD8)
            enqueue(true, buffer, length);
    } else if (isH264(m_subtype) || isH265(m_subtype)) {
        bool accepted = false;
        if (length > 16) {
            const long scan = std::min(length - 3, 16L);
            for (long i = 0; i < scan && !accepted; ++i)
                accepted = buffer[i] == 0 && buffer[i + 1] == 0 &&
                           (buffer[i + 2] == 1 || (buffer[i + 2] == 0 && buffer[i + 3] == 1));
        }
        if (!accepted && length >= 9)
            accepted = buffer[0] == 0 && buffer[1] == 0 && buffer[2] == 0 && buffer[3] >= 2;
        if (accepted)
            enqueue(false, buffer, length);
    } else {
        if (!g_unsupportedLogged.exchange(true))
            qWarning().noquote() << "不支持的格式:" << subtypeName(m_subtype);
        reportUnsupportedFormat();
        rejected = true;
    }
    if (rejected && !g_invalidImageLogged.exchange(true))
        qWarning().noquote() << "创建有效图像失败";
    return BufferResult::Ok;
}

void Camera::enqueue(bool mjpg, const uchar *buffer, long length)
{
    QByteArray packet(reinterpret_cast<const char *>(buffer), int(length));
    QMutexLocker lock(&m_queueLock);
    if (m_queueClosed)
        return; // the camera is closing: the packet belongs to no stream
    m_queueStream = {m_subtype, m_width, std::abs(m_height), !m_colourEnabled};
    if (mjpg) {
        if (m_mjpgQueue.size() >= kMjpgQueueLimit)
            m_mjpgQueue.removeFirst();
        m_mjpgQueue.append(packet);
    } else {
        if (m_h26xQueue.size() >= kH26xQueueLimit) {
            m_h26xQueue.removeFirst();
            if (!g_h26xOverflowLogged.exchange(true))
                qWarning().noquote() << "H264 帧队列溢出，丢弃最旧帧（解码速度跟不上相机）";
        }
        m_h26xQueue.append(packet);
    }
    m_newData = true;
    m_queueCondition.wakeAll();
}

bool Camera::takeMjpgPacket(QByteArray *packet)
{
    QMutexLocker lock(&m_queueLock);
    if (m_mjpgQueue.isEmpty())
        return false;
    *packet = m_mjpgQueue.takeFirst();
    return true;
}

bool Camera::takeH26xPacket(QByteArray *packet)
{
    QMutexLocker lock(&m_queueLock);
    if (m_h26xQueue.isEmpty())
        return false;
    *packet = m_h26xQueue.takeFirst();
    return true;
}

int Camera::mjpgQueueSize() const
{
    QMutexLocker lock(&m_queueLock);
    return m_mjpgQueue.size();
}

int Camera::h26xQueueSize() const
{
    QMutexLocker lock(&m_queueLock);
    return m_h26xQueue.size();
}
