#include "recording/VideoRecorder.h"

#include "recording/Nv12Convert.h"
#include "recording/TimeStamp.h"
#include "recording/VideoFileWriter.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDebug>
#include <QMutexLocker>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

VideoRecorder::VideoRecorder(QObject *parent)
    : VideoRecorder(parent, Clock())
{}

VideoRecorder::VideoRecorder(QObject *parent, Clock clock)
    : QObject(parent)
    , m_clock(std::move(clock))
{
    m_steadyClock.start();
    m_worker = std::thread([this] { run(); });
}

qint64 VideoRecorder::now() const
{
    return m_clock ? m_clock() : m_steadyClock.nsecsElapsed();
}

VideoRecorder::~VideoRecorder()
{
    stop();
    {
        QMutexLocker lock(&m_mutex);
        m_exitRequested = true;
        m_condition.wakeAll();
    }
    m_worker.join();
}

void VideoRecorder::start(const QString &path, const QSize &size, int fps)
{
    // Refused before anything else, so that a bad request leaves a running recording alone.
    if (size.isEmpty() || fps < 1) {
        emit error(tr("无效的帧尺寸或帧率"));
        return;
    }
    if (isRecording())
        stop();
    QMutexLocker lock(&m_mutex);
    m_pending = {path, size, fps, m_preset};
    m_pendingFrame = QImage();
    m_startRequested = true;
    m_stopAcknowledged = false;
    m_recording = true;
    m_condition.wakeAll();
}

void VideoRecorder::stop()
{
    QMutexLocker lock(&m_mutex);
    if (!m_recording)
        return;
    m_stopRequested = true;
    m_condition.wakeAll();
    while (!m_stopAcknowledged)
        m_condition.wait(&m_mutex);
    m_stopAcknowledged = false;
    m_recording = false;
    // A frame handed over during the stop belongs to no file.
    m_pendingFrame = QImage();
}

bool VideoRecorder::isRecording() const
{
    QMutexLocker lock(&m_mutex);
    return m_recording;
}

bool VideoRecorder::hasWaitingFrame() const
{
    QMutexLocker lock(&m_mutex);
    return !m_pendingFrame.isNull();
}

void VideoRecorder::setEncoderPreset(const QByteArray &preset)
{
    QMutexLocker lock(&m_mutex);
    m_preset = preset;
}

void VideoRecorder::writeFrame(const QImage &frame)
{
    const qint64 arrival = now();
    QMutexLocker lock(&m_mutex);
    if (!m_recording || frame.isNull() || frame.size() != m_pending.size)
        return;
    m_pendingFrame = frame;
    m_pendingArrivalNs = arrival;
    m_condition.wakeAll();
}

void VideoRecorder::run()
{
    QMutexLocker lock(&m_mutex);
    for (;;) {
        // Requests are served at once; a frame waits until the pacing allows it. Waiting on
        // this condition (not a plain sleep) keeps the worker responsive to stop and exit, and
        // lets a newer frame replace the waiting one.
        const qint64 nowNs = now();
        const double credit = m_writer ? pacingCredit(nowNs) : 1.0;
        // The last frame handed over before a stop is written without waiting, unless it would
        // share the time of the frame written before it.
        const bool frameDue =
            !m_pendingFrame.isNull() && (credit >= 1.0 || (m_stopRequested && credit >= 0.5));
        if (!m_exitRequested && !m_startRequested && !m_stopRequested && !frameDue) {
            if (m_pendingFrame.isNull()) {
                m_condition.wait(&m_mutex);
            } else {
                const auto wait = qint64(std::ceil((1.0 - credit) * double(m_frameDurationNs)));
                m_condition.wait(&m_mutex, QDeadlineTimer(std::chrono::nanoseconds(wait)));
            }
            continue;
        }

        const bool startRequested = std::exchange(m_startRequested, false);
        const bool stopRequested = std::exchange(m_stopRequested, false);
        const bool exitRequested = m_exitRequested;
        const StartParameters parameters = m_pending;
        QImage frame;
        const qint64 arrival = m_pendingArrivalNs;
        if (frameDue) {
            std::swap(frame, m_pendingFrame);
            if (m_writer) {
                m_credit = std::max(0.0, credit - 1.0);
                m_creditAtNs = nowNs;
            }
        }
        lock.unlock();

        if (startRequested)
            openFile(parameters);
        // A frame taken together with a stop request was handed over before it: it still
        // belongs to the file.
        if (!frame.isNull())
            writeTakenFrame(frame, arrival);
        if (stopRequested) {
            closeFile(true);
            lock.relock();
            m_stopAcknowledged = true;
            m_condition.wakeAll();
            lock.unlock();
        }
        if (exitRequested) {
            closeFile(true);
            return;
        }
        lock.relock();
    }
}

void VideoRecorder::openFile(const StartParameters &parameters)
{
    closeFile(false);
    const QSize size = parameters.size;
    m_nv12Input =
        size.width() % 2 == 0 && size.height() % 2 == 0 && qgetenv("QUORIX_REC_INPUT") != "rgb32";
    m_highDefinition = size.height() > 576;

    VideoFileWriter::Options options;
    options.path = parameters.path;
    options.size = size;
    options.fps = parameters.fps;
    options.highDefinition = m_highDefinition;
    if (!parameters.preset.isEmpty())
        options.preset = parameters.preset;
    options.input = m_nv12Input ? VideoFileWriter::Input::Nv12 : VideoFileWriter::Input::Rgb32;

    auto writer = std::make_unique<VideoFileWriter>();
    QString message;
    VideoFileWriter::OpenResult result = writer->open(options, &message);
    if (result == VideoFileWriter::OpenResult::Nv12Rejected) {
        qWarning() << "NV12 输入未被编码器接受，回退 RGB32 输入";
        m_nv12Input = false;
        options.input = VideoFileWriter::Input::Rgb32;
        result = writer->open(options, &message);
    }
    if (result != VideoFileWriter::OpenResult::Ok) {
        qWarning().noquote() << "VideoRecorder::openFile" << parameters.path << message;
        emit error(message.isEmpty() ? tr("无法创建视频文件") : message);
        return;
    }

    m_writer = std::move(writer);
    m_filePath = parameters.path;
    m_frameSize = size;
    m_fps = parameters.fps;
    m_frameDurationNs = 1000000000LL / m_fps;
    m_firstArrivalNs = -1;
    m_credit = 1.0;
    m_creditAtNs = now();
    qInfo().noquote() << QStringLiteral("VideoRecorder::openFile %1 %2x%3 %4 fps, %5 input, %6")
                             .arg(m_filePath)
                             .arg(size.width())
                             .arg(size.height())
                             .arg(m_fps)
                             .arg(m_nv12Input ? "NV12" : "RGB32")
                             .arg(m_highDefinition ? "BT.709" : "BT.601");
}

void VideoRecorder::writeTakenFrame(const QImage &frame, qint64 arrivalNs)
{
    if (!m_writer || frame.size() != m_frameSize)
        return;
    if (m_firstArrivalNs < 0)
        m_firstArrivalNs = arrivalNs;
    // Frames carry the time they were handed over, relative to the first frame of the file, so
    // that encoder delays do not shift them.
    const qint64 time100ns = (arrivalNs - m_firstArrivalNs) / 100;
    const QString stamp = TimeStamp::text(QDateTime::currentDateTime());

    QString message;
    bool written;
    if (m_nv12Input) {
        const QImage::Format format = frame.format();
        const QImage image = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                                     format == QImage::Format_Grayscale8
                                 ? frame
                                 : frame.convertToFormat(QImage::Format_RGB32);
        Nv12::Planes planes;
        written = m_writer->nv12Planes(&planes, &message);
        if (written) {
            if (image.format() == QImage::Format_Grayscale8)
                Nv12::fromGrey(image, planes);
            else
                Nv12::fromRgb32(image, planes, m_highDefinition ? Nv12::kBt709 : Nv12::kBt601);
            TimeStamp::blend(planes, stamp);
            written = m_writer->writeNv12(time100ns, &message);
        }
    } else {
        QImage image = frame.convertToFormat(QImage::Format_RGB32);
        TimeStamp::paint(image, stamp);
        written = m_writer->writeRgb32(image, time100ns, &message);
    }
    if (!written) {
        reportWriteFailure(message);
        return;
    }
}

double VideoRecorder::pacingCredit(qint64 nowNs) const
{
    // One frame of credit accrues per frame duration, up to a little more than one frame: a
    // frame that comes early by camera jitter waits for its turn, a late one lets the next
    // catch up by at most half a frame, and the rate never exceeds fps for long.
    constexpr double kMaxCredit = 1.5;
    return std::min(kMaxCredit,
                    m_credit + double(nowNs - m_creditAtNs) / double(m_frameDurationNs));
}

void VideoRecorder::reportWriteFailure(const QString &message)
{
    // One report per recording: the file is closed (keeping what was written), and later frames
    // are dropped until stop().
    qWarning().noquote() << "VideoRecorder::writeFrame" << m_filePath << message;
    closeFile(false);
    emit error(message);
}

void VideoRecorder::closeFile(bool announce)
{
    if (!m_writer)
        return;
    QString warning;
    if (!m_writer->close(&warning))
        qWarning().noquote() << "Finalize failed:" << warning;
    m_writer.reset();
    if (announce)
        emit recordingStopped(m_filePath);
}
