// AttributeTree.h: the property editor of the selected shape's style (or the armed tool's
// default style), one row per value.
#pragma once

#include "model/Attribute.h"
#include "settings/editors/ColorToolButton.h"

#include <QHash>
#include <QTreeWidget>

class ItemDelegateColor;

// Shows the values of an Attribute in two columns (name, value) under three groups. A click in
// the value column opens the row's editor in the cell; every change is written straight into the
// shared Attribute and announced with sigAttributeDataChanged(). Every row carries its property
// code as user-role data in column 0; colour rows have four channel rows (red, green, blue,
// opacity) whose codes follow the colour's. A null attribute empties the tree. Editors that are
// closed are deleted later, never inside one of their own signals. GUI thread.
class AttributeTree : public QTreeWidget
{
    Q_OBJECT

public:
    // Property codes of the rows; channel rows use the colour's code plus 1 to 4.
    enum Code {
        LineWidth = 0,
        LineColor = 1,
        LineStyle = 6,
        FillColor = 7,
        ControlPointRadius = 12,
        ControlPointColor = 13,
        ControlPointBorderWidth = 18,
        ControlPointBorderColor = 19,
        Font = 24,
        FontFamily = 25,
        FontSize = 26,
        Bold = 27,
        Italic = 28,
        Underline = 29,
        StrikeOut = 30,
        LetterSpacing = 31,
        TextColor = 32,
        TextBorderColor = 37,
        TextBackgroundColor = 42,
        EditableLimit = 47, // codes from here on (the group rows) open no editor
        GroupItem = 100,
        GroupControlPoints = 101,
        GroupTextLabel = 102,
    };

    explicit AttributeTree(QWidget *parent = nullptr);
    ~AttributeTree() override;

    // Shows `attribute` for editing (a shape's style); null empties the tree.
    void setAttribute(Attribute::Ptr attribute);
    // Shows the armed tool's default style: the values a tool's defaults do not keep (strike
    // out, letter spacing, the label's border and background) are shown but not editable, so
    // that no edit is silently lost. Null empties the tree.
    void setToolAttribute(Attribute::Ptr attribute);
    Attribute::Ptr attribute() const { return m_attribute; }

    // The row of a property code, or null.
    QTreeWidgetItem *itemForCode(int code) const;
    // The editor open in the value cell, or null.
    QWidget *openEditor() const { return m_editor; }
    // Replaces the colour dialog of the colour editors (for tests; QColorDialog by default).
    void setColorProvider(ColorToolButton::ColorProvider provider);

signals:
    void sigAttributeDataChanged();

public slots:
    void onItemClicked(QTreeWidgetItem *item, int column);
    void onSpinBoxValChanged(int value);
    void onSpinboxValueChanged(const QString &text);
    void onColorChanged(const QColor &color);
    void onComboBoxCurrentTextChanged(const QString &text);
    void onCheckBoxStateChanged(int state);

protected:
    void changeEvent(QEvent *event) override;

private:
    struct Binding
    {
        QTreeWidgetItem *item = nullptr;
        int code = -1;
    };

    void present(Attribute::Ptr attribute, bool toolDefaults);
    void rebuild();
    // Sets the name column's width and the tree's minimum width from the rows' names.
    void fitWidthToNames();
    void closeEditor();
    void placeEditor(QTreeWidgetItem *item, QWidget *editor, int code);
    // The binding of the widget that sent the current signal, or null.
    const Binding *senderBinding() const;
    void setColorRows(QTreeWidgetItem *colorRow, const QColor &color);
    static QStringList penStyleNames();

    Attribute::Ptr m_attribute; // keeps the bound fields alive while an editor is open
    bool m_toolDefaults = false;
    QWidget *m_editor = nullptr;
    QHash<QObject *, Binding> m_bindings;
    QHash<int, QTreeWidgetItem *> m_rows;
    ItemDelegateColor *m_delegate = nullptr;
    ColorToolButton::ColorProvider m_colorProvider;
};
