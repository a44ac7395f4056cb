#include "camera/VideoFrameYUV.h"

void VideoFrameYUV::registerMetaType()
{
    qRegisterMetaType<VideoFrameYUV>("VideoFrameYUV");
}
