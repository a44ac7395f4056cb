#include "camera/DeviceMonitor.h"

#include <QDebug>
#include <QSocketNotifier>
#include <QTimer>

#include <libudev.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

class UdevDeviceEventSource : public DeviceEventSource
{
public:
    UdevDeviceEventSource()
    {
        m_udev = udev_new();
        if (!m_udev) {
            qWarning().noquote()
                << "DeviceMonitor: udev_new failed; camera plugging is not followed";
            return;
        }
        m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
        if (!m_monitor ||
            udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "video4linux", nullptr) <
                0 ||
            udev_monitor_enable_receiving(m_monitor) < 0) {
            qWarning().noquote()
                << "DeviceMonitor: the udev monitor could not be set up; camera plugging is not "
                   "followed";
            return;
        }
        m_fd = udev_monitor_get_fd(m_monitor);
        // next() must never block the GUI thread.
        const int flags = fcntl(m_fd, F_GETFL);
        if (flags >= 0)
            fcntl(m_fd, F_SETFL, flags | O_NONBLOCK);
    }
    ~UdevDeviceEventSource() override
    {
        if (m_monitor)
            udev_monitor_unref(m_monitor);
        if (m_udev)
            udev_unref(m_udev);
    }
    int fd() const override { return m_fd; }
    bool next(Event *event) override
    {
        if (m_fd < 0)
            return false;
        udev_device *device = udev_monitor_receive_device(m_monitor);
        if (!device)
            return false;
        const char *action = udev_device_get_action(device);
        const char *node = udev_device_get_devnode(device);
        event->action = QString::fromUtf8(action ? action : "");
        event->node = QString::fromUtf8(node ? node : "");
        udev_device_unref(device);
        return true;
    }

private:
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    int m_fd = -1;
};

} // namespace

std::unique_ptr<DeviceEventSource> createUdevDeviceEventSource()
{
    return std::make_unique<UdevDeviceEventSource>();
}

PipeDeviceEventSource::PipeDeviceEventSource()
{
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        m_read = fds[0];
        m_write = fds[1];
    }
}

PipeDeviceEventSource::~PipeDeviceEventSource()
{
    if (m_read >= 0)
        ::close(m_read);
    if (m_write >= 0)
        ::close(m_write);
}

void PipeDeviceEventSource::post(const QString &action, const QString &node)
{
    // One line per event: "action node\n"; short writes to a pipe are atomic.
    const QByteArray line = (action + QLatin1Char(' ') + node + QLatin1Char('\n')).toUtf8();
    if (m_write < 0 || ::write(m_write, line.constData(), size_t(line.size())) != line.size())
        qWarning().noquote() << "PipeDeviceEventSource: event lost:" << action << node;
}

bool PipeDeviceEventSource::next(Event *event)
{
    QByteArray line;
    char c = 0;
    while (m_read >= 0 && ::read(m_read, &c, 1) == 1) {
        if (c == '\n') {
            const int space = line.indexOf(' ');
            event->action = QString::fromUtf8(line.left(space));
            event->node = QString::fromUtf8(line.mid(space + 1));
            return true;
        }
        line += c;
    }
    return false;
}

DeviceMonitor::DeviceMonitor(QObject *parent)
    : DeviceMonitor(createUdevDeviceEventSource(), parent)
{}

DeviceMonitor::DeviceMonitor(std::unique_ptr<DeviceEventSource> source, QObject *parent)
    : QObject(parent)
    , m_source(std::move(source))
{
    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, &DeviceMonitor::devicesChanged);
    if (m_source && m_source->fd() >= 0) {
        m_notifier = new QSocketNotifier(m_source->fd(), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &DeviceMonitor::readEvents);
    }
}

DeviceMonitor::~DeviceMonitor()
{
    delete m_notifier; // before the source closes the descriptor it watches
}

bool DeviceMonitor::isActive() const
{
    return m_notifier != nullptr;
}

void DeviceMonitor::readEvents()
{
    // Every waiting event is taken, so the notifier does not fire again for the same ones.
    DeviceEventSource::Event event;
    bool relevant = false;
    while (m_source->next(&event)) {
        qDebug().noquote() << "DeviceMonitor:" << event.action << event.node;
        relevant = relevant || event.action == QLatin1String("add") ||
                   event.action == QLatin1String("remove");
    }
    if (relevant)
        m_settle->start();
}
