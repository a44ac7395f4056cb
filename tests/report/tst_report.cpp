// tst_report.cpp: Word and Excel reports filled from our templates, read back with independent
// readers (python-docx, openpyxl, xmllint).
#include "TestEnv.h"
#include "report/ReportExporter.h"
#include "report/ReportXml.h"
#include "report/ZipFolder.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>

#include <functional>

namespace {

const QDateTime kNow(QDate(2026, 3, 5), QTime(9, 7, 2));

ReportData sampleData()
{
    ReportData data;
    data.headers =
        QStringList{"名称", "长度", "宽度", "高度", "半径", "直径", "角度", "距离", "面积"};
    for (int i = 1; i <= 12; ++i) {
        const QString name =
            i == 1 ? QStringLiteral("直线<1> & \"测试\"") : QStringLiteral("圆 %1").arg(i);
        data.rows << QStringList{name,
                                 QString::number(i * 1.25, 'f', 2),
                                 "",
                                 "",
                                 QString::number(i, 'f', 2),
                                 QString::number(2 * i, 'f', 2),
                                 "",
                                 "",
                                 QString::number(i * 3.14, 'f', 2)};
    }
    data.lengthUnit = QStringLiteral("μm");
    data.image = QImage(1600, 1200, QImage::Format_RGB32);
    data.image.fill(QColor(40, 60, 80));
    QPainter painter(&data.image);
    painter.setPen(QPen(Qt::yellow, 6));
    painter.drawLine(100, 600, 1500, 600);
    return data;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void rewriteFile(const QString &path, const std::function<QString(QString)> &edit)
{
    const QString text = edit(QString::fromUtf8(readFile(path)));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

void copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + '/' + QDir(from).relativeFilePath(source);
        QDir().mkpath(QFileInfo(target).path());
        QVERIFY(QFile::copy(source, target));
    }
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private:
    QString m_root;
    QString m_exportTemp;

    // A template folder holding quorix.<kind> packed from our template sources, after edit has
    // changed the unpacked package (given its folder).
    QString templateDir(const QString &kind, const std::function<void(const QString &)> &edit = {})
    {
        static int serial = 0;
        const QString base = QStringLiteral("%1/templates%2").arg(m_root).arg(++serial);
        copyTree(TestEnv::sourceDir() + "/templates/" + kind, base + "/source");
        if (edit)
            edit(base + "/source");
        QString error;
        if (!zipDirectory(base + "/source", base + "/quorix." + kind, &error))
            qWarning() << error;
        return base;
    }

    QString outputPath(const QString &name) { return m_root + "/out/" + name; }

    QJsonObject oracle(const QString &kind, const QString &file)
    {
        QProcess process;
        process.start("/usr/bin/python3",
                      {qEnvironmentVariable("QUORIX_REPORT_ORACLE"), kind, file});
        if (!process.waitForFinished(120000) || process.exitCode() != 0)
            qWarning() << process.readAllStandardError();
        return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    }

    // Unpacks a report and checks every XML part with xmllint; returns the unpacked folder.
    QString unpackWellFormed(const QString &file)
    {
        const QString folder = file + ".unpacked";
        QString error;
        if (!unzipToDirectory(file, folder, &error))
            qWarning() << error;
        QStringList parts;
        QDirIterator it(folder, {"*.xml", "*.rels"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            parts << it.next();
        QProcess lint;
        lint.start("xmllint", QStringList{"--noout"} + parts);
        lint.waitForFinished(120000);
        if (parts.size() < 5 || lint.exitCode() != 0)
            qWarning() << "xmllint:" << lint.readAllStandardError();
        return parts.size() >= 5 && lint.exitCode() == 0 ? folder : QString();
    }

    QStringList exportTempLeftovers() const
    {
        return QDir(m_exportTemp).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

private slots:
    void initTestCase()
    {
        m_root = TestEnv::isolate() + "/report";
        m_exportTemp = m_root + "/tmp";
        QDir().mkpath(m_exportTemp);
        QDir().mkpath(m_root + "/out");
        // The exporter's temporary folders land here, so that their removal can be checked.
        qputenv("TMPDIR", m_exportTemp.toUtf8());
    }

    void cleanup() { QCOMPARE(exportTempLeftovers(), QStringList()); }

    void wordReportHoldsTableDatesAndPicture()
    {
        const ReportData data = sampleData();
        const QString out = outputPath("report.docx");
        QString error;
        QVERIFY2(exportReport(data, templateDir("docx"), out, &error, kNow), qPrintable(error));

        const QJsonObject doc = oracle("docx", out);
        const QJsonArray tables = doc["tables"].toArray();
        QCOMPARE(tables.size(), 2);
        const QJsonArray table = tables.at(1).toArray();
        QCOMPARE(table.size(), 1 + data.rows.size());
        QCOMPARE(table.at(0).toVariant().toStringList(), data.headers);
        for (int i = 0; i < data.rows.size(); ++i)
            QCOMPARE(table.at(i + 1).toVariant().toStringList(), data.rows.at(i));

        const QStringList paragraphs = doc["paragraphs"].toVariant().toStringList();
        const QString all = paragraphs.join('\n');
        QVERIFY2(!all.contains("{{"), qPrintable(all));
        QVERIFY(all.contains("2026 年 03 月 05 日"));
        QVERIFY(all.contains("09:07:02"));
        QVERIFY(all.contains("单位为 μm"));
        QVERIFY(all.contains("首项为 直线<1> & \"测试\"，末项为 圆 12。"));

        // The 4:3 picture keeps the 16:9 placeholder's height and gets a narrower width.
        const QJsonArray pictures = doc["pictures"].toArray();
        QCOMPARE(pictures.size(), 1);
        const QJsonObject picture = pictures.at(0).toObject();
        QCOMPARE(picture["id"].toString(), QString("rIdReport1"));
        QCOMPARE(picture["target"].toString(), QString("media/fused1.png"));
        QCOMPARE(picture["type"].toString(), QString("image/png"));
        QCOMPARE(picture["width"].toInt(), 1600);
        QCOMPARE(picture["height"].toInt(), 1200);
        QCOMPARE(picture["cy"].toInt(), 3240000);
        QCOMPARE(picture["cx"].toInt(), 4320000);

        const QString unpacked = unpackWellFormed(out);
        QVERIFY(!unpacked.isEmpty());
        const QString document = QString::fromUtf8(readFile(unpacked + "/word/document.xml"));
        QVERIFY(document.contains("直线&lt;1&gt; &amp; \"测试\""));
        QVERIFY(document.contains("<a:ext cx=\"4320000\" cy=\"3240000\"/>"));
        QVERIFY(document.contains("descr=\"fused1\""));
    }

    void excelReportHoldsTableAndMovedRows()
    {
        const ReportData data = sampleData();
        const QString out = outputPath("report.xlsx");
        QString error;
        QVERIFY2(exportReport(data, templateDir("xlsx"), out, &error, kNow), qPrintable(error));

        const QJsonObject book = oracle("xlsx", out);
        const QJsonObject cells = book["cells"].toObject();
        const QString letters = "ABCDEFGHI";
        for (int c = 0; c < data.headers.size(); ++c)
            QCOMPARE(cells[QString("%1%2").arg(letters[c]).arg(19)].toString(), data.headers.at(c));
        for (int r = 0; r < data.rows.size(); ++r)
            for (int c = 0; c < data.headers.size(); ++c)
                QCOMPARE(cells[QString("%1%2").arg(letters[c]).arg(20 + r)].toString(),
                         data.rows.at(r).at(c));
        QCOMPARE(cells["A1"].toString(), QString("显微测量检测报告"));
        QCOMPARE(cells["B4"].toString(), QString("2026-03-05-09-07-02"));
        QCOMPARE(cells["G4"].toString(), QString("μm"));
        // Rows below the table moved down by the eleven added rows, merges with them.
        QVERIFY(cells["A33"].toString().contains("首项为 直线<1> & \"测试\"，末项为 圆 12。"));
        QCOMPARE(cells["A36"].toString(), QString("检测人："));
        const QStringList merged = book["merged"].toVariant().toStringList();
        QVERIFY(merged.contains("A33:I33"));
        QVERIFY(merged.contains("B36:C36"));
        QVERIFY(merged.contains("A1:I1"));
        QVERIFY(!merged.contains("A22:I22"));
        QCOMPARE(book["dimension"].toString(), QString("A1:I36"));

        const QJsonArray images = book["images"].toArray();
        QCOMPARE(images.size(), 1);
        QCOMPARE(images.at(0).toObject()["width"].toInt(), 1600);
        QCOMPARE(images.at(0).toObject()["row"].toInt(), 5);

        const QString unpacked = unpackWellFormed(out);
        QVERIFY(!unpacked.isEmpty());
        const QString strings = QString::fromUtf8(readFile(unpacked + "/xl/sharedStrings.xml"));
        QVERIFY(strings.contains("直线&lt;1&gt; &amp; \"测试\""));
        QVERIFY(QFile::exists(unpacked + "/xl/media/fused1.png"));
    }

    void excelDrawingsAndMergesFollowTheTable()
    {
        // A template whose picture sits below the table and whose data row merges two cells.
        const QString dir = templateDir("xlsx", [](const QString &package) {
            rewriteFile(package + "/xl/drawings/drawing1.xml", [](QString xml) {
                return xml.replace("<xdr:row>5</xdr:row>", "<xdr:row>22</xdr:row>");
            });
            rewriteFile(package + "/xl/worksheets/sheet1.xml", [](QString xml) {
                return xml.replace("<mergeCells count=\"8\">", "<mergeCells count=\"9\">")
                    .replace("<mergeCell ref=\"A1:I1\"/>",
                             "<mergeCell ref=\"A1:I1\"/><mergeCell ref=\"H20:I20\"/>");
            });
        });
        const QString out = outputPath("below.xlsx");
        QVERIFY(exportReport(sampleData(), dir, out, nullptr, kNow));
        const QJsonObject book = oracle("xlsx", out);
        QCOMPARE(book["images"].toArray().at(0).toObject()["row"].toInt(), 33);
        const QStringList merged = book["merged"].toVariant().toStringList();
        for (int row = 20; row <= 31; ++row)
            QVERIFY2(merged.contains(QString("H%1:I%1").arg(row)), qPrintable(merged.join(' ')));
        QVERIFY(!unpackWellFormed(out).isEmpty());
    }

    // A placeholder split over runs, a template without the PNG content type, an upper-case
    // suffix, and no template at all.
    void awkwardTemplatesAndNames()
    {
        const QString dir = templateDir("docx", [](const QString &package) {
            rewriteFile(package + "/word/document.xml", [](QString xml) {
                return xml.replace(
                    "{{MT.1.-1.1}}",
                    "{{MT.1.</w:t></w:r><w:r><w:rPr><w:b/></w:rPr><w:t>-1.</w:t></w:r>"
                    "<w:r><w:t xml:space=\"preserve\">1}}");
            });
            rewriteFile(package + "/[Content_Types].xml", [](QString xml) {
                return xml.remove("<Default Extension=\"png\" ContentType=\"image/png\"/>");
            });
        });
        const QString out = outputPath("SPLIT.DOCX");
        QString error;
        QVERIFY2(exportReport(sampleData(), dir, out, &error, kNow), qPrintable(error));
        const QJsonObject doc = oracle("docx", out);
        const QString all = doc["paragraphs"].toVariant().toStringList().join('\n');
        QVERIFY2(all.contains("首项为 直线<1> & \"测试\"，末项为 圆 12。"), qPrintable(all));
        QVERIFY(!all.contains("{{"));
        const QJsonObject picture = doc["pictures"].toArray().at(0).toObject();
        QCOMPARE(picture["type"].toString(), QString("image/png"));
        QCOMPARE(picture["width"].toInt(), 1600);

        const QString missing = m_root + "/no-templates";
        QVERIFY(!exportReport(sampleData(), missing, outputPath("x.xlsx"), &error));
        QCOMPARE(error, QString("未找到报告模板: %1/quorix.xlsx").arg(missing));
        // A report that cannot be written is spoken of as the report file, not as a ZIP.
        const QString unwritable = m_root + "/no-such-folder/x.docx";
        QVERIFY(!exportReport(sampleData(), templateDir("docx"), unwritable, &error));
        QVERIFY2(error.startsWith(QString("无法写入报告文件：%1\n").arg(unwritable)),
                 qPrintable(error));
    }

    void excelColumnsBeyondZ()
    {
        ReportData data;
        for (int c = 0; c < 30; ++c)
            data.headers << QString("列%1").arg(c + 1);
        data.rows << data.headers << data.headers;
        const QString out = outputPath("wide.xlsx");
        QVERIFY(exportReport(data, templateDir("xlsx"), out, nullptr, kNow));
        const QJsonObject book = oracle("xlsx", out);
        const QJsonObject cells = book["cells"].toObject();
        QCOMPARE(cells["Z19"].toString(), QString("列26"));
        QCOMPARE(cells["AA19"].toString(), QString("列27"));
        QCOMPARE(cells["AD21"].toString(), QString("列30"));
        QCOMPARE(book["dimension"].toString(), QString("A1:AD26"));
        QVERIFY(!unpackWellFormed(out).isEmpty());
    }

    void emptyTableAndNoPictureKeepTheTemplate()
    {
        ReportData data;
        data.headers = QStringList{"名称", "长度"};
        const QString word = outputPath("empty.docx");
        QVERIFY(exportReport(data, templateDir("docx"), word, nullptr, kNow));
        const QJsonObject doc = oracle("docx", word);
        const QJsonArray table = doc["tables"].toArray().at(1).toArray();
        QCOMPARE(table.size(), 2);
        QCOMPARE(table.at(0).toVariant().toStringList().mid(0, 3),
                 QStringList({"名称", "长度", ""}));
        QCOMPARE(table.at(1).toVariant().toStringList().join(QString()), QString());
        QCOMPARE(table.at(1).toArray().size(), 9);
        QCOMPARE(doc["pictures"].toArray().at(0).toObject()["target"].toString(),
                 QString("media/placeholder.png"));
        QVERIFY(!doc["paragraphs"].toVariant().toStringList().join('\n').contains("{{"));

        const QString sheet = outputPath("empty.xlsx");
        QVERIFY(exportReport(data, templateDir("xlsx"), sheet, nullptr, kNow));
        const QJsonObject cells = oracle("xlsx", sheet)["cells"].toObject();
        QCOMPARE(cells["B19"].toString(), QString("长度"));
        QVERIFY(!cells.contains("A20"));
        QCOMPARE(cells["A25"].toString(), QString("检测人："));
    }

    // Rows and columns count from 1, rows from the end when negative; outside is empty.
    void tableCellPlaceholders()
    {
        const QList<QStringList> rows{{"a1", "a2"}, {"b1", "b2"}, {"c1", "c2"}};
        const struct
        {
            qint64 row, column;
            const char *expected;
        } cases[] = {{1, 1, "a1"}, {-1, 2, "c2"}, {-2, 1, "b1"}, {0, 1, ""},
                     {1, 0, ""},   {4, 1, ""},    {-4, 1, ""},   {1, 3, ""}};
        for (const auto &c : cases) {
            QCOMPARE(ReportXml::tableCell(rows, c.row, c.column), QString(c.expected));
            QCOMPARE(ReportXml::tableCell({}, c.row, c.column), QString());
        }
    }

    void failuresLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("part");
        QTest::addColumn<QString>("from"); // "*" removes the part, "-rows" the table's rows
        QTest::addColumn<QString>("expected");
        const char *const docXml = "word/document.xml";
        const struct
        {
            const char *name, *kind, *output, *part, *from, *expected;
        } rows[] = {
            {"pdf", "docx", "report.pdf", "", "", "不支持的导出格式: .pdf"},
            {"no suffix", "docx", "report", "", "", "不支持的导出格式: ."},
            {"single table row", "docx", "one.docx", docXml, "-rows",
             "模板表格行数不足（需 {{MH}} 与 {{MT}} 两行）"},
            {"picture without reference", "docx", "embed.docx", docXml, "r:embed=\"rId3\"",
             "模板图片占位缺少 r:embed"},
            {"no document", "docx", "nodoc.docx", docXml, "*", "无法读取 document.xml"},
            {"no drawing", "xlsx", "nodrawing.xlsx", "xl/drawings/drawing1.xml", "*",
             "无法读取 drawing1.xml"},
            {"no shared strings", "xlsx", "nostrings.XLSX", "xl/sharedStrings.xml", "*",
             "无法读取 sharedStrings.xml"},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << r.kind << r.output << r.part << r.from << r.expected;
    }

    void failuresLeaveNothingBehind()
    {
        QFETCH(QString, kind);
        QFETCH(QString, output);
        QFETCH(QString, part);
        QFETCH(QString, from);
        QFETCH(QString, expected);
        const QString dir = templateDir(kind, [&](const QString &package) {
            if (part.isEmpty())
                return;
            if (from == "*") {
                QFile::remove(package + '/' + part);
                return;
            }
            rewriteFile(package + '/' + part, [&](QString xml) {
                if (from == "-rows") {
                    // Drop every row of the measurement table but the first.
                    const int table = xml.indexOf("{{MH}}");
                    const int second = xml.indexOf("<w:tr>", table);
                    const int end = xml.indexOf("</w:tbl>", second);
                    return xml.remove(second, end - second);
                }
                return xml.remove(from);
            });
        });
        const QString out = outputPath(output);
        QString error;
        QVERIFY(!exportReport(sampleData(), dir, out, &error, kNow));
        QCOMPARE(error, expected);
        QVERIFY(!QFile::exists(out));
    }

    void zipSlipTemplateIsRefused()
    {
        const QString dir = m_root + "/slip";
        QDir().mkpath(dir);
        int openError = 0;
        zip_t *archive = zip_open(QFile::encodeName(dir + "/quorix.docx").constData(),
                                  ZIP_CREATE | ZIP_TRUNCATE, &openError);
        QVERIFY(archive);
        static const char payload[] = "escaped";
        zip_file_add(archive, "../../escaped.txt", zip_source_buffer(archive, payload, 7, 0), 0);
        QCOMPARE(zip_close(archive), 0);

        QString error;
        QVERIFY(!exportReport(sampleData(), dir, outputPath("slip.docx"), &error, kNow));
        QCOMPARE(error, QString("ZIP 条目路径不安全，已拒绝: ../../escaped.txt"));
        QVERIFY(!QFile::exists(m_exportTemp + "/escaped.txt"));
        QVERIFY(!QFile::exists(m_root + "/escaped.txt"));
        QVERIFY(!QFile::exists(outputPath("slip.docx")));
    }

    void escapingDropsWhatXmlCannotHold()
    {
        QCOMPARE(escapeXml("a<b>&c\td\x01\n"), QString("a&lt;b&gt;&amp;c\td\n"));
        QCOMPARE(escapeXml("&lt;"), QString("&amp;lt;"));
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
