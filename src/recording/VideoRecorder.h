// VideoRecorder.h: records camera frames with a time stamp into an H.264 file on its own thread.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>
#include <QWaitCondition>

#include <functional>
#include <memory>
#include <thread>

class VideoFileWriter;

// The caller hands over frames; a worker thread of the recorder opens the file, converts each
// frame (to NV12 with our own parallel conversion, or to 4:2:0 through libswscale when NV12 is
// not possible or "QUORIX_REC_INPUT" is "rgb32"), stamps the local date and time into its
// top-left corner and encodes it. Only the newest frame waits for the worker: a slow encoder
// drops frames instead of queueing them, and the worker writes at most fps frames per second.
//
// Signals are emitted on the worker thread (the start validation error on the caller's); connect
// them with a receiver object of the caller's thread so that they arrive queued. A receiver
// called directly on the worker must not call start() or stop().
class VideoRecorder : public QObject
{
    Q_OBJECT

public:
    // Nanoseconds of a monotonic clock, by which frames are paced and time-stamped.
    using Clock = std::function<qint64()>;

    // Starts the worker. Caller's thread.
    explicit VideoRecorder(QObject *parent = nullptr);
    // Reads `clock` instead of the steady clock, on the caller's thread for a frame's arrival and
    // on the worker for pacing: tests hand frames over at exact times.
    VideoRecorder(QObject *parent, Clock clock);
    // Stops a running recording (finishing its file), then ends the worker. Caller's thread.
    ~VideoRecorder() override;

    // Asks the worker to open `path` (container by its extension) for frames of `size` at `fps`
    // frames per second, stopping a running recording first. An empty size or fps below 1 emits
    // error() and changes nothing, not even a running recording. A file that cannot be opened is
    // reported with error() from the worker; the recorder then stays recording without a file,
    // dropping frames, until stop(), which announces nothing. A failed write is reported once and
    // closes the file, keeping what was written. Caller's thread.
    void start(const QString &path, const QSize &size, int fps);
    // Finishes the file and returns once the worker has closed it; recordingStopped() follows
    // when a file was open. Does nothing when not recording. Caller's thread.
    void stop();
    // True from start() until stop() returns. Any thread.
    bool isRecording() const;
    // True while a handed-over frame waits for the worker to take it. Any thread.
    bool hasWaitingFrame() const;
    // The x264 preset of the files started from now on (VideoFileWriter::kDefaultPreset unless
    // set); the benchmark compares presets with it. Caller's thread.
    void setEncoderPreset(const QByteArray &preset);

public slots:
    // Hands a frame to the worker, replacing one it has not taken yet. Ignored unless recording
    // and the frame has the size given to start(). Any thread (the camera's decode thread).
    void writeFrame(const QImage &frame);

signals:
    void recordingStopped(const QString &filePath);
    void error(const QString &message);

private:
    struct StartParameters
    {
        QString path;
        QSize size;
        int fps = 30;
        QByteArray preset;
    };

    void run();
    void openFile(const StartParameters &parameters);
    void writeTakenFrame(const QImage &frame, qint64 arrivalNs);
    void closeFile(bool announce);
    double pacingCredit(qint64 nowNs) const;
    void reportWriteFailure(const QString &message);

    qint64 now() const;

    QElapsedTimer m_steadyClock; // started by the constructor; read by every thread
    const Clock m_clock;         // replaces m_steadyClock when set

    // Worker thread only.
    std::unique_ptr<VideoFileWriter> m_writer;
    bool m_nv12Input = false;
    bool m_highDefinition = true;
    QString m_filePath;
    QSize m_frameSize;
    int m_fps = 30;
    qint64 m_frameDurationNs = 0;
    qint64 m_firstArrivalNs = -1; // arrival of the first written frame: time zero of the file
    double m_credit = 1.0;        // pacing: frames that may be written now
    qint64 m_creditAtNs = 0;      // when m_credit was last brought up to date

    mutable QMutex m_mutex; // guards every field below
    QWaitCondition m_condition;
    bool m_exitRequested = false;
    bool m_startRequested = false;
    bool m_stopRequested = false;
    bool m_stopAcknowledged = false;
    StartParameters m_pending;
    QByteArray m_preset;
    QImage m_pendingFrame;
    qint64 m_pendingArrivalNs = 0;
    bool m_recording = false;

    std::thread m_worker; // last: starts once every field above exists
};
