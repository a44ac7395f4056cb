// SysfsCameraIdentity.h: tells physical cameras apart across replugs and restarts, from sysfs.
#pragma once

#include <QString>

// Reads the identity of the camera behind a video node from sysfs below a configurable root
// ("/sys" on a real machine; tests build a tree in a temporary folder).
//
// From <root>/class/video4linux/<node>/device (the USB interface of a UVC camera) it walks up to
// the first folder that has idVendor and idProduct: the USB device. The identity is then
//   "usb-<vid>-<pid>-sn-<serial>"          when the device has a non-empty serial attribute,
//   "usb-<vid>-<pid>-port-<bus>-<devpath>" otherwise (busnum and devpath attributes, the
//                                          device folder's name "1-2.3" when they are missing),
// so two cameras of one model keep apart by serial, or by the port they are plugged into.
// A node whose device has no USB parent is "sysfs-<device path below devices/>". Texts from the
// device are kept to letters, digits and "._:-"; anything else is written "%XX" (UTF-8), so an
// identity never holds "/" and can name a settings group.
class SysfsCameraIdentity
{
public:
    explicit SysfsCameraIdentity(const QString &sysfsRoot = QStringLiteral("/sys"));

    // The identity of the camera behind `node` ("/dev/video0" or "video0"); empty when sysfs
    // does not know the node.
    QString identityOf(const QString &node) const;
    // "vid_046d&pid_085e" of the USB device behind `node`, or empty when it has none.
    QString usbIdsOf(const QString &node) const;

private:
    struct UsbDevice
    {
        QString folder; // canonical path of the USB device's folder; empty when none
        QString vendor, product;
    };
    QString deviceFolder(const QString &node) const;
    UsbDevice usbDeviceOf(const QString &deviceFolder) const;

    QString m_root;
};
