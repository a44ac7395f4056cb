#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
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

bool factoryReset(QWidget *parent)
{
    const QString title = QCoreApplication::translate("SettingsStore", "恢复出厂设置");
    const auto answer = QMessageBox::question(
        parent, title,
        QCoreApplication::translate("SettingsStore",
                                    "确定要恢复出厂设置吗？所有自定义配置将被清除。"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return false;
    clearAll();
    QMessageBox::information(
        parent, title,
        QCoreApplication::translate("SettingsStore", "已恢复默认设置，请重启软件生效。"),
        QMessageBox::Ok);
    return true;
}

} // namespace SettingsStore
