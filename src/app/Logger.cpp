#include "app/Logger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>

QString Logger::defaultFallbackBase()
{
    // The generic data location holds our settings folder too; unlike the application-data
    // location it does not depend on the application name, which may not be set yet when the
    // first message arrives, so the fallback logs stay in one place across starts.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    return base;
}

Logger &Logger::instance()
{
    static Logger logger(Options{QCoreApplication::applicationFilePath(), {}, {}, stdout});
    return logger;
}

Logger::Logger(Options options)
    : m_options(std::move(options))
    , m_appName([this] {
        const QString base = QFileInfo(m_options.executablePath).completeBaseName();
        return base.isEmpty() ? QStringLiteral("app") : base;
    }())
{
    const QString besideProgram = QFileInfo(m_options.executablePath).absolutePath() + "/log";
    if (QDir().mkpath(besideProgram) && QFileInfo(besideProgram).isDir())
        m_logDir = besideProgram;
    else
        useFallbackDir();
    openLogFile(now().date());
}

QDateTime Logger::now() const
{
    return m_options.clock ? m_options.clock() : QDateTime::currentDateTime();
}

QString Logger::pathFor(const QDate &date) const
{
    return m_logDir + '/' + m_appName + '_' + date.toString(QStringLiteral("yyyy-MM-dd")) + ".log";
}

void Logger::useFallbackDir()
{
    const QString base = m_options.fallbackBase ? m_options.fallbackBase() : defaultFallbackBase();
    m_logDir = base + "/Quorix/log";
    QDir().mkpath(m_logDir);
}

void Logger::openLogFile(const QDate &date)
{
    if (m_file.isOpen())
        m_file.close();
    m_currentDate = date;
    m_currentPath = pathFor(date);
    m_file.setFileName(m_currentPath);
    m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

QByteArray Logger::levelName(int level)
{
    switch (level) {
    case Debug:
        return "DEBUG";
    case Info:
        return "INFO ";
    case Warn:
        return "WARN ";
    case Error:
        return "ERROR";
    default:
        return {};
    }
}

QByteArray Logger::formatLine(int level, const QDateTime &time, const QByteArray &text)
{
    const QTime t = time.time();
    char stamp[16];
    std::snprintf(stamp, sizeof(stamp), "%02d:%02d:%02d.%03d", t.hour(), t.minute(), t.second(),
                  t.msec());
    QByteArray line;
    line.reserve(text.size() + 24);
    line += '[';
    line += levelName(level);
    line += "] ";
    line += stamp;
    line += "  ";
    line += text;
    return line;
}

void Logger::log(int level, const QByteArray &text)
{
    if (levelName(level).isEmpty())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    // One reading of the clock gives the file's date and the time of the line.
    const QDateTime time = now();
    if (!m_file.isOpen()) {
        useFallbackDir();
        openLogFile(time.date());
    }
    if (time.date() != m_currentDate)
        openLogFile(time.date());

    const QByteArray line = formatLine(level, time, text);
    if (m_file.isOpen()) {
        m_file.write(line);
        m_file.write("\n", 1);
        m_file.flush();
    }
    if (m_options.echo) {
        std::fwrite(line.constData(), 1, size_t(line.size()), m_options.echo);
        std::fputc('\n', m_options.echo);
        std::fflush(m_options.echo);
    }
}

QString Logger::currentPath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_currentPath;
}

QString Logger::logDir() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_logDir;
}
