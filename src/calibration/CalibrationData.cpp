// CalibrationData.cpp: unit conversion, settings persistence and magnification files.
#include "calibration/CalibrationData.h"

#include "settings/SettingsKeys.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <cmath>

CalibrationData::CalibrationData(QObject *parent)
    : QObject(parent)
{}

void CalibrationData::addMagnification(const Magnification &entry)
{
    m_magnifications.append(entry);
    emit magnificationListChanged();
}

void CalibrationData::setMagnification(int index, const Magnification &entry)
{
    if (index < 0 || index >= m_magnifications.size())
        return;
    m_magnifications[index] = entry;
    emit magnificationListChanged();
    if (index == m_currentIndex)
        emit currentMagnificationChanged();
}

void CalibrationData::clear()
{
    m_magnifications.clear();
    m_currentIndex = -1;
    emit magnificationListChanged();
    emit currentMagnificationChanged();
}

CalibrationData::Magnification CalibrationData::currentMagnification() const
{
    if (m_currentIndex >= 0 && m_currentIndex < m_magnifications.size())
        return m_magnifications[m_currentIndex];
    return {tr("未定义"), 0.0};
}

bool CalibrationData::isCalibrated() const
{
    return m_currentIndex >= 0 && m_currentIndex < m_magnifications.size() &&
           m_magnifications[m_currentIndex].resolution > 0.0;
}

void CalibrationData::setCurrentIndex(int index)
{
    if (index < -1 || index >= m_magnifications.size() || index == m_currentIndex)
        return;
    m_currentIndex = index;
    emit currentMagnificationChanged();
}

void CalibrationData::setCurrentUnit(const QString &code)
{
    if (code == m_currentUnit || !unitCodes().contains(code))
        return;
    m_currentUnit = code;
    emit unitChanged();
}

QStringList CalibrationData::unitCodes()
{
    return {QStringLiteral("px"), QStringLiteral("μm"), QStringLiteral("mm"), QStringLiteral("cm"),
            QStringLiteral("m")};
}

QStringList CalibrationData::unitDisplayNames()
{
    return {tr("px (像素)"), tr("μm (微米)"), tr("mm (毫米)"), tr("cm (厘米)"), tr("m (米)")};
}

double CalibrationData::metresPerUnit(const QString &code)
{
    if (code == QLatin1String("m"))
        return 1.0;
    if (code == QLatin1String("cm"))
        return 0.01;
    if (code == QLatin1String("mm"))
        return 0.001;
    if (code == QStringLiteral("μm"))
        return 1e-6;
    return 0.0;
}

double CalibrationData::convertPixelLength(double px) const
{
    if (m_currentUnit == QLatin1String("px") || !isCalibrated())
        return px;
    const double f = metresPerUnit(m_currentUnit);
    if (!(f > 0.0))
        return px;
    return px / m_magnifications[m_currentIndex].resolution / f;
}

void CalibrationData::loadFromSettings()
{
    QSettings settings;
    m_magnifications.clear();
    const int size = settings.beginReadArray(SettingsKeys::kMagnifications);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        Magnification entry;
        entry.name = settings.value(SettingsKeys::kMagnificationName).toString();
        entry.resolution = settings.value(SettingsKeys::kMagnificationResolution, 0.0).toDouble();
        m_magnifications.append(entry);
    }
    settings.endArray();

    m_currentIndex = -1;
    if (!m_magnifications.isEmpty()) {
        const int index = settings
                              .value(SettingsKeys::kCalibrationCurrentIndex,
                                     SettingsKeys::kCalibrationCurrentIndexDefault)
                              .toInt();
        // An index from an older, longer list (or a hand-edited file) must not point past the end.
        m_currentIndex = (index >= 0 && index < m_magnifications.size()) ? index : -1;
    }
    const QString unit = settings
                             .value(SettingsKeys::kCalibrationCurrentUnit,
                                    SettingsKeys::kCalibrationCurrentUnitDefault)
                             .toString();
    m_currentUnit = unitCodes().contains(unit) ? unit : QStringLiteral("px");

    emit magnificationListChanged();
    emit currentMagnificationChanged();
    emit unitChanged();
}

void CalibrationData::saveToSettings() const
{
    QSettings settings;
    settings.remove(SettingsKeys::kMagnifications);
    settings.beginWriteArray(SettingsKeys::kMagnifications, m_magnifications.size());
    for (int i = 0; i < m_magnifications.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(SettingsKeys::kMagnificationName, m_magnifications[i].name);
        settings.setValue(SettingsKeys::kMagnificationResolution, m_magnifications[i].resolution);
    }
    settings.endArray();
    settings.setValue(SettingsKeys::kCalibrationCurrentIndex, m_currentIndex);
    settings.setValue(SettingsKeys::kCalibrationCurrentUnit, m_currentUnit);
}

bool CalibrationData::exportToFile(const QString &path) const
{
    QJsonArray list;
    for (const Magnification &entry : m_magnifications) {
        QJsonObject o;
        o["name"] = entry.name;
        o["resolution"] = entry.resolution;
        list.append(o);
    }
    QJsonObject root;
    root["version"] = 1;
    root["magnifications"] = list;

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qDebug() << "导出放大率文件失败:" << path;
        return false;
    }
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        qDebug() << "导出放大率文件失败:" << path;
        return false;
    }
    return true;
}

bool CalibrationData::importFromFile(const QString &path, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "导入放大率文件失败:" << path;
        return fail(tr("文件无法读取。"));
    }
    if (file.size() > kMaxFileSize)
        return fail(tr("文件过大（超过 1 MB），不是放大率文件。"));
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject())
        return fail(tr("文件内容不是放大率文件。"));

    const QJsonValue listValue = doc.object().value(QLatin1String("magnifications"));
    if (!listValue.isUndefined() && !listValue.isArray())
        return fail(tr("文件中的放大率列表格式错误。"));
    QList<Magnification> entries;
    const QJsonArray list = listValue.toArray();
    for (int i = 0; i < list.size(); ++i) {
        const QJsonObject o = list[i].toObject();
        const QString name = o.value(QLatin1String("name")).toString().trimmed();
        const QJsonValue resolution = o.value(QLatin1String("resolution"));
        if (!list[i].isObject() || name.isEmpty())
            return fail(tr("第 %1 项：放大倍率名称为空。").arg(i + 1));
        for (const Magnification &earlier : qAsConst(entries)) {
            if (earlier.name == name)
                return fail(tr("第 %1 项：放大倍率“%2”重复。").arg(i + 1).arg(name));
        }
        // A number outside the double range reads as infinite; text or null is no number.
        const double value = resolution.toDouble(-1.0);
        if (!resolution.isDouble() || !std::isfinite(value) || value < 0.0)
            return fail(tr("第 %1 项（%2）：分辨率不是有效的非负数值。").arg(i + 1).arg(name));
        entries.append({name, value});
    }

    m_magnifications = entries;
    m_currentIndex = m_magnifications.isEmpty() ? -1 : 0;
    emit magnificationListChanged();
    emit currentMagnificationChanged();
    return true;
}
