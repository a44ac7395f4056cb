// StartupDiag.h: the start-up trace, one fixed line per completed start step.
#pragma once

// Appends `text` and a line break to "startup_diag.txt" in the folder of the executable,
// opening and closing the file on every call so that a hang or crash leaves the last completed
// step as the last line. A file that cannot be opened skips the entry. Main thread, before the
// event loop; usable before QApplication exists.
void startupDiag(const char *text);
