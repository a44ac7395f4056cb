#include "camera/V4l2Io.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// Reads a short sysfs attribute, trimmed; empty when missing.
QString readAttribute(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(file.readAll()).trimmed();
}

} // namespace

V4l2Io V4l2Io::system()
{
    V4l2Io io;
    io.open = [](const char *path, int flags) { return ::open(path, flags); };
    io.close = [](int fd) { return ::close(fd); };
    io.ioctl = [](int fd, unsigned long request, void *arg) {
        int rc;
        do {
            rc = ::ioctl(fd, request, arg);
        } while (rc == -1 && errno == EINTR);
        return rc;
    };
    io.mmap = [](void *addr, size_t length, int prot, int flags, int fd, off_t offset) {
        return ::mmap(addr, length, prot, flags, fd, offset);
    };
    io.munmap = [](void *addr, size_t length) { return ::munmap(addr, length); };
    io.poll = [](struct pollfd *fds, nfds_t count, int timeoutMs) {
        return ::poll(fds, count, timeoutMs);
    };
    io.listNodes = [] {
        QStringList nodes;
        const QStringList names =
            QDir(QStringLiteral("/dev")).entryList({QStringLiteral("video*")}, QDir::System);
        for (const QString &name : names) {
            bool numeric = false;
            name.mid(5).toInt(&numeric);
            if (numeric)
                nodes << QStringLiteral("/dev/") + name;
        }
        std::sort(nodes.begin(), nodes.end(), [](const QString &a, const QString &b) {
            return a.mid(10).toInt() < b.mid(10).toInt();
        });
        return nodes;
    };
    io.usbIds = [](const QString &node) {
        // /sys/class/video4linux/videoN/device is the USB interface; its parent holds the ids.
        const QString device =
            QFileInfo(
                QStringLiteral("/sys/class/video4linux/%1/device").arg(QFileInfo(node).fileName()))
                .canonicalFilePath();
        if (device.isEmpty())
            return QString();
        for (QString dir = device; dir.count(QLatin1Char('/')) > 2; dir = QFileInfo(dir).path()) {
            const QString vendor = readAttribute(dir + QStringLiteral("/idVendor"));
            const QString product = readAttribute(dir + QStringLiteral("/idProduct"));
            if (!vendor.isEmpty() && !product.isEmpty())
                return QStringLiteral("vid_%1&pid_%2").arg(vendor.toLower(), product.toLower());
        }
        return QString();
    };
    return io;
}
