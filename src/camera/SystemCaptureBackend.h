// SystemCaptureBackend.h: the V4L2 cameras of this machine followed by the demo camera.
#pragma once

#include "camera/CaptureBackend.h"
#include "camera/DemoCameraBackend.h"
#include "camera/V4l2CaptureBackend.h"

// The demo camera is listed after the V4L2 devices when none is found; QUORIX_DEMO_CAMERA=1
// always lists it and QUORIX_DEMO_CAMERA=0 never does. Calls go to the backend of the open
// device.
class SystemCaptureBackend : public CaptureBackend
{
public:
    explicit SystemCaptureBackend(
        std::unique_ptr<V4l2CaptureBackend> v4l2 = std::make_unique<V4l2CaptureBackend>());

    QList<CaptureDeviceInfo> devices() override;
    int open(int index) override;
    void close() override;
    int modes(QList<CaptureMode> *modes) override;
    int setMode(const CaptureMode &mode) override;
    int currentMode(CaptureMode *mode) override;
    int start(BufferCallback callback) override;
    void stop() override;
    bool hasGroup(PropertyGroup group) override;
    int propertyRange(CameraProperty property, PropertyRange *range) override;
    int property(CameraProperty property, long *value, long *flags) override;
    int setProperty(CameraProperty property, long value, long flags) override;

private:
    std::unique_ptr<V4l2CaptureBackend> m_v4l2;
    DemoCameraBackend m_demo;
    int m_v4l2Count = -1; // V4L2 devices of the last list, -1 = not listed yet
    bool m_demoListed = false;
    CaptureBackend *m_active = nullptr; // the backend of the open device
};
