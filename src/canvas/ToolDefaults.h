// ToolDefaults.h: the style every new shape of a drawing tool starts with, kept per tool and
// stored in the "Measure" settings group.
#pragma once

#include "model/Attribute.h"
#include "model/LineDataBase.h"

#include <QColor>
#include <QList>
#include <QMap>
#include <QString>

// The line and control-point style of one tool.
struct ToolDefaults
{
    int lineWidth = 1;
    QColor lineColor = QColor(Qt::red);
    int lineStyle = 0;
    QColor fillColor = QColor(Qt::red);
    int controlPointSize = 6;
    QColor controlPointColor = QColor(255, 255, 255, 50);
    int controlPointBorderWidth = 2;
    QColor controlPointBorderColor = QColor(QStringLiteral("#00E5FF"));
};

// The label font shared by every tool.
struct LabelFontDefaults
{
    QString family;
    int size = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QColor color;
    QColor backgroundColor = QColor(Qt::transparent);
};

// Every tool's defaults. Tools without settings (text, scale bar, unknown types) use the
// built-in ToolDefaults values. GUI thread.
class ToolDefaultsTable
{
public:
    // The tool types that have settings, in settings order.
    static const QList<int> &toolTypes();
    // The built-in line colour of a tool; invalid for types without one.
    static QColor paletteColor(int toolType);

    // Rebuilds the table from the settings without writing anything. Before the first load
    // after installation (no "defaultColorsUpgraded" yet) every tool gets its palette colour,
    // whatever colour is stored.
    void read();
    // read(), then writes every tool's line colour back and marks the palette upgrade as done.
    void load();
    bool contains(int toolType) const { return m_tools.contains(toolType); }
    ToolDefaults tool(int toolType) const { return m_tools.value(toolType); }
    LabelFontDefaults labelFont() const { return m_labelFont; }

    // Stores the type in the record and gives its attribute the tool's style and the label font;
    // the fill colour stays as it is.
    void apply(LineDataBase &record, int toolType) const;
    // A fresh attribute styled as apply() styles a record.
    Attribute::Ptr attributeFor(int toolType) const;
    // Takes over the line, control-point and label style of `attribute` for a tool that has
    // settings and saves it; other types are ignored.
    void store(int toolType, const Attribute &attribute);

private:
    void applyTo(Attribute &attribute, int toolType) const;

    QMap<int, ToolDefaults> m_tools;
    LabelFontDefaults m_labelFont;
};
