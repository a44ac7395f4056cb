// StartupDiag.h: the start-up trace, one fixed line per completed start step.
#pragma once

// Appends `text` and a line break to "startup_diag.txt" in the folder of the executable,
// opening and closing the file on every call so that a hang or crash leaves the last completed
// step as the last line. When that file cannot be opened (a program folder the user may not
// write), this and every later entry go to "Quorix/startup_diag.txt" below
// Logger::defaultFallbackBase(); an entry that can be written to neither file is skipped. Main
// thread, before the event loop; usable before QApplication exists.
void startupDiag(const char *text);
