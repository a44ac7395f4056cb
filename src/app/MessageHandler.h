// MessageHandler.h: routes every Qt diagnostic message into the Logger.
#pragma once

#include <QtGlobal>

// Debug → DEBUG, info → INFO, warning → WARN, critical and fatal → ERROR; other types are
// dropped. Only the message text is written. Any thread.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);

// The log level of a message type, or -1 for a type that is not logged.
int logLevelFor(QtMsgType type);
