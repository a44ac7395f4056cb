// Attribute.cpp: pen style codes and the JSON form of a shape's style.
#include "model/Attribute.h"

namespace {

QString colorName(const QColor &c)
{
    return c.name(QColor::HexArgb);
}

QColor readColor(const QJsonObject &o, const char *key)
{
    return QColor(o[QLatin1String(key)].toString());
}

} // namespace

Qt::PenStyle Attribute::penStyle(int lineStyle)
{
    switch (lineStyle) {
    case 1:
        return Qt::DashLine;
    case 2:
        return Qt::DotLine;
    case 3:
        return Qt::DashDotLine;
    case 4:
        return Qt::DashDotDotLine;
    default:
        return Qt::SolidLine;
    }
}

QJsonObject Attribute::toJson() const
{
    QJsonObject cp;
    cp["radius"] = controlPoint.radius;
    cp["color"] = colorName(controlPoint.color);
    cp["borderWidth"] = controlPoint.borderWidth;
    cp["borderColor"] = colorName(controlPoint.borderColor);

    QJsonObject img;
    img["width"] = imgElement.width;
    img["color"] = colorName(imgElement.color);
    img["lineStyle"] = imgElement.lineStyle;
    img["fillColor"] = colorName(imgElement.fillColor);

    QJsonObject label;
    label["fontFamily"] = textLabel.fontFamily;
    label["fontSize"] = textLabel.fontSize;
    label["bold"] = textLabel.bold;
    label["italic"] = textLabel.italic;
    label["underline"] = textLabel.underline;
    label["color"] = colorName(textLabel.color);
    label["borderColor"] = colorName(textLabel.borderColor);
    label["backgroundColor"] = colorName(textLabel.backgroundColor);

    QJsonObject root;
    root["controlPoint"] = cp;
    root["imgElement"] = img;
    root["textLabel"] = label;
    return root;
}

void Attribute::fromJson(const QJsonObject &json)
{
    if (json.contains("controlPoint")) {
        const QJsonObject cp = json["controlPoint"].toObject();
        controlPoint.radius = cp["radius"].toInt();
        controlPoint.color = readColor(cp, "color");
        controlPoint.borderWidth = cp["borderWidth"].toInt();
        controlPoint.borderColor = readColor(cp, "borderColor");
    }
    if (json.contains("imgElement")) {
        const QJsonObject img = json["imgElement"].toObject();
        imgElement.width = img["width"].toInt();
        imgElement.color = readColor(img, "color");
        imgElement.lineStyle = img["lineStyle"].toInt();
        imgElement.fillColor = readColor(img, "fillColor");
    }
    if (json.contains("textLabel")) {
        const QJsonObject label = json["textLabel"].toObject();
        textLabel.fontFamily = label["fontFamily"].toString();
        textLabel.fontSize = label["fontSize"].toInt();
        textLabel.bold = label["bold"].toBool();
        textLabel.italic = label["italic"].toBool();
        textLabel.underline = label["underline"].toBool();
        textLabel.color = readColor(label, "color");
        textLabel.borderColor = readColor(label, "borderColor");
        textLabel.backgroundColor = readColor(label, "backgroundColor");
    }
}
