#include "settings/CameraSettingsStore.h"

#include <QSettings>
#include <QUrl>

namespace CameraSettingsStore {

// The camera's group path. An identity is kept free of "/" by its reader; any that slipped in
// (or another character QSettings treats specially) is escaped so it cannot open a subgroup.
static QString groupOf(const QString &identity)
{
    return QLatin1String(kGroup) + QLatin1Char('/') +
           QString::fromLatin1(QUrl::toPercentEncoding(identity, QByteArrayLiteral("._:-")));
}

QVariantMap load(const QString &identity)
{
    QVariantMap values;
    if (identity.isEmpty())
        return values;
    QSettings settings;
    settings.beginGroup(groupOf(identity));
    for (const QString &name : settings.childKeys())
        values.insert(name, settings.value(name));
    return values;
}

void store(const QString &identity, const QString &name, const QVariant &value)
{
    if (identity.isEmpty())
        return;
    QSettings().setValue(groupOf(identity) + QLatin1Char('/') + name, value);
}

void forget(const QString &identity)
{
    if (identity.isEmpty())
        return;
    QSettings settings;
    settings.remove(groupOf(identity));
    settings.sync();
}

} // namespace CameraSettingsStore
