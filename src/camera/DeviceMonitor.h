// DeviceMonitor.h: announces capture devices coming and going, one signal per burst of events.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;
class QTimer;

// A source of device events: a descriptor that becomes readable when events wait, and a way to
// take them. The system's source is a libudev monitor on the "video4linux" subsystem; tests use
// a pipe they write events into.
class DeviceEventSource
{
public:
    struct Event
    {
        QString action; // "add", "remove", "change", ...
        QString node;   // "/dev/video0", or empty
    };

    virtual ~DeviceEventSource() = default;
    // Readable while events wait; -1 when the source could not be set up.
    virtual int fd() const = 0;
    // Takes one waiting event; false when none waits (never blocks).
    virtual bool next(Event *event) = 0;
};

// The libudev monitor on "video4linux" (a source with fd() -1 when udev is not reachable).
std::unique_ptr<DeviceEventSource> createUdevDeviceEventSource();

// A source for tests: post() queues an event and makes the descriptor readable. Any thread.
class PipeDeviceEventSource : public DeviceEventSource
{
public:
    PipeDeviceEventSource();
    ~PipeDeviceEventSource() override;
    void post(const QString &action, const QString &node);
    int fd() const override { return m_read; }
    bool next(Event *event) override;

private:
    int m_read = -1;
    int m_write = -1;
};

// Reads the source through a QSocketNotifier on the thread it lives on (the GUI thread). A plug
// creates several nodes (capture and metadata) within a few milliseconds: every "add" or "remove"
// (re)starts a short settle timer, and devicesChanged() follows once when it runs out.
class DeviceMonitor : public QObject
{
    Q_OBJECT

public:
    // Time the events of one burst may lie apart.
    static constexpr int kSettleMs = 300;

    // Watches the system's video devices.
    explicit DeviceMonitor(QObject *parent = nullptr);
    // Watches `source` instead (tests).
    explicit DeviceMonitor(std::unique_ptr<DeviceEventSource> source, QObject *parent = nullptr);
    ~DeviceMonitor() override;

    // Whether events can arrive at all.
    bool isActive() const;

signals:
    void devicesChanged();

private:
    void readEvents();

    std::unique_ptr<DeviceEventSource> m_source;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_settle = nullptr;
};
