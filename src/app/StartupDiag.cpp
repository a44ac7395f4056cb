#include "app/StartupDiag.h"

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

void startupDiag(const char *text)
{
    static const std::string file = executableFolder() + "/startup_diag.txt";
    FILE *out = std::fopen(file.c_str(), "a");
    if (!out)
        return;
    std::fputs(text, out);
    std::fputc('\n', out);
    std::fflush(out);
    std::fclose(out);
}
