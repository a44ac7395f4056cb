#include "report/ReportExporter.h"

#include "report/ExcelReport.h"
#include "report/WordReport.h"
#include "report/ZipFolder.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <exception>

namespace {

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    qWarning().noquote() << "ReportExporter::exportReport" << message;
    return false;
}

} // namespace

QString escapeXml(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (c == '&')
            out += QLatin1String("&amp;");
        else if (c == '<')
            out += QLatin1String("&lt;");
        else if (c == '>')
            out += QLatin1String("&gt;");
        else if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xFFFE || u == 0xFFFF)
            continue;
        else
            out += c;
    }
    return out;
}

bool exportReport(const ReportData &data, const QString &templateDir, const QString &outputPath,
                  QString *error)
{
    return exportReport(data, templateDir, outputPath, error, QDateTime::currentDateTime());
}

bool exportReport(const ReportData &data, const QString &templateDir, const QString &outputPath,
                  QString *error, const QDateTime &now)
{
    const QString suffix = QFileInfo(outputPath).suffix().toLower();
    QString templatePath;
    if (suffix == QLatin1String("docx"))
        templatePath = templateDir + "/quorix.docx";
    else if (suffix == QLatin1String("xlsx"))
        templatePath = templateDir + "/quorix.xlsx";
    else
        return fail(
            error,
            QCoreApplication::translate("ReportExporter", "不支持的导出格式: .%1").arg(suffix));
    if (!QFileInfo(templatePath).isFile())
        return fail(
            error,
            QCoreApplication::translate("ReportExporter", "未找到报告模板: %1").arg(templatePath));

    try {
        QTemporaryDir temporary;
        if (!temporary.isValid())
            return fail(error, QCoreApplication::translate("ReportExporter", "无法创建临时目录"));
        const QString packageDir = temporary.path() + "/unpack";
        QString message;
        if (!unzipToDirectory(templatePath, packageDir, &message))
            return fail(error, message);
        const bool filled = suffix == QLatin1String("docx")
                                ? fillWordPackage(packageDir, data, now, &message)
                                : fillExcelPackage(packageDir, data, now, &message);
        if (!filled)
            return fail(error, message);
        if (!zipDirectory(packageDir, outputPath, &message)) {
            // The archive's own message speaks of ZIP entries; the user chose a report file.
            qWarning().noquote() << "exportReport:" << message;
            return fail(error,
                        QCoreApplication::translate(
                            "ReportExporter",
                            "无法写入报告文件：%1\n请检查文件夹是否存在、是否可写入以及磁盘空间。")
                            .arg(QDir::toNativeSeparators(outputPath)));
        }
        return true;
    } catch (const std::exception &e) {
        return fail(error, QCoreApplication::translate("ReportExporter", "报告导出失败: %1")
                               .arg(QString::fromLocal8Bit(e.what())));
    }
}
