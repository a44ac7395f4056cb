// Tests of the measurement record and the shape style with its JSON form.
#include <QtTest>

#include <QJsonDocument>
#include <QRegularExpression>

#include "model/Attribute.h"
#include "model/LineDataBase.h"

class TstModel : public QObject
{
    Q_OBJECT

private slots:
    void recordIdsAreFreshUuidsWithoutBraces();
    void polylineLength_data();
    void polylineLength();
    void setPointIgnoresIndicesOutsideTheList();
    void penStyles_data();
    void penStyles();
    void attributeJsonRoundTrip();
    void attributeReadsOnlyPresentGroups();
};

void TstModel::recordIdsAreFreshUuidsWithoutBraces()
{
    BrokenLineDataItem a, b;
    const QRegularExpression uuid("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$");
    QVERIFY(uuid.match(a.id).hasMatch());
    QVERIFY(a.id != b.id);
    QCOMPARE(a.type(), 11);
    QVERIFY(a.attribute);
    QVERIFY(a.attribute != b.attribute);
}

void TstModel::polylineLength_data()
{
    QTest::addColumn<QList<QPointF>>("points");
    QTest::addColumn<double>("length");
    QTest::newRow("empty") << QList<QPointF>{} << 0.0;
    QTest::newRow("one point") << QList<QPointF>{{5, 5}} << 0.0;
    QTest::newRow("3-4-5") << QList<QPointF>{{0, 0}, {3, 4}} << 5.0;
    QTest::newRow("open, not closed") << QList<QPointF>{{0, 0}, {10, 0}, {10, 10}, {0, 10}} << 30.0;
}

void TstModel::polylineLength()
{
    QFETCH(QList<QPointF>, points);
    QFETCH(double, length);
    BrokenLineDataItem record;
    record.points = points;
    QCOMPARE(record.length(), length);
}

void TstModel::setPointIgnoresIndicesOutsideTheList()
{
    BrokenLineDataItem record;
    record.points = {{0, 0}, {1, 1}};
    record.setPoint({9, 9}, 2);
    record.setPoint({9, 9}, -1);
    QCOMPARE(record.points, (QList<QPointF>{{0, 0}, {1, 1}}));
    record.setPoint({9, 9}, 1);
    QCOMPARE(record.points.last(), QPointF(9, 9));
}

void TstModel::penStyles_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("style");
    QTest::newRow("solid") << 0 << int(Qt::SolidLine);
    QTest::newRow("dash") << 1 << int(Qt::DashLine);
    QTest::newRow("dot") << 2 << int(Qt::DotLine);
    QTest::newRow("dash-dot") << 3 << int(Qt::DashDotLine);
    QTest::newRow("dash-dot-dot") << 4 << int(Qt::DashDotDotLine);
    QTest::newRow("unknown 7") << 7 << int(Qt::SolidLine);
    QTest::newRow("negative") << -1 << int(Qt::SolidLine);
}

void TstModel::penStyles()
{
    QFETCH(int, code);
    QFETCH(int, style);
    QCOMPARE(int(Attribute::penStyle(code)), style);
}

void TstModel::attributeJsonRoundTrip()
{
    Attribute a;
    QCOMPARE(a.toJson()["controlPoint"].toObject()["color"].toString(), QString("#32ffffff"));
    QCOMPARE(a.toJson()["textLabel"].toObject()["borderColor"].toString(), QString("#00869df9"));

    a.controlPoint.radius = 9;
    a.imgElement.color = QColor(10, 20, 30, 40);
    a.imgElement.lineStyle = 3;
    a.imgElement.width = 4;
    a.textLabel.fontFamily = "Noto Sans";
    a.textLabel.fontSize = 12;
    a.textLabel.bold = true;
    a.textLabel.underline = true;
    a.textLabel.backgroundColor = QColor(1, 2, 3, 4);

    // Through text, as the drawing file stores it.
    const QByteArray text = QJsonDocument(a.toJson()).toJson(QJsonDocument::Compact);
    Attribute b;
    b.fromJson(QJsonDocument::fromJson(text).object());
    QCOMPARE(b.controlPoint.radius, 9);
    QCOMPARE(b.imgElement.color, QColor(10, 20, 30, 40));
    QCOMPARE(b.imgElement.lineStyle, 3);
    QCOMPARE(b.imgElement.width, 4);
    QCOMPARE(b.textLabel.fontFamily, QString("Noto Sans"));
    QCOMPARE(b.textLabel.fontSize, 12);
    QVERIFY(b.textLabel.bold && b.textLabel.underline && !b.textLabel.italic);
    QCOMPARE(b.textLabel.backgroundColor, QColor(1, 2, 3, 4));
    QCOMPARE(b.controlPoint.borderColor, a.controlPoint.borderColor);
}

void TstModel::attributeReadsOnlyPresentGroups()
{
    Attribute a;
    QJsonObject img;
    img["width"] = 3;
    QJsonObject root;
    root["imgElement"] = img;
    a.fromJson(root);
    // The present group is read key by key: missing keys give zero and invalid colours.
    QCOMPARE(a.imgElement.width, 3);
    QCOMPARE(a.imgElement.lineStyle, 0);
    QVERIFY(!a.imgElement.color.isValid());
    // Absent groups keep their values.
    QCOMPARE(a.controlPoint.radius, 6);
    QCOMPARE(a.textLabel.fontSize, 24);
    QCOMPARE(a.textLabel.color, QColor("#1563AB"));
}

QTEST_APPLESS_MAIN(TstModel)
#include "tst_model.moc"
