#include "FakeSysfs.h"

#include <QDir>
#include <QFile>

namespace FakeSysfs {

void writeAttribute(const QString &path, const QString &value)
{
    if (value.isNull()) {
        QFile::remove(path);
        return;
    }
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(value.toUtf8() + '\n');
}

// The node's own folder inside its device, and the links to it, as the kernel makes them.
static void addNode(const QString &root, const QString &node, const QString &deviceFolder)
{
    const QString nodeFolder = deviceFolder + QStringLiteral("/video4linux/") + node;
    QDir().mkpath(nodeFolder);
    QDir().mkpath(root + QStringLiteral("/class/video4linux"));
    QFile::remove(nodeFolder + QStringLiteral("/device"));
    QFile::link(QStringLiteral("../../"), nodeFolder + QStringLiteral("/device"));
    const QString classLink = root + QStringLiteral("/class/video4linux/") + node;
    QFile::remove(classLink);
    QFile::link(QDir(root + QStringLiteral("/class/video4linux")).relativeFilePath(nodeFolder),
                classLink);
}

QString addUsbCamera(const QString &root, const QString &node, const QString &port,
                     const QString &vendor, const QString &product, const QString &serial)
{
    const QString bus = port.section(QLatin1Char('-'), 0, 0);
    const QString hub = root + QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb") + bus;
    QDir().mkpath(hub);
    writeAttribute(hub + QStringLiteral("/idVendor"), QStringLiteral("1d6b")); // root hub
    writeAttribute(hub + QStringLiteral("/idProduct"), QStringLiteral("0002"));
    const QString device = hub + QLatin1Char('/') + port;
    QDir().mkpath(device);
    writeAttribute(device + QStringLiteral("/idVendor"), vendor);
    writeAttribute(device + QStringLiteral("/idProduct"), product);
    writeAttribute(device + QStringLiteral("/busnum"), bus);
    writeAttribute(device + QStringLiteral("/devpath"), port.section(QLatin1Char('-'), 1));
    writeAttribute(device + QStringLiteral("/serial"), serial.isEmpty() ? QString() : serial);
    const QString interface = device + QLatin1Char('/') + port + QStringLiteral(":1.0");
    QDir().mkpath(interface);
    writeAttribute(interface + QStringLiteral("/bInterfaceClass"), QStringLiteral("0e"));
    addNode(root, node, interface);
    return device;
}

void addPlatformCamera(const QString &root, const QString &node, const QString &devicePath)
{
    const QString device = root + QStringLiteral("/devices/") + devicePath;
    QDir().mkpath(device);
    addNode(root, node, device);
}

} // namespace FakeSysfs
