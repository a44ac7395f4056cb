#include "settings/SettingsStore.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include "settings/SettingsKeys.h"

namespace SettingsStore {

static QString iniPath()
{
    QSettings probe;
    return probe.fileName();
}

QString prepare()
{
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    const QString path = iniPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

bool migrateLegacySettings(QSettings *legacy)
{
    if (!legacy)
        return false;
    const QString path = iniPath();
    const bool due = legacy->contains(SettingsKeys::kExeTimestamp) && !QFileInfo::exists(path);
    if (due) {
        QSettings ini(path, QSettings::IniFormat);
        const QStringList keys = legacy->allKeys();
        for (const QString &key : keys)
            ini.setValue(key, legacy->value(key));
        ini.sync();
        qDebug() << "Migrated settings from registry to" << path;
    }
    legacy->clear();
    legacy->sync();
    return due;
}

void clearAll()
{
    QSettings settings;
    settings.clear();
    settings.sync();
}

} // namespace SettingsStore
