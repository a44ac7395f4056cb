// Attribute.h: the style of one shape (control points, line, label) and its JSON form.
#pragma once

#include <QColor>
#include <QJsonObject>
#include <QMetaType>
#include <QString>

#include <cstdint>
#include <memory>

// A plain value shared between a shape, its label, the drawing file and the attribute editor.
// GUI thread.
struct Attribute
{
    using Ptr = std::shared_ptr<Attribute>;

    struct ControlPoint
    {
        int radius = 6; // circle radius and the hit distance for grabbing a point
        QColor color = QColor(255, 255, 255, 50);
        int borderWidth = 2;
        QColor borderColor = QColor(QStringLiteral("#00E5FF"));
    };
    struct ImgElement
    {
        int width = 1;
        QColor color = QColor(Qt::red);
        int lineStyle = 0; // see penStyle()
        QColor fillColor = QColor(Qt::red);
    };
    struct TextLabel
    {
        QString fontFamily = QStringLiteral("宋体");
        int fontSize = 24; // points
        bool bold = false;
        bool italic = false;
        bool underline = false;
        bool strikeOut = false;
        std::uint8_t spacing = 0; // applied as word spacing in pixels
        QColor color = QColor(QStringLiteral("#1563AB"));
        QColor borderColor = QColor(QStringLiteral("#00869DF9"));
        QColor backgroundColor = QColor(Qt::transparent);
    };

    ControlPoint controlPoint;
    ImgElement imgElement;
    TextLabel textLabel;

    // Pen style of a line style code: 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot; any
    // other code is solid.
    static Qt::PenStyle penStyle(int lineStyle);

    // The three groups as nested objects; colours as "#aarrggbb". strikeOut and spacing are not
    // written.
    QJsonObject toJson() const;
    // Overwrites each group that `json` holds; inside a present group a missing key reads as 0,
    // false, an empty string or an invalid colour.
    void fromJson(const QJsonObject &json);
};

Q_DECLARE_METATYPE(Attribute::Ptr)
