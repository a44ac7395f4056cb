#include "camera/SysfsCameraIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

// Reads a short sysfs attribute, trimmed; empty when missing.
QString readAttribute(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.read(256)).trimmed();
}

// Keeps a device-supplied text safe as part of an identity: no "/" or control characters.
QString safePart(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, QByteArrayLiteral("._:-")));
}

} // namespace

SysfsCameraIdentity::SysfsCameraIdentity(const QString &sysfsRoot)
    : m_root(QDir(sysfsRoot).absolutePath())
{}

QString SysfsCameraIdentity::deviceFolder(const QString &node) const
{
    // /sys/class/video4linux/videoN/device links to the node's parent device: for a UVC camera
    // the USB interface ("1-2:1.0"), whose parent is the USB device.
    const QString name = QFileInfo(node).fileName();
    if (name.isEmpty())
        return QString();
    return QFileInfo(m_root + QStringLiteral("/class/video4linux/") + name +
                     QStringLiteral("/device"))
        .canonicalFilePath();
}

SysfsCameraIdentity::UsbDevice SysfsCameraIdentity::usbDeviceOf(const QString &folder) const
{
    // Walks up from the node's device, never above the sysfs root's devices folder.
    const QString top = QFileInfo(m_root + QStringLiteral("/devices")).canonicalFilePath();
    if (folder.isEmpty() || top.isEmpty())
        return {};
    for (QString dir = folder; dir.startsWith(top + QLatin1Char('/'));
         dir = QFileInfo(dir).path()) {
        const QString vendor = readAttribute(dir + QStringLiteral("/idVendor"));
        const QString product = readAttribute(dir + QStringLiteral("/idProduct"));
        if (!vendor.isEmpty() && !product.isEmpty())
            return {dir, vendor.toLower(), product.toLower()};
    }
    return {};
}

QString SysfsCameraIdentity::identityOf(const QString &node) const
{
    const QString folder = deviceFolder(node);
    if (folder.isEmpty())
        return QString();
    const UsbDevice usb = usbDeviceOf(folder);
    if (usb.folder.isEmpty()) {
        // Not a USB camera (e.g. a sensor on the board): its place in the device tree is stable.
        const QString top = QFileInfo(m_root + QStringLiteral("/devices")).canonicalFilePath();
        QString path = folder.startsWith(top + QLatin1Char('/')) ? folder.mid(top.size() + 1)
                                                                 : QFileInfo(folder).fileName();
        path.replace(QLatin1Char('/'), QLatin1Char('-'));
        return QStringLiteral("sysfs-") + safePart(path);
    }
    const QString model =
        QStringLiteral("usb-%1-%2").arg(safePart(usb.vendor), safePart(usb.product));
    const QString serial = readAttribute(usb.folder + QStringLiteral("/serial"));
    if (!serial.isEmpty())
        return model + QStringLiteral("-sn-") + safePart(serial);
    // Without a serial the port tells two cameras of one model apart: bus number and port chain.
    const QString bus = readAttribute(usb.folder + QStringLiteral("/busnum"));
    const QString devpath = readAttribute(usb.folder + QStringLiteral("/devpath"));
    const QString port = !bus.isEmpty() && !devpath.isEmpty() ? bus + QLatin1Char('-') + devpath
                                                              : QFileInfo(usb.folder).fileName();
    return model + QStringLiteral("-port-") + safePart(port);
}

QString SysfsCameraIdentity::usbIdsOf(const QString &node) const
{
    const UsbDevice usb = usbDeviceOf(deviceFolder(node));
    if (usb.folder.isEmpty())
        return QString();
    return QStringLiteral("vid_%1&pid_%2").arg(usb.vendor, usb.product);
}
