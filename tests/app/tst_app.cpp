// Tests of the application shell: log lines and files, language switching, the start-up trace.
#include <QtTest>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

#include "TestEnv.h"
#include "app/AppLanguage.h"
#include "app/Logger.h"
#include "app/MessageHandler.h"
#include "resources/QuorixResources.h"

static QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

// Every line of the daily log files in `folder`: a run may straddle midnight.
static QStringList readLogs(const QString &folder)
{
    QStringList log;
    const QDir logDir(folder);
    for (const QString &name : logDir.entryList({"quorix_*.log"}, QDir::Files, QDir::Name))
        log += readLines(logDir.filePath(name));
    return log;
}

// Starts the program at `exe` offscreen and kills it once `trace` holds `lines` lines.
static bool runUntilTraced(const QString &exe, const QString &trace, int lines)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(exe, QStringList());
    bool traced = false;
    [&] {
        QVERIFY(process.waitForStarted(120000));
        QTRY_COMPARE_WITH_TIMEOUT(readLines(trace).size(), lines, 60000);
        traced = true;
    }();
    process.kill();
    return process.waitForFinished(120000) && traced;
}

class TstApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lineFormat_data();
    void lineFormat();
    void writesDailyFileAndEchoes();
    void rollsOverAtMidnight();
    void fallsBackWhenProgramFolderCannotHoldLogs_data();
    void fallsBackWhenProgramFolderCannotHoldLogs();
    void concurrentLinesNeverInterleave();
    void switchesLanguage();
    void startupTraceAndLogOfRealProgram();
    void realProgramInUnwritableFolderTracesAndLogsForTheUser();

private:
    QString m_root;
};

void TstApp::initTestCase()
{
    m_root = TestEnv::isolate();
    QuorixResources::init();
}

void TstApp::lineFormat_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("debug, 42 ms") << int(QtDebugMsg) << QTime(9, 5, 1, 42)
                                  << QByteArray("[DEBUG] 09:05:01.042  msg");
    QTest::newRow("info, 7 ms") << int(QtInfoMsg) << QTime(9, 5, 1, 7)
                                << QByteArray("[INFO ] 09:05:01.007  msg");
    QTest::newRow("warning, 0 ms")
        << int(QtWarningMsg) << QTime(23, 59, 59, 0) << QByteArray("[WARN ] 23:59:59.000  msg");
    QTest::newRow("critical, 999 ms")
        << int(QtCriticalMsg) << QTime(0, 0, 0, 999) << QByteArray("[ERROR] 00:00:00.999  msg");
    QTest::newRow("fatal") << int(QtFatalMsg) << QTime(0, 0, 0, 999)
                           << QByteArray("[ERROR] 00:00:00.999  msg");
}

void TstApp::lineFormat()
{
    QFETCH(int, type);
    QFETCH(QTime, time);
    QFETCH(QByteArray, expected);
    const int level = logLevelFor(QtMsgType(type));
    QCOMPARE(Logger::formatLine(level, QDateTime(QDate(2026, 12, 5), time), "msg"), expected);
    QCOMPARE(logLevelFor(QtMsgType(42)), -1);
}

void TstApp::writesDailyFileAndEchoes()
{
    QTemporaryDir dir;
    FILE *echo = std::tmpfile();
    QDateTime clock(QDate(2026, 12, 5), QTime(9, 5, 1, 42));
    Logger logger({dir.path() + "/quorix", [&] { return clock; }, {}, echo});
    logger.log(0, "installAppLanguage: translator installed, lang = 1");
    logger.log(1, QString::fromUtf8("演示相机 µm").toUtf8());
    logger.log(7, "dropped: not a level");

    const QString path = dir.path() + "/log/quorix_2026-12-05.log";
    QCOMPARE(logger.currentPath(), path);
    const QStringList expected{
        "[DEBUG] 09:05:01.042  installAppLanguage: translator installed, lang = 1",
        QString::fromUtf8("[INFO ] 09:05:01.042  演示相机 µm")};
    QCOMPARE(readLines(path), expected);

    // The console receives the same lines, in UTF-8, in the same order.
    std::rewind(echo);
    QByteArray echoed(4096, 0);
    echoed.resize(int(std::fread(echoed.data(), 1, size_t(echoed.size()), echo)));
    std::fclose(echo);
    QCOMPARE(QString::fromUtf8(echoed), expected.join('\n') + '\n');

    // A program name without a base name logs as "app".
    Logger hidden({dir.path() + "/.hidden", [&] { return clock; }, {}, nullptr});
    hidden.log(0, "x");
    QVERIFY(QFile::exists(dir.path() + "/log/app_2026-12-05.log"));
}

void TstApp::rollsOverAtMidnight()
{
    QTemporaryDir dir;
    QDateTime clock(QDate(2026, 12, 5), QTime(23, 59, 59, 950));
    Logger logger({dir.path() + "/quorix", [&] { return clock; }, {}, nullptr});
    logger.log(1, "before midnight");
    const QString first = dir.path() + "/log/quorix_2026-12-05.log";
    const QString second = dir.path() + "/log/quorix_2026-12-06.log";
    QVERIFY(!QFile::exists(second));

    clock = QDateTime(QDate(2026, 12, 6), QTime(0, 0, 0, 10));
    logger.log(1, "after midnight");
    QCOMPARE(readLines(first), QStringList{"[INFO ] 23:59:59.950  before midnight"});
    QCOMPARE(readLines(second), QStringList{"[INFO ] 00:00:00.010  after midnight"});
    QCOMPARE(logger.currentPath(), second);
}

void TstApp::fallsBackWhenProgramFolderCannotHoldLogs_data()
{
    QTest::addColumn<bool>("fromTheStart");
    QTest::newRow("log folder is a file") << true;
    QTest::newRow("next day's file cannot be created") << false;
}

void TstApp::fallsBackWhenProgramFolderCannotHoldLogs()
{
    QFETCH(bool, fromTheStart);
    // Tests run as root, so permissions cannot make a place unusable: a file where the log folder
    // should be, or a folder where the next day's file should be, does.
    QTemporaryDir program, fallback;
    if (fromTheStart) {
        QFile blocker(program.path() + "/log");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    QDateTime clock(QDate(2026, 12, 5), QTime(23, 59, 59));
    Logger logger({program.path() + "/quorix", [&] { return clock; },
                   [&] { return fallback.path(); }, nullptr});
    logger.log(1, "first day");
    if (!fromTheStart) {
        QVERIFY(QDir().mkpath(program.path() + "/log/quorix_2026-12-06.log"));
        clock = QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1));
        logger.log(1, "lost for the file");
    }
    logger.log(2, "in the fallback");
    QCOMPARE(logger.logDir(), fallback.path() + "/Quorix/log");
    QCOMPARE(readLogs(fallback.path() + "/Quorix/log").constLast(),
             "[WARN ] " + clock.toString("hh:mm:ss.zzz") + "  in the fallback");
}

void TstApp::concurrentLinesNeverInterleave()
{
    QTemporaryDir dir;
    Logger logger({dir.path() + "/quorix", {}, {}, nullptr});
    const int threads = 4, perThread = 500;
    QList<QThread *> workers;
    for (int t = 0; t < threads; ++t) {
        workers << QThread::create([&logger, t] {
            for (int i = 0; i < perThread; ++i)
                logger.log(i % 4, QByteArray("thread ") + QByteArray::number(t) + " line " +
                                      QByteArray::number(i) + " " + QByteArray(100, 'x'));
        });
        workers.last()->start();
    }
    for (QThread *w : workers) {
        w->wait();
        delete w;
    }
    const QStringList lines = readLines(logger.currentPath());
    QCOMPARE(lines.size(), threads * perThread);
    const QRegularExpression form(
        R"(^\[(DEBUG|INFO |WARN |ERROR)\] \d\d:\d\d:\d\d\.\d{3}  thread \d line \d+ x{100}$)");
    for (const QString &line : lines)
        QVERIFY2(form.match(line).hasMatch(), qPrintable(line));
}

void TstApp::switchesLanguage()
{
    const char *source = "恢复出厂设置";
    installAppLanguage(1);
    QCOMPARE(QCoreApplication::translate("SettingDialog", source),
             QStringLiteral("Restore Factory Settings"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    installAppLanguage(2);
    QCOMPARE(QCoreApplication::translate("SettingDialog", source), QString::fromUtf8(source));
    // The standard buttons of message boxes and dialogs follow the Chinese interface.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    installAppLanguage(1);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

void TstApp::startupTraceAndLogOfRealProgram()
{
    // A copy of the program in its own folder keeps the trace and log out of build/bin.
    QTemporaryDir folder;
    const QString exe = folder.path() + "/quorix";
    QVERIFY(QFile::copy(TestEnv::binDir() + "/quorix", exe));
    const QString trace = folder.path() + "/startup_diag.txt";

    // Three starts with language settings 0 (absent), 1 and 2.
    const QString ini = qEnvironmentVariable("XDG_DATA_HOME") + "/Quorix/QUORIX.ini";
    for (int start = 0; start < 3; ++start) {
        QFile::remove(ini);
        if (start > 0)
            QSettings(ini, QSettings::IniFormat).setValue("Appearance/language", start);
        QVERIFY(runUntilTraced(exe, trace, 9 * (start + 1)));
    }

    const QStringList steps{"start 1: entering main",       "start 2: QApplication created",
                            "start 3: metatype registered", "start 4: handler installed",
                            "start 5: org/app name set",    "start 6: settings migrated",
                            "start 7: language loaded",     "start 8: MainWidget created",
                            "start 9: window shown"};
    QCOMPARE(readLines(trace), steps + steps + steps);

    const QStringList log = readLogs(folder.path() + "/log");
    QVERIFY(!log.isEmpty());
    const QRegularExpression form(R"(^\[(DEBUG|INFO |WARN |ERROR)\] \d\d:\d\d:\d\d\.\d{3}  .*$)");
    for (const QString &line : log)
        QVERIFY2(form.match(line).hasMatch(), qPrintable(line));
    const auto count = [&](const QString &text) {
        return log.filter(QRegularExpression("  " + QRegularExpression::escape(text) + "$")).size();
    };
    QCOMPARE(count("installAppLanguage: lang = 0 (no translator)"), 2);
    QCOMPARE(count("installAppLanguage: translator installed, lang = 1"), 1);
}

void TstApp::realProgramInUnwritableFolderTracesAndLogsForTheUser()
{
    // Tests run as root: a folder named like the trace and a file named like the log folder stand
    // for a program folder the user may not write, as under /opt.
    QTemporaryDir folder;
    const QString exe = folder.path() + "/quorix";
    QVERIFY(QFile::copy(TestEnv::binDir() + "/quorix", exe));
    QVERIFY(QDir(folder.path()).mkdir("startup_diag.txt"));
    QFile blocker(folder.path() + "/log");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const QString data = qEnvironmentVariable("XDG_DATA_HOME") + "/Quorix";
    const QString trace = data + "/startup_diag.txt";
    QFile::remove(trace);
    QFile::remove(data + "/QUORIX.ini");
    QVERIFY(runUntilTraced(exe, trace, 9));

    QCOMPARE(readLines(trace).constFirst(), QStringLiteral("start 1: entering main"));
    QCOMPARE(readLines(trace).constLast(), QStringLiteral("start 9: window shown"));
    const QStringList log = readLogs(data + "/log");
    QVERIFY2(!log.filter(QRegularExpression("  installAppLanguage: lang = 0 \\(no translator\\)$"))
                  .isEmpty(),
             qPrintable(log.join('\n')));
}

QTEST_GUILESS_MAIN(TstApp)
#include "tst_app.moc"
