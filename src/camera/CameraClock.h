// CameraClock.h: the steady clock behind the camera's rate logs and full-resolution sampling.
#pragma once

#include <QtGlobal>

namespace CameraClock {

// Microseconds of a steady clock, never 0. Any thread.
qint64 nowMicroseconds();

// Replaces the clock with `source` (nullptr restores the steady clock), so that tests can hand
// packets over at exact times. Set it while no camera streams. Any thread.
using Source = qint64 (*)();
void setSource(Source source);

} // namespace CameraClock
