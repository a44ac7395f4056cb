// Tests of the measurement table: row values per shape type, unit conversion, deletion through
// the canvas, the context menu and the CSV export.
#include <QtTest>

#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTableWidget>

#include "MessageBoxAnswerer.h"
#include "TestEnv.h"
#include "calibration/CalibrationData.h"
#include "canvas/LineDataRegistry.h"
#include "panels/MeasurementCsv.h"
#include "panels/MeasurementRow.h"
#include "panels/RightWidget.h"
#include "settings/SettingsKeys.h"
#include "shapes/ShapeTypes.h"

#include <cmath>
#include <functional>

using Values = QMap<int, double>;
using Points = QList<QPointF>;

namespace {

LineDataBase::Ptr record(int type, const Points &points, bool registered = true)
{
    auto r = std::make_shared<BrokenLineDataItem>();
    r->typeNumber = type;
    r->points = points;
    if (registered)
        LineDataRegistry::instance()->addLine(r);
    return r;
}

QJsonArray toJson(const QStringList &header, const QList<QStringList> &rows)
{
    QJsonArray all;
    all.append(QJsonArray::fromStringList(header));
    for (const QStringList &row : rows)
        all.append(QJsonArray::fromStringList(row));
    return all;
}

} // namespace

class TestPanels : public QObject
{
    Q_OBJECT

private:
    // Acts on the popup menu once its event loop runs.
    void answerMenu(std::function<void(QMenu *)> act)
    {
        QTimer::singleShot(0, this, [this, act] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu || !menu->isVisible()) {
                answerMenu(act); // not shown yet: look again on the next turn
                return;
            }
            act(menu);
        });
    }
    QTableWidget *table(RightWidget &w) { return w.findChild<QTableWidget *>("tableWidget"); }

    QString m_dir;

private slots:
    void initTestCase()
    {
        m_dir = TestEnv::isolate();
        qRegisterMetaType<LineDataBase::Ptr>();
    }
    void cleanup() { LineDataRegistry::instance()->clear(); }

    void pixelValues_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<Points>("points");
        QTest::addColumn<Values>("expected");
        using namespace ShapeTypes;
        using C = MeasurementRow;
        // clang-format off
        QTest::newRow("3-point line: p0-p1 only") << int(Line3Point) << Points{{0, 0}, {30, 40}, {500, 500}} << Values{{C::Length, 50}};
        QTest::newRow("rect drawn to top-left") << int(Rect) << Points{{100, 80}, {40, 60}} << Values{{C::Width, 60}, {C::Height, 20}, {C::Area, 1200}};
        QTest::newRow("circle: radius to last point") << int(CircleCenterRadius) << Points{{10, 10}, {0, 0}, {13, 14}} << Values{{C::Radius, 5}, {C::Diameter, 10}};
        QTest::newRow("double circle") << int(DoubleCircle) << Points{{0, 0}, {5, 0}, {30, 40}, {31, 40}} << Values{{C::Distance, 50}};
        QTest::newRow("3-point rect") << int(Rec3Point) << Points{{0, 0}, {100, 0}, {50, -30}} << Values{{C::Width, 100}, {C::Height, 30}};
        QTest::newRow("3-point angle 90") << int(Angle3Point) << Points{{0, -100}, {0, 0}, {100, 0}} << Values{{C::Angle, 90}};
        QTest::newRow("3-point angle mirrored") << int(Angle3Point) << Points{{0, 100}, {0, 0}, {100, 0}} << Values{{C::Angle, 270}};
        QTest::newRow("4-point angle") << int(Angle4Point) << Points{{0, 0}, {-100, -100}, {0, 0}, {100, 0}} << Values{{C::Angle, 135}};
        QTest::newRow("3-point ellipse") << int(Ellipse3Point) << Points{{0, 0}, {0, 80}, {-30, 10}} << Values{{C::Width, 40}, {C::Height, 15}};
        QTest::newRow("parallel 8: mid-lines") << int(Parallel8Points) << Points{{0, 0}, {100, 0}, {0, 10}, {100, 10}, {0, 40}, {100, 40}, {0, 60}, {100, 60}} << Values{{C::Distance, 45}};
        QTest::newRow("perpendicular 4") << int(Perpendicular4Points) << Points{{0, 0}, {100, 0}, {40, 30}, {90, 12}} << Values{{C::Length, 100}, {C::Distance, 18}};
        QTest::newRow("perpendicular 4, no base") << int(Perpendicular4Points) << Points{{5, 5}, {5, 5}, {5, 25}, {40, 15}} << Values{{C::Length, 0}, {C::Distance, 10}};
        QTest::newRow("collinear arc") << int(Arc) << Points{{0, 0}, {30, 0}, {100, 0}} << Values{{C::Length, 100}};
        QTest::newRow("polygon: perimeter and area") << int(Polygon) << Points{{0, 0}, {30, 0}, {30, 40}, {0, 40}} << Values{{C::Length, 140}, {C::Area, 1200}};
        QTest::newRow("polygon, concave") << int(Polygon) << Points{{0, 0}, {40, 0}, {20, 10}, {40, 40}, {0, 40}} << Values{{C::Length, 120 + std::hypot(20, 10) + std::hypot(20, 30)}, {C::Area, 1200}};
        QTest::newRow("unknown type") << 99 << Points{{0, 0}, {10, 10}} << Values{};
        // clang-format on
    }
    void pixelValues()
    {
        QFETCH(int, type);
        QFETCH(Points, points);
        QFETCH(Values, expected);
        const Values got = MeasurementRow::pixelValues(*record(type, points, false));
        QCOMPARE(got.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(std::abs(got[it.key()] - it.value()) < 1e-6,
                     qPrintable(QStringLiteral("column %1: %2").arg(it.key()).arg(got[it.key()])));
    }

    // Arc and five-point ellipse against points generated from a known circle and ellipse.
    void curvedShapes_data()
    {
        QTest::addColumn<double>("rotation");
        QTest::addColumn<bool>("clockwise");
        QTest::newRow("axis-parallel, ccw") << 0.0 << false;
        QTest::newRow("rotated 100, cw") << 100.0 << true;
    }
    void curvedShapes()
    {
        QFETCH(double, rotation);
        QFETCH(bool, clockwise);
        const double th = qDegreesToRadians(rotation);
        const QPointF c(300, 200);
        Points five;
        for (double t : {0.1, 1.3, 2.2, 3.9, 5.0}) {
            const double x = 80 * std::cos(t), y = 30 * std::sin(t);
            five << c + QPointF(x * std::cos(th) - y * std::sin(th),
                                x * std::sin(th) + y * std::cos(th));
        }
        const Values e =
            MeasurementRow::pixelValues(*record(ShapeTypes::Ellipse5Point, five, false));
        const double p = e.value(MeasurementRow::Width), q = e.value(MeasurementRow::Height);
        QVERIFY(std::abs(std::max(p, q) - 80) < 1e-3 && std::abs(std::min(p, q) - 30) < 1e-3);

        // 250 degrees of a circle of radius 40, run either way round.
        const double r = 40, span = qDegreesToRadians(250.0) * (clockwise ? -1 : 1);
        Points arc;
        for (double f : {0.0, 1.0 / 3, 1.0})
            arc << c + r * QPointF(std::cos(th + f * span), std::sin(th + f * span));
        const Values v = MeasurementRow::pixelValues(*record(ShapeTypes::Arc, arc, false));
        QVERIFY(std::abs(v.value(MeasurementRow::Length) - r * std::abs(span)) < 1e-6);
    }

    // Lengths convert with two decimals, the area with the factor applied twice, angles never;
    // rows follow record changes and drop values a shape no longer yields; the values fit their
    // columns.
    void rowsFollowRecordsAndUnits()
    {
        RightWidget w;
        QTableWidget *t = table(w);
        w.showTable();
        w.show();
        auto rect3 = std::static_pointer_cast<BrokenLineDataItem>(
            record(ShapeTypes::Rec3Point, {{0, 0}, {100, 0}, {0, 30}}, false));
        w.onAddDrawLine(record(ShapeTypes::StraightLine, {{0, 0}, {100, 0}}));
        w.onAddDrawLine(record(ShapeTypes::Rect, {{0, 0}, {40, 20}}));
        w.onAddDrawLine(record(ShapeTypes::Angle3Point, {{0, -100}, {0, 0}, {100, 0}}));
        // Registered when announced, as the canvas does: rows follow the records' order.
        LineDataRegistry::instance()->addLine(rect3);
        w.onAddDrawLine(rect3);
        QCOMPARE(t->item(0, MeasurementRow::Length)->text(), QStringLiteral("100"));
        QCOMPARE(t->item(1, MeasurementRow::Area)->text(), QStringLiteral("800"));

        CalibrationData calibration;
        calibration.addMagnification({QStringLiteral("10X"), 40000.0}); // 40 px per mm
        calibration.setCurrentUnit(QStringLiteral("mm"));
        w.setCalibrationData(&calibration); // no current magnification: not calibrated
        QCOMPARE(t->item(0, MeasurementRow::Length)->text(), QStringLiteral("100"));
        calibration.setCurrentIndex(0);
        w.refreshAllData();
        const QString line = ShapeTypes::displayName(ShapeTypes::StraightLine);
        const QString rect = ShapeTypes::displayName(ShapeTypes::Rect);
        const QString angle = ShapeTypes::displayName(ShapeTypes::Angle3Point);
        const QString rec3 = ShapeTypes::displayName(ShapeTypes::Rec3Point);
        QCOMPARE(w.tableRows(),
                 (QList<QStringList>{{line, "2.50", "", "", "", "", "", "", ""},
                                     {rect, "", "1.00", "0.50", "", "", "", "", "0.50"},
                                     {angle, "", "", "", "", "", "90", "", ""},
                                     {rec3, "", "2.50", "0.75", "", "", "", "", ""}}));
        // The headers name the unit the values are written in.
        QCOMPARE(w.tableHeaders().mid(5, 4),
                 (QStringList{"直径 (mm)", "角度 (°)", "距离 (mm)", "面积 (mm²)"}));
        calibration.setCurrentUnit(QStringLiteral("μm"));
        w.refreshAllData();
        QCOMPARE(t->item(1, MeasurementRow::Area)->text(), QStringLiteral("500000.00"));
        QCOMPARE(w.tableHeaders().at(1), QStringLiteral("长度 (μm)"));
        // Every value fits its column, also one that grows past it.
        const auto everyValueFits = [t] {
            QCoreApplication::processEvents();
            for (int r = 0; r < t->rowCount(); ++r)
                for (int c = 0; c < t->columnCount(); ++c)
                    if (t->sizeHintForIndex(t->model()->index(r, c)).width() > t->columnWidth(c))
                        return false;
            return true;
        };
        QVERIFY(everyValueFits());
        const QList<QPointF> drawn = rect3->points;
        rect3->points = {{0, 0}, {40000, 0}, {0, 30000}};
        w.onDrawLineDataChanged(rect3);
        QVERIFY(everyValueFits());
        rect3->points = drawn;
        calibration.setCurrentUnit(QStringLiteral("px"));
        w.refreshAllData();
        QCOMPARE(t->item(1, MeasurementRow::Area)->text(), QStringLiteral("800"));
        // The area of a large rectangle on a camera picture reads in full, not in exponent form.
        w.onAddDrawLine(record(ShapeTypes::Rect, {{0, 0}, {1500, 1000}}));
        QCOMPARE(t->item(4, MeasurementRow::Area)->text(), QStringLiteral("1500000"));

        rect3->points.removeLast();
        w.onDrawLineDataChanged(rect3);
        QCOMPARE(w.tableRows().at(3), (QStringList{rec3, "", "100", "", "", "", "", "", ""}));
        const auto before = w.tableRows();
        w.onDrawLineDataChanged(record(ShapeTypes::StraightLine, {{0, 0}, {1, 0}})); // no row
        QCOMPARE(w.tableRows(), before);
    }

    void deletionGoesThroughTheCanvas()
    {
        RightWidget w;
        QTableWidget *t = table(w);
        QSignalSpy deleted(&w, &RightWidget::sigDelDrawLine);
        const auto a = record(ShapeTypes::StraightLine, {{0, 0}, {10, 0}});
        const auto b = record(ShapeTypes::Circle2Point, {{0, 0}, {10, 0}});
        w.onAddDrawLine(a);
        w.onAddDrawLine(b);
        w.onLineSelected(b);
        MessageBoxAnswerer boxes;
        boxes.answer({QMessageBox::No, QMessageBox::Yes});
        w.onDeleteSelectedRow();
        QCOMPARE(boxes.texts(), QStringList(QStringLiteral("确定删除选中的线？")));
        QCOMPARE(deleted.count(), 0);
        w.onDeleteSelectedRow();
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(deleted.takeFirst().at(0).value<LineDataBase::Ptr>(), b);
        QCOMPARE(t->rowCount(), 2); // until the canvas reports the deletion
        w.onDelDrawLine(b);
        QCOMPARE(t->rowCount(), 1);
        // A row whose record the canvas no longer holds asks nothing.
        w.onLineSelected(a);
        LineDataRegistry::instance()->removeLine(a->id);
        boxes.answer(QMessageBox::Yes);
        w.onDeleteSelectedRow();
        QCoreApplication::processEvents();
        QCOMPARE(boxes.count(), 2);
        QCOMPARE(deleted.count(), 0);
    }

    // The context menu offers its three actions, the deletions only where they have rows to
    // delete; "delete all" asks once, then asks the canvas for every record, whose answers empty
    // the table, which then says how it fills.
    void contextMenuDeleteAll()
    {
        RightWidget w;
        QTableWidget *t = table(w);
        connect(&w, &RightWidget::sigDelDrawLine, &w, &RightWidget::onDelDrawLine);
        QSignalSpy deleted(&w, &RightWidget::sigDelDrawLine);
        for (int i = 0; i < 3; ++i)
            w.onAddDrawLine(record(ShapeTypes::Arrow, {{0, 0}, {5.0 + i, 0}}));
        w.showTable();
        w.show();
        QStringList texts;
        MessageBoxAnswerer boxes;
        boxes.answer(QMessageBox::Yes);
        answerMenu([&](QMenu *menu) {
            for (QAction *a : menu->actions()) {
                texts << (a->isSeparator() ? QStringLiteral("-")
                                           : a->text() + (a->isEnabled() ? "" : " (off)"));
                if (a->text() == QStringLiteral("删除全部"))
                    menu->setActiveAction(a);
            }
            QTest::keyClick(menu, Qt::Key_Return);
        });
        auto *hint = w.findChild<QLabel *>(QStringLiteral("labelTableHint"));
        QVERIFY(hint && !hint->isVisible()); // the empty table's hint: not with rows
        t->setCurrentCell(1, 0);
        emit t->customContextMenuRequested(QPoint(5, 5));
        QCOMPARE(texts, (QStringList{"删除选中行", "删除全部", "-", "导出测量数据"}));
        QCOMPARE(boxes.texts(), QStringList(QStringLiteral("确定删除所有的线？")));
        QCOMPARE(deleted.count(), 3);
        QCOMPARE(t->rowCount(), 0);
        texts.clear();
        answerMenu([&](QMenu *menu) {
            for (QAction *a : menu->actions())
                texts << a->text() + (a->isEnabled() ? "" : " (off)");
            menu->close();
        });
        emit t->customContextMenuRequested(QPoint(5, 5));
        QCOMPARE(texts.mid(0, 2), (QStringList{"删除选中行 (off)", "删除全部 (off)"}));
        QVERIFY(hint->isVisible() && !hint->text().isEmpty());
    }

    void exportCsv_data()
    {
        QTest::addColumn<bool>("withRows");
        QTest::addColumn<QString>("typed");   // "" cancels the dialog
        QTest::addColumn<QString>("written"); // "" = no file
        QTest::addColumn<QString>("boxTitle");
        // clang-format off
        QTest::newRow("empty table: no dialog") << false << "x" << "" << "导出";
        QTest::newRow("cancelled") << true << "" << "" << "";
        QTest::newRow("no suffix") << true << "测量 结果" << "测量 结果.csv" << "";
        QTest::newRow("capital suffix") << true << "DATA.CSV" << "DATA.CSV" << "";
        QTest::newRow("other suffix") << true << "m.txt" << "m.txt.csv" << "";
        QTest::newRow("file in place of a folder") << true << "blocker/out" << "" << "导出失败";
        // clang-format on
    }
    // The file holds exactly the table as Python's csv module reads it.
    void exportCsv()
    {
        QFETCH(bool, withRows);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QFETCH(QString, boxTitle);
        QTemporaryDir dir;
        // Running as root ignores permissions: a regular file where a folder should be fails.
        QFile blocker(dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QSettings().setValue(SettingsKeys::kSavePath, dir.path());
        RightWidget w;
        if (withRows) {
            w.onAddDrawLine(record(ShapeTypes::Rect, {{0, 0}, {40, 20}}));
            w.onAddDrawLine(record(ShapeTypes::Angle4Point, {{0, 0}, {0, -9}, {0, 0}, {9, 0}}));
        }
        int asked = 0;
        QString proposed;
        w.setSaveFileNameProvider(
            [&](QWidget *, const QString &, const QString &name, const QString &) {
                ++asked;
                proposed = name;
                return typed.isEmpty() ? QString() : dir.filePath(typed);
            });
        QSignalSpy status(&w, &RightWidget::sigStatusMessage);
        MessageBoxAnswerer boxes;
        w.onExportCsv();
        QCOMPARE(boxes.titles(), boxTitle.isEmpty() ? QStringList() : QStringList(boxTitle));
        QCOMPARE(asked, withRows ? 1 : 0);
        if (boxTitle == QStringLiteral("导出失败"))
            QCOMPARE(boxes.texts().first(), "无法写入文件: " + dir.filePath("blocker/out.csv"));
        if (withRows)
            QVERIFY2(QRegularExpression('^' + QRegularExpression::escape(dir.path()) +
                                        "/测量数据_\\d{8}_\\d{6}\\.csv$")
                         .match(proposed)
                         .hasMatch(),
                     qPrintable(proposed)); // in the save folder
        const QStringList files = QDir(dir.path()).entryList(QDir::Files);
        QCOMPARE(files.size(), written.isEmpty() ? 1 : 2);
        QCOMPARE(status.count(), written.isEmpty() ? 0 : 1);
        if (written.isEmpty())
            return;
        const QString path = dir.filePath(written);
        QVERIFY(files.contains(written));
        QCOMPARE(status.at(0).at(0).toString(), path + " 导出成功");
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF") && bytes.endsWith("\n") &&
                !bytes.endsWith("\n\n"));
        const QStringList header{"名称",      "长度 (px)", "宽度 (px)", "高度 (px)", "半径 (px)",
                                 "直径 (px)", "角度 (°)",  "距离 (px)", "面积 (px²)"};
        QCOMPARE(w.tableHeaders(), header);
        QCOMPARE(TestEnv::readCsvWithPython(path), toJson(header, w.tableRows()));

        // The same name again: when the suffix was added, the dialog did not ask about the file
        // it names, so the table does; No keeps the file.
        w.onAddDrawLine(record(ShapeTypes::Rect, {{0, 0}, {4, 2}}));
        w.onExportCsv();
        QCOMPARE(boxes.count(), typed == written ? 0 : 1);
        QCOMPARE(status.count(), typed == written ? 2 : 1);
        QCOMPARE(TestEnv::readCsvWithPython(path).size(), typed == written ? 4 : 3);
    }

    void csvQuoting()
    {
        const QStringList header{"名称", "a,b", "say \"hi\""};
        const QList<QStringList> rows{{"two\nlines", "cr\rhere", "plain"}, {"", "\"", ",\"\n"}};
        const QString path = m_dir + QStringLiteral("/quoted.csv");
        QString error;
        QVERIFY2(MeasurementCsv::write(path, header, rows, &error), qPrintable(error));
        QCOMPARE(TestEnv::readCsvWithPython(path), toJson(header, rows));

        // Texts a spreadsheet would run as formulas stay text; negative numbers stay numbers.
        QVERIFY(MeasurementCsv::write(path, header, {{"=1+1", "-12.50", "@SUM(A1),+x"}}, &error));
        QCOMPARE(TestEnv::readCsvWithPython(path),
                 toJson(header, {{"'=1+1", "-12.50", "'@SUM(A1),+x"}}));
        QVERIFY(MeasurementCsv::write(path, header, rows, &error));

        // A write the disk cuts short (a file-size limit) fails and leaves the file as it was.
        QList<QStringList> many;
        for (int row = 0; row < 200; ++row)
            many << QStringList{QString(40, QChar('x'))};
        {
            TestEnv::FileSizeLimit limit(1024);
            QVERIFY(!MeasurementCsv::write(path, header, many, &error));
        }
        QCOMPARE(TestEnv::readCsvWithPython(path), toJson(header, rows));
    }
};

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
