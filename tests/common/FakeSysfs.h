// FakeSysfs.h: builds the sysfs entries of video devices in a temporary folder, laid out as
// Linux lays them out, for the code that reads camera identities.
#pragma once

#include <QString>

namespace FakeSysfs {

// Adds a UVC camera below `root`: the USB device at `port` ("1-2.3": bus 1, port chain 2.3) on
// the first host controller, with idVendor, idProduct, busnum, devpath and (when not empty)
// serial; its interface "<port>:1.0" holds video4linux/<node>, linked from
// class/video4linux/<node> and linking back through its "device" entry. Returns the USB device's
// folder.
QString addUsbCamera(const QString &root, const QString &node, const QString &port,
                     const QString &vendor, const QString &product, const QString &serial);
// Adds a video node whose device is not on USB, at `devicePath` below devices/
// (e.g. "platform/soc/fe801000.csi").
void addPlatformCamera(const QString &root, const QString &node, const QString &devicePath);
// Writes (or, for a null value, removes) one attribute file.
void writeAttribute(const QString &path, const QString &value);

} // namespace FakeSysfs
