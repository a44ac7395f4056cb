// ThreadName.h: names the calling thread, so that top -H, perf and /proc/<pid>/task show which of
// the camera's threads spends the time.
#pragma once

#if defined(__linux__)
#include <pthread.h>
#endif

// The name is cut to 15 characters by the system.
inline void nameCurrentThread(const char *name)
{
#if defined(__linux__)
    pthread_setname_np(pthread_self(), name);
#else
    (void)name;
#endif
}
