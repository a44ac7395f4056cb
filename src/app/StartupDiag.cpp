#include "app/StartupDiag.h"

#include "app/Logger.h"

#include <QDir>
#include <QFile>

#include <climits>
#include <cstdio>
#include <string>
#include <unistd.h>

static std::string executableFolder()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0)
        return ".";
    const std::string exe(path, size_t(n));
    const size_t slash = exe.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return exe.substr(0, slash);
}

// The trace in the user's folder, beside the fallback log folder, for a program folder that the
// user may not write (an installed program under /opt).
static std::string fallbackFile()
{
    const QString folder = Logger::defaultFallbackBase() + QStringLiteral("/Quorix");
    QDir().mkpath(folder);
    return QFile::encodeName(folder + QStringLiteral("/startup_diag.txt")).toStdString();
}

void startupDiag(const char *text)
{
    // The file is chosen once, so that one start's lines stay together.
    static std::string file = executableFolder() + "/startup_diag.txt";
    static bool fellBack = false;
    FILE *out = std::fopen(file.c_str(), "a");
    if (!out && !fellBack) {
        fellBack = true;
        file = fallbackFile();
        out = std::fopen(file.c_str(), "a");
    }
    if (!out)
        return;
    std::fputs(text, out);
    std::fputc('\n', out);
    std::fflush(out);
    std::fclose(out);
}
