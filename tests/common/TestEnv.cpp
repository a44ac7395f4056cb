#include "TestEnv.h"

#include <QDir>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <csignal>

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

void runTimersStartedBefore(int ms)
{
    Q_ASSERT(ms <= 20);
    bool fired = false;
    QTimer::singleShot(ms, Qt::PreciseTimer, [&fired] { fired = true; });
    if (!QTest::qWaitFor([&fired] { return fired; }, 600000))
        qFatal("the event loop is stuck: a timer of %d ms has not fired in 10 minutes", ms);
}

QString sourceDir()
{
    return qEnvironmentVariable("QUORIX_SOURCE_DIR");
}

QString binDir()
{
    return qEnvironmentVariable("QUORIX_BIN_DIR");
}

QJsonArray readCsvWithPython(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import csv, json, sys\n"
                            "with open(sys.argv[1], encoding='utf-8-sig', newline='') as f:\n"
                            "    print(json.dumps(list(csv.reader(f))))\n"),
             path});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).array();
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_previous);
    rlimit limit = m_previous;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &m_previous);
}

} // namespace TestEnv
