// TestEnv.h: gives a test process its own home, data and config folders, never the user's.
#pragma once

#include <QJsonArray>
#include <QString>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace TestEnv {

// Points HOME and the XDG data, config and cache folders at a fresh temporary folder and resets
// the settings store to INI below it. Call first in initTestCase (or before QApplication).
// Returns the temporary root; it lives until the process ends.
QString isolate();

// The folder of the source tree and of the built program (build/bin), from the environment CTest
// passes to every test.
QString sourceDir();
QString binDir();

// Runs the event loop until a timer of `ms` milliseconds started now has fired. Timers of up to
// 20 ms are precise and fire in the order they fall due, so every such timer started before with
// an interval up to `ms` has fired too (e.g. the canvas's deferred shape deletions), however
// slow the machine. `ms` must be at most 20.
void runTimersStartedBefore(int ms);

// The rows of a CSV file as Python's csv module reads it (utf-8-sig): an independent judge of
// the files we write. An empty array when the file cannot be read.
QJsonArray readCsvWithPython(const QString &path);

// While it lives, files this process writes cannot grow past `bytes` (a write beyond fails with
// EFBIG instead of raising SIGXFSZ): a disk that fills up in the middle of a write.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_previous{};
};

} // namespace TestEnv
