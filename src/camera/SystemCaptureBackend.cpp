#include "camera/SystemCaptureBackend.h"

#include <cerrno>

std::unique_ptr<CaptureBackend> createSystemCaptureBackend()
{
    return std::make_unique<SystemCaptureBackend>();
}

SystemCaptureBackend::SystemCaptureBackend(std::unique_ptr<V4l2CaptureBackend> v4l2)
    : m_v4l2(std::move(v4l2))
{}

QList<CaptureDeviceInfo> SystemCaptureBackend::devices()
{
    QList<CaptureDeviceInfo> list = m_v4l2->devices();
    m_v4l2Count = list.size();
    const QByteArray demo = qgetenv("QUORIX_DEMO_CAMERA");
    m_demoListed = demo == "1" || (demo != "0" && list.isEmpty());
    if (m_demoListed) {
        for (CaptureDeviceInfo info : m_demo.devices()) {
            if (info.identity.isEmpty())
                info.identity = QStringLiteral("demo"); // the built-in camera has one identity
            list << info;
        }
    }
    return list;
}

int SystemCaptureBackend::open(int index)
{
    close();
    if (m_v4l2Count < 0)
        devices();
    CaptureBackend *backend = nullptr;
    int local = index;
    if (index >= 0 && index < m_v4l2Count) {
        backend = m_v4l2.get();
    } else if (m_demoListed && index == m_v4l2Count) {
        backend = &m_demo;
        local = 0;
    }
    if (!backend)
        return ENODEV;
    const int rc = backend->open(local);
    if (rc == 0)
        m_active = backend;
    return rc;
}

void SystemCaptureBackend::close()
{
    if (m_active)
        m_active->close();
    m_active = nullptr;
}

int SystemCaptureBackend::modes(QList<CaptureMode> *modes)
{
    return m_active ? m_active->modes(modes) : EBADF;
}

int SystemCaptureBackend::setMode(const CaptureMode &mode)
{
    return m_active ? m_active->setMode(mode) : EBADF;
}

int SystemCaptureBackend::currentMode(CaptureMode *mode)
{
    return m_active ? m_active->currentMode(mode) : EBADF;
}

int SystemCaptureBackend::start(BufferCallback callback)
{
    return m_active ? m_active->start(std::move(callback)) : EBADF;
}

void SystemCaptureBackend::stop()
{
    if (m_active)
        m_active->stop();
}

bool SystemCaptureBackend::hasGroup(PropertyGroup group)
{
    return m_active && m_active->hasGroup(group);
}

int SystemCaptureBackend::propertyRange(CameraProperty property, PropertyRange *range)
{
    return m_active ? m_active->propertyRange(property, range) : EBADF;
}

int SystemCaptureBackend::property(CameraProperty property, long *value, long *flags)
{
    return m_active ? m_active->property(property, value, flags) : EBADF;
}

int SystemCaptureBackend::setProperty(CameraProperty property, long value, long flags)
{
    return m_active ? m_active->setProperty(property, value, flags) : EBADF;
}
