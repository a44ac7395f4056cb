// CalibrationData.cpp: unit conversion, settings persistence and magnification files.
#include "calibration/CalibrationData.h"

#include "settings/SettingsKeys.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>

#include <algorithm>
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
    m_indexBeforeTemporary = -1;
    m_unitBeforeTemporary.clear();
    emit magnificationListChanged();
    emit currentMagnificationChanged();
}

QList<CalibrationData::Magnification> CalibrationData::magnifications() const
{
    QList<Magnification> list = m_magnifications;
    for (Magnification &entry : list)
        entry = named(entry);
    return list;
}

CalibrationData::Magnification CalibrationData::named(Magnification entry)
{
    if (entry.temporary)
        entry.name = tr("图像自带标定 %1").arg(pixelSizeText(entry.resolution));
    return entry;
}

CalibrationData::Magnification CalibrationData::currentMagnification() const
{
    if (m_currentIndex >= 0 && m_currentIndex < m_magnifications.size())
        return named(m_magnifications[m_currentIndex]);
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

bool CalibrationData::offerPictureCalibration(double pixelsPerMetre)
{
    if (!std::isfinite(pixelsPerMetre) || !(pixelsPerMetre > 0.0))
        return false;
    discardTemporary();
    m_indexBeforeTemporary = m_currentIndex;
    m_magnifications.append({QString(), pixelsPerMetre, true});
    emit magnificationListChanged();
    setCurrentIndex(m_magnifications.size() - 1);
    if (m_currentUnit == QLatin1String("px")) {
        m_unitBeforeTemporary = m_currentUnit;
        setCurrentUnit(QStringLiteral("μm"));
    }
    return true;
}

int CalibrationData::temporaryIndex() const
{
    for (int i = 0; i < m_magnifications.size(); ++i) {
        if (m_magnifications[i].temporary)
            return i;
    }
    return -1;
}

bool CalibrationData::keepTemporary(const QString &name)
{
    const int index = temporaryIndex();
    const QString kept = name.trimmed();
    if (index < 0 || kept.isEmpty())
        return false;
    for (int i = 0; i < m_magnifications.size(); ++i) {
        if (i != index && m_magnifications[i].name == kept)
            return false;
    }
    m_magnifications[index].name = kept;
    m_magnifications[index].temporary = false;
    m_indexBeforeTemporary = -1;
    m_unitBeforeTemporary.clear();
    emit magnificationListChanged();
    if (index == m_currentIndex)
        emit currentMagnificationChanged();
    saveToSettings();
    return true;
}

void CalibrationData::discardTemporary()
{
    const int index = temporaryIndex();
    if (index < 0)
        return;
    const bool wasCurrent = index == m_currentIndex;
    const int before = m_indexBeforeTemporary;
    const QString unitBefore = m_unitBeforeTemporary;
    m_indexBeforeTemporary = -1;
    m_unitBeforeTemporary.clear();
    m_magnifications.removeAt(index);
    if (m_currentIndex > index)
        --m_currentIndex;
    else if (wasCurrent)
        m_currentIndex = before >= 0 && before < m_magnifications.size() ? before : -1;
    emit magnificationListChanged();
    if (wasCurrent) {
        emit currentMagnificationChanged();
        if (!unitBefore.isEmpty() && m_currentUnit == QStringLiteral("μm"))
            setCurrentUnit(unitBefore);
    }
}

QString CalibrationData::pixelSizeText(double pixelsPerMetre)
{
    const double micrometres = 1e6 / pixelsPerMetre;
    const bool millimetres = micrometres >= 1000.0;
    const double value = millimetres ? micrometres / 1000.0 : micrometres;
    const int decimals = std::max(0, 3 - int(std::floor(std::log10(value))));
    return QStringLiteral("%1 %2/px")
        .arg(QString::number(value, 'f', std::min(decimals, 9)),
             millimetres ? QStringLiteral("mm") : QStringLiteral("μm"));
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
    const int temporary = temporaryIndex();
    const Magnification kept = temporary >= 0 ? m_magnifications[temporary] : Magnification();
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
    // The picture's offer stays in the list, no longer current.
    m_indexBeforeTemporary = m_currentIndex;
    m_unitBeforeTemporary.clear();
    if (temporary >= 0)
        m_magnifications.append(kept);

    emit magnificationListChanged();
    emit currentMagnificationChanged();
    emit unitChanged();
}

void CalibrationData::saveToSettings() const
{
    QSettings settings;
    settings.remove(SettingsKeys::kMagnifications);
    const int temporary = temporaryIndex();
    settings.beginWriteArray(SettingsKeys::kMagnifications,
                             m_magnifications.size() - (temporary >= 0 ? 1 : 0));
    int stored = 0;
    for (const Magnification &entry : m_magnifications) {
        if (entry.temporary)
            continue;
        settings.setArrayIndex(stored++);
        settings.setValue(SettingsKeys::kMagnificationName, entry.name);
        settings.setValue(SettingsKeys::kMagnificationResolution, entry.resolution);
    }
    settings.endArray();
    // Stored indices count the stored entries only; in the temporary entry's place goes the
    // entry that was current before it.
    int current = m_currentIndex;
    if (temporary >= 0 && current == temporary)
        current = m_indexBeforeTemporary;
    if (temporary >= 0 && current > temporary)
        --current;
    settings.setValue(SettingsKeys::kCalibrationCurrentIndex, current);
    settings.setValue(SettingsKeys::kCalibrationCurrentUnit, m_currentUnit);
}

bool CalibrationData::exportToFile(const QString &path) const
{
    QJsonArray list;
    for (const Magnification &entry : m_magnifications) {
        if (entry.temporary)
            continue;
        QJsonObject o;
        o["name"] = entry.name;
        o["resolution"] = entry.resolution;
        list.append(o);
    }
    QJsonObject root;
    root["version"] = 1;
    root["magnifications"] = list;

    // Written beside the target and renamed over it: a failed write leaves an existing file as
    // it was. Unbuffered, because a buffered write that the disk cuts short is flushed by
    // commit() without an error.
    QSaveFile file(path);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.commit()) {
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
    m_indexBeforeTemporary = -1;
    m_unitBeforeTemporary.clear();
    emit magnificationListChanged();
    emit currentMagnificationChanged();
    return true;
}
