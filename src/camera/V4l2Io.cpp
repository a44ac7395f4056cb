#include "camera/V4l2Io.h"

#include "camera/SysfsCameraIdentity.h"

#include <QDir>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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
    io.usbIds = [](const QString &node) { return SysfsCameraIdentity().usbIdsOf(node); };
    io.identity = [](const QString &node) { return SysfsCameraIdentity().identityOf(node); };
    return io;
}
