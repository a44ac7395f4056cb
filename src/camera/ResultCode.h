// ResultCode.h: how platform result codes (errno values) appear in the log.
#pragma once

#include <QString>

#include <cstring>

// "0x0000000b (Resource temporarily unavailable)": eight hexadecimal digits and the system text.
inline QString resultCodeText(int code)
{
    QString text = QStringLiteral("0x%1").arg(quint32(code), 8, 16, QLatin1Char('0'));
    if (code != 0)
        text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(code)));
    return text;
}
