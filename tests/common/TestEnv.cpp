#include "TestEnv.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace TestEnv {

QString isolate()
{
    static QTemporaryDir root;
    const QString base = root.path();
    for (const char *dir : {"home", "data", "config", "cache"})
        QDir().mkpath(base + '/' + dir);
    qputenv("HOME", (base + "/home").toUtf8());
    qputenv("XDG_DATA_HOME", (base + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (base + "/config").toUtf8());
    qputenv("XDG_CACHE_HOME", (base + "/cache").toUtf8());
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return base;
}

QString sourceDir()
{
    return qEnvironmentVariable("QUORIX_SOURCE_DIR");
}

QString binDir()
{
    return qEnvironmentVariable("QUORIX_BIN_DIR");
}

} // namespace TestEnv
