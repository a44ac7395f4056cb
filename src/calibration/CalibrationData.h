// CalibrationData.h: named magnifications (pixels per metre), the current one and the display unit.
#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// The one calibration model: converts pixel lengths into the current unit, persists itself in the
// settings and reads and writes ".magn" files. GUI thread.
class CalibrationData : public QObject
{
    Q_OBJECT

public:
    struct Magnification
    {
        QString name;
        double resolution = 0.0; // pixels per metre; 0 = not calibrated
    };

    explicit CalibrationData(QObject *parent = nullptr);

    void addMagnification(const Magnification &entry);
    void setMagnification(int index, const Magnification &entry);
    void clear();

    int count() const { return m_magnifications.size(); }
    QList<Magnification> magnifications() const { return m_magnifications; }
    int currentIndex() const { return m_currentIndex; }
    // The current entry, or ("未定义", 0.0) when there is none.
    Magnification currentMagnification() const;
    // A current entry exists and its resolution is above 0.
    bool isCalibrated() const;
    void setCurrentIndex(int index);

    QString currentUnit() const { return m_currentUnit; }
    // Accepts only one of unitCodes() (case-sensitive).
    void setCurrentUnit(const QString &code);
    static QStringList unitCodes();
    static QStringList unitDisplayNames();
    // Metres per unit; 0 for "px" and unknown codes.
    static double metresPerUnit(const QString &code);

    // The pixel length in the current unit; unchanged when the unit is px or not calibrated.
    double convertPixelLength(double px) const;

    void loadFromSettings();
    void saveToSettings() const;

    // A ".magn" file: {"version": 1, "magnifications": [{"name", "resolution"}...]}.
    bool exportToFile(const QString &path) const;
    // Replaces the list by the file's entries and makes the first current. A file that cannot be
    // read, is larger than kMaxFileSize, is not a JSON object, or holds an entry with an empty or
    // repeated name or a resolution that is not a finite number of at least 0 (0 = not
    // calibrated) changes nothing; `error` then says why, naming the entry.
    bool importFromFile(const QString &path, QString *error = nullptr);
    static constexpr qint64 kMaxFileSize = 1024 * 1024;

signals:
    void magnificationListChanged();
    void currentMagnificationChanged();
    void unitChanged();

private:
    QList<Magnification> m_magnifications;
    int m_currentIndex = -1;
    QString m_currentUnit = QStringLiteral("px");
};
