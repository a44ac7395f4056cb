#include "camera/CameraClock.h"

#include <atomic>
#include <chrono>

namespace CameraClock {

namespace {

std::atomic<Source> g_source{nullptr};

} // namespace

qint64 nowMicroseconds()
{
    if (const Source source = g_source)
        return source();
    using namespace std::chrono;
    // Offset by one so that 0 can stand for "no time yet" in the rate logs.
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count() + 1;
}

void setSource(Source source)
{
    g_source = source;
}

} // namespace CameraClock
