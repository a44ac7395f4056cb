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
        // Offered from the pixel size an opened picture carries: listed and used like any other
        // entry, but neither saved in the settings nor exported until the user keeps it.
        bool temporary = false;
    };

    explicit CalibrationData(QObject *parent = nullptr);

    void addMagnification(const Magnification &entry);
    void setMagnification(int index, const Magnification &entry);
    void clear();

    int count() const { return m_magnifications.size(); }
    // A temporary entry is named in the current language ("图像自带标定 1.000 μm/px").
    QList<Magnification> magnifications() const;
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

    // The pixel size of an opened picture as the one temporary entry, appended and made current
    // (an earlier temporary entry goes first, as discardTemporary() does). With the unit "px"
    // the unit becomes "μm", so that lengths show the calibration. False, changing nothing, for
    // a resolution that is not a finite number above 0.
    bool offerPictureCalibration(double pixelsPerMetre);
    // The index of the temporary entry, or -1.
    int temporaryIndex() const;
    // Makes the temporary entry a normal one named `name` (trimmed) and saves the settings;
    // false when there is none, or the name is empty or taken by another entry.
    bool keepTemporary(const QString &name);
    // Removes the temporary entry. When it was current, the entry and the unit current before
    // the offer come back (the unit only when the offer changed it and it was not changed since).
    void discardTemporary();
    // A pixel size for names: micrometres with four significant digits ("1.000 μm/px",
    // "0.4000 μm/px"), millimetres from 1 mm on ("1.250 mm/px").
    static QString pixelSizeText(double pixelsPerMetre);

    // The pixel length in the current unit; unchanged when the unit is px or not calibrated.
    double convertPixelLength(double px) const;

    // The temporary entry is not stored: loading keeps it (not current), saving leaves it out
    // and stores the entry current before it in its place.
    void loadFromSettings();
    void saveToSettings() const;

    // A ".magn" file: {"version": 1, "magnifications": [{"name", "resolution"}...]}, without the
    // temporary entry.
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
    // `entry` with its name, which a temporary entry takes from the language in use.
    static Magnification named(Magnification entry);

    QList<Magnification> m_magnifications; // the temporary entry's name is left empty
    int m_currentIndex = -1;
    QString m_currentUnit = QStringLiteral("px");
    // What was current before the temporary entry was offered.
    int m_indexBeforeTemporary = -1;
    QString m_unitBeforeTemporary; // empty unless the offer changed the unit
};
