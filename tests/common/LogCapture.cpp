#include "LogCapture.h"

#include <QMutex>
#include <QStringList>

namespace {

QMutex g_lock; // guards g_lines
QStringList g_lines;

void keepMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    QMutexLocker lock(&g_lock);
    g_lines << text;
}

} // namespace

namespace LogCapture {

void install()
{
    qInstallMessageHandler(keepMessage);
}

int count(const QString &text)
{
    QMutexLocker lock(&g_lock);
    int n = 0;
    for (const QString &line : qAsConst(g_lines))
        n += line.contains(text) ? 1 : 0;
    return n;
}

void clear()
{
    QMutexLocker lock(&g_lock);
    g_lines.clear();
}

} // namespace LogCapture
