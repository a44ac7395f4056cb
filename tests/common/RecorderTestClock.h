// RecorderTestClock.h: a recorder clock that a test moves by hand, seen alike by both threads.
#pragma once

#include <QtGlobal>

#include <atomic>
#include <functional>
#include <thread>

// The feeding (test) thread reads `handed`, the time a frame is handed over at; the recorder's
// worker reads `seen` for its pacing. A test can so hand a frame over before the worker sees the
// time move, and a waiting frame is never taken at a moment it was not meant for, however the
// threads are scheduled. Constructed on the feeding thread.
struct RecorderTestClock
{
    std::atomic<qint64> handed{0};
    std::atomic<qint64> seen{0};
    const std::thread::id feeder = std::this_thread::get_id();

    void set(qint64 ns)
    {
        handed = ns;
        seen = ns;
    }
    std::function<qint64()> clock()
    {
        return [this]() -> qint64 {
            return std::this_thread::get_id() == feeder ? handed.load() : seen.load();
        };
    }
};
