// Logger.h: the process-wide daily log file that every Qt diagnostic message goes to.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <cstdio>
#include <functional>
#include <mutex>

// One line per message: "[LEVEL] HH:mm:ss.zzz  text", flushed at once so that the file is
// complete up to the last message after a crash. The file is <program folder>/log/<name>_<date>.log
// and rolls over with the first message after local midnight. Every thread may call log().
class Logger
{
public:
    enum Level { Debug = 0, Info = 1, Warn = 2, Error = 3 };

    struct Options
    {
        QString executablePath;                // the log folder and file name derive from it
        std::function<QDateTime()> clock;      // local time; the system clock when empty
        std::function<QString()> fallbackBase; // folder below which "Quorix/log" is the fallback
        FILE *echo = stdout;                   // console echo of every line; nullptr for none
    };

    // The instance of the running program, created on first use.
    static Logger &instance();

    explicit Logger(Options options);
    Logger(const Logger &) = delete;
    Logger &operator=(const Logger &) = delete;

    // Writes one line with the given level (0 to 3) and UTF-8 text, then echoes it.
    void log(int level, const QByteArray &text);

    // The file that is (or was last tried to be) open, and its folder.
    QString currentPath() const;
    QString logDir() const;

    // "[DEBUG] 09:05:01.042  text" without the line break.
    static QByteArray formatLine(int level, const QDateTime &time, const QByteArray &text);
    // The five-character level name, or an empty array for an unknown level.
    static QByteArray levelName(int level);
    // The user's folder below which "Quorix" holds what cannot go beside the program: the generic
    // data location, else the temporary-files location. Usable before QCoreApplication exists.
    static QString defaultFallbackBase();

private:
    QDateTime now() const;
    QString pathFor(const QDate &date) const;
    void useFallbackDir();
    void openLogFile(const QDate &date);

    const Options m_options;
    const QString m_appName;
    mutable std::mutex m_mutex; // guards every member below and the order of lines
    QFile m_file;
    QString m_logDir;
    QString m_currentPath;
    QDate m_currentDate; // the date of m_currentPath
};
