// LogCapture.h: keeps every log line of a test process so that tests can count what was logged.
#pragma once

#include <QString>

namespace LogCapture {

// Installs a message handler that keeps every message text. Messages may come from any thread.
void install();
// How many kept lines contain `text`.
int count(const QString &text);
// Forgets the kept lines.
void clear();

} // namespace LogCapture
