// pack_template.cpp: packs an unpacked report template folder into its .docx or .xlsx file.
#include "report/ZipFolder.h"

#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <template folder> <output file>\n", argv[0]);
        return 2;
    }
    QString error;
    if (!zipDirectory(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), &error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
