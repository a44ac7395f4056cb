#include "app/MessageHandler.h"

#include "app/Logger.h"

int logLevelFor(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return Logger::Debug;
    case QtInfoMsg:
        return Logger::Info;
    case QtWarningMsg:
        return Logger::Warn;
    case QtCriticalMsg:
    case QtFatalMsg:
        return Logger::Error;
    }
    return -1;
}

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const int level = logLevelFor(type);
    if (level >= 0)
        Logger::instance().log(level, message.toUtf8());
}
