// V4l2Io.h: the system calls of the V4L2 backend, gathered in one table so tests can script them.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <poll.h>
#include <sys/types.h>

// Each entry behaves like the system call of its name: -1 (or MAP_FAILED) and errno on failure.
struct V4l2Io
{
    std::function<int(const char *path, int flags)> open;
    std::function<int(int fd)> close;
    std::function<int(int fd, unsigned long request, void *arg)> ioctl;
    std::function<void *(void *addr, size_t length, int prot, int flags, int fd, off_t offset)>
        mmap;
    std::function<int(void *addr, size_t length)> munmap;
    std::function<int(struct pollfd *fds, nfds_t count, int timeoutMs)> poll;
    // The video device nodes present, "/dev/video0" first, in numeric order.
    std::function<QStringList()> listNodes;
    // "vid_046d&pid_085e" of the USB device behind a node, or empty when it has none.
    std::function<QString(const QString &node)> usbIds;
    // The identity of the physical camera behind a node (see SysfsCameraIdentity.h), or empty
    // when it is not known; may be left unset.
    std::function<QString(const QString &node)> identity;

    // The real system calls, /dev and sysfs.
    static V4l2Io system();
};
