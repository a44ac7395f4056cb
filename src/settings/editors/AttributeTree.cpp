// AttributeTree.cpp: rows built from one table of property codes, their editors and the
// write-back into the shared attribute.
#include "settings/editors/AttributeTree.h"

#include "settings/editors/ItemDelegateColor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontComboBox>
#include <QHeaderView>
#include <QPointer>
#include <QScrollBar>
#include <QSpinBox>

namespace {

enum class Kind { Group, Number, Colour, PenStyle, FontFamily, Flag };

// One row of the tree: its code, the code of the row it sits under (-1 for a top-level group),
// its name, the kind of its value and, for numbers, the range the editor allows.
struct RowSpec
{
    int code;
    int parent;
    const char *name;
    Kind kind;
    int min;
    int max;
};

const RowSpec kRows[] = {
    {AttributeTree::GroupItem, -1, QT_TRANSLATE_NOOP("AttributeTree", "图元"), Kind::Group, 0, 0},
    {AttributeTree::LineColor, AttributeTree::GroupItem, QT_TRANSLATE_NOOP("AttributeTree", "颜色"),
     Kind::Colour, 0, 0},
    {AttributeTree::LineWidth, AttributeTree::GroupItem, QT_TRANSLATE_NOOP("AttributeTree", "宽度"),
     Kind::Number, 1, 20},
    {AttributeTree::LineStyle, AttributeTree::GroupItem,
     QT_TRANSLATE_NOOP("AttributeTree", "画笔风格"), Kind::PenStyle, 0, 0},
    {AttributeTree::GroupControlPoints, -1, QT_TRANSLATE_NOOP("AttributeTree", "控制点"),
     Kind::Group, 0, 0},
    {AttributeTree::ControlPointRadius, AttributeTree::GroupControlPoints,
     QT_TRANSLATE_NOOP("AttributeTree", "半径"), Kind::Number, 2, 20},
    {AttributeTree::ControlPointColor, AttributeTree::GroupControlPoints,
     QT_TRANSLATE_NOOP("AttributeTree", "颜色"), Kind::Colour, 0, 0},
    {AttributeTree::ControlPointBorderWidth, AttributeTree::GroupControlPoints,
     QT_TRANSLATE_NOOP("AttributeTree", "边框宽度"), Kind::Number, 1, 6},
    {AttributeTree::ControlPointBorderColor, AttributeTree::GroupControlPoints,
     QT_TRANSLATE_NOOP("AttributeTree", "边框颜色"), Kind::Colour, 0, 0},
    {AttributeTree::GroupTextLabel, -1, QT_TRANSLATE_NOOP("AttributeTree", "文本标注"), Kind::Group,
     0, 0},
    {AttributeTree::Font, AttributeTree::GroupTextLabel, QT_TRANSLATE_NOOP("AttributeTree", "字体"),
     Kind::Group, 0, 0},
    {AttributeTree::FontFamily, AttributeTree::Font, QT_TRANSLATE_NOOP("AttributeTree", "字体风格"),
     Kind::FontFamily, 0, 0},
    {AttributeTree::FontSize, AttributeTree::Font, QT_TRANSLATE_NOOP("AttributeTree", "字体大小"),
     Kind::Number, 6, 72},
    {AttributeTree::Bold, AttributeTree::Font, QT_TRANSLATE_NOOP("AttributeTree", "粗体"),
     Kind::Flag, 0, 0},
    {AttributeTree::Italic, AttributeTree::Font, QT_TRANSLATE_NOOP("AttributeTree", "斜体"),
     Kind::Flag, 0, 0},
    {AttributeTree::Underline, AttributeTree::Font, QT_TRANSLATE_NOOP("AttributeTree", "下划线"),
     Kind::Flag, 0, 0},
    {AttributeTree::StrikeOut, AttributeTree::Font, QT_TRANSLATE_NOOP("AttributeTree", "删除线"),
     Kind::Flag, 0, 0},
    {AttributeTree::LetterSpacing, AttributeTree::Font, QT_TRANSLATE_NOOP("AttributeTree", "字距"),
     Kind::Flag, 0, 0},
    {AttributeTree::TextColor, AttributeTree::GroupTextLabel,
     QT_TRANSLATE_NOOP("AttributeTree", "文本颜色"), Kind::Colour, 0, 0},
    {AttributeTree::TextBorderColor, AttributeTree::GroupTextLabel,
     QT_TRANSLATE_NOOP("AttributeTree", "边框颜色"), Kind::Colour, 0, 0},
    {AttributeTree::TextBackgroundColor, AttributeTree::GroupTextLabel,
     QT_TRANSLATE_NOOP("AttributeTree", "背景颜色"), Kind::Colour, 0, 0},
};

// The four channel rows under a colour row: name and the global colour naming the channel.
struct ChannelSpec
{
    const char *name;
    Qt::GlobalColor channel;
};
const ChannelSpec kChannels[] = {
    {QT_TRANSLATE_NOOP("AttributeTree", "红"), Qt::red},
    {QT_TRANSLATE_NOOP("AttributeTree", "绿"), Qt::green},
    {QT_TRANSLATE_NOOP("AttributeTree", "蓝"), Qt::blue},
    {QT_TRANSLATE_NOOP("AttributeTree", "透明度"), Qt::transparent},
};

// Colour codes (the line's fill colour has no row of its own but is handled like the others).
const int kColourCodes[] = {
    AttributeTree::LineColor,          AttributeTree::FillColor,
    AttributeTree::ControlPointColor,  AttributeTree::ControlPointBorderColor,
    AttributeTree::TextColor,          AttributeTree::TextBorderColor,
    AttributeTree::TextBackgroundColor};

// Values a tool's stored defaults do not keep: not editable while a tool's style is shown.
bool keptByToolDefaults(int code)
{
    return code != AttributeTree::StrikeOut && code != AttributeTree::LetterSpacing &&
           !(code >= AttributeTree::TextBorderColor && code < AttributeTree::EditableLimit);
}

int *numberField(Attribute &a, int code)
{
    switch (code) {
    case AttributeTree::LineWidth:
        return &a.imgElement.width;
    case AttributeTree::LineStyle:
        return &a.imgElement.lineStyle;
    case AttributeTree::ControlPointRadius:
        return &a.controlPoint.radius;
    case AttributeTree::ControlPointBorderWidth:
        return &a.controlPoint.borderWidth;
    case AttributeTree::FontSize:
        return &a.textLabel.fontSize;
    default:
        return nullptr;
    }
}

QColor *colourField(Attribute &a, int code)
{
    switch (code) {
    case AttributeTree::LineColor:
        return &a.imgElement.color;
    case AttributeTree::FillColor:
        return &a.imgElement.fillColor;
    case AttributeTree::ControlPointColor:
        return &a.controlPoint.color;
    case AttributeTree::ControlPointBorderColor:
        return &a.controlPoint.borderColor;
    case AttributeTree::TextColor:
        return &a.textLabel.color;
    case AttributeTree::TextBorderColor:
        return &a.textLabel.borderColor;
    case AttributeTree::TextBackgroundColor:
        return &a.textLabel.backgroundColor;
    default:
        return nullptr;
    }
}

bool flagValue(const Attribute &a, int code)
{
    switch (code) {
    case AttributeTree::Bold:
        return a.textLabel.bold;
    case AttributeTree::Italic:
        return a.textLabel.italic;
    case AttributeTree::Underline:
        return a.textLabel.underline;
    case AttributeTree::StrikeOut:
        return a.textLabel.strikeOut;
    case AttributeTree::LetterSpacing:
        return a.textLabel.spacing != 0;
    default:
        return false;
    }
}

void setFlag(Attribute &a, int code, bool on)
{
    switch (code) {
    case AttributeTree::Bold:
        a.textLabel.bold = on;
        break;
    case AttributeTree::Italic:
        a.textLabel.italic = on;
        break;
    case AttributeTree::Underline:
        a.textLabel.underline = on;
        break;
    case AttributeTree::StrikeOut:
        a.textLabel.strikeOut = on;
        break;
    case AttributeTree::LetterSpacing:
        a.textLabel.spacing = on ? 1 : 0;
        break;
    default:
        break;
    }
}

// The colour code a channel code belongs to, or -1.
int colourOfChannel(int code)
{
    for (int colour : kColourCodes) {
        if (code > colour && code <= colour + 4)
            return colour;
    }
    return -1;
}

bool isColourCode(int code)
{
    return std::find(std::begin(kColourCodes), std::end(kColourCodes), code) !=
           std::end(kColourCodes);
}

int channelValue(const QColor &color, Qt::GlobalColor channel)
{
    switch (channel) {
    case Qt::red:
        return color.red();
    case Qt::green:
        return color.green();
    case Qt::blue:
        return color.blue();
    default:
        return color.alpha();
    }
}

void setChannel(QColor &color, Qt::GlobalColor channel, int value)
{
    switch (channel) {
    case Qt::red:
        color.setRed(value);
        break;
    case Qt::green:
        color.setGreen(value);
        break;
    case Qt::blue:
        color.setBlue(value);
        break;
    default:
        color.setAlpha(value);
        break;
    }
}

int codeOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

} // namespace

AttributeTree::AttributeTree(QWidget *parent)
    : QTreeWidget(parent)
    , m_delegate(new ItemDelegateColor(this))
{
    setObjectName(QStringLiteral("attributeTree"));
    setColumnCount(2);
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(false);
    setUniformRowHeights(true);
    setIndentation(14);
    header()->setStretchLastSection(true);
    header()->setSectionResizeMode(0, QHeaderView::Interactive);
    header()->setDefaultSectionSize(110);
    connect(this, &QTreeWidget::itemClicked, this, &AttributeTree::onItemClicked);
    rebuild();
    fitWidthToNames();
}

AttributeTree::~AttributeTree() = default;

QStringList AttributeTree::penStyleNames()
{
    return {tr("实线"), tr("虚线"), tr("点线"), tr("点画线"), tr("双点画线")};
}

void AttributeTree::setAttribute(Attribute::Ptr attribute)
{
    present(std::move(attribute), false);
}

void AttributeTree::setToolAttribute(Attribute::Ptr attribute)
{
    present(std::move(attribute), true);
}

void AttributeTree::present(Attribute::Ptr attribute, bool toolDefaults)
{
    m_attribute = std::move(attribute);
    m_toolDefaults = toolDefaults;
    rebuild();
}

void AttributeTree::setColorProvider(ColorToolButton::ColorProvider provider)
{
    m_colorProvider = std::move(provider);
}

QTreeWidgetItem *AttributeTree::itemForCode(int code) const
{
    return m_rows.value(code, nullptr);
}

void AttributeTree::rebuild()
{
    closeEditor();
    clear();
    m_rows.clear();
    setHeaderLabels({tr("名称"), tr("值")});
    setAccessibleName(tr("属性"));
    setAccessibleDescription(tr("所选图形或当前绘制工具的样式，单击值进行编辑"));
    if (!m_attribute)
        return;
    Attribute &a = *m_attribute;
    for (const RowSpec &spec : kRows) {
        QTreeWidgetItem *parentRow = m_rows.value(spec.parent, nullptr);
        auto *row = parentRow ? new QTreeWidgetItem(parentRow) : new QTreeWidgetItem(this);
        row->setText(0, tr(spec.name));
        row->setData(0, Qt::UserRole, spec.code);
        m_rows.insert(spec.code, row);
        switch (spec.kind) {
        case Kind::Group:
            break;
        case Kind::Number:
            row->setText(1, QString::number(*numberField(a, spec.code)));
            break;
        case Kind::PenStyle: {
            const QStringList names = penStyleNames();
            const int style = a.imgElement.lineStyle;
            row->setText(1, names.value(style, names.first()));
            break;
        }
        case Kind::FontFamily:
            row->setText(1, a.textLabel.fontFamily);
            break;
        case Kind::Flag:
            row->setText(1, flagValue(a, spec.code) ? QStringLiteral("1") : QStringLiteral("0"));
            row->setData(1, Qt::UserRole, QStringLiteral("CheckBox"));
            break;
        case Kind::Colour: {
            row->setData(1, Qt::UserRole, QStringLiteral("Color"));
            for (int i = 0; i < 4; ++i) {
                auto *channel = new QTreeWidgetItem(row);
                channel->setText(0, tr(kChannels[i].name));
                channel->setData(0, Qt::UserRole, spec.code + 1 + i);
                channel->setData(1, Qt::UserRole, int(kChannels[i].channel));
                m_rows.insert(spec.code + 1 + i, channel);
            }
            setColorRows(row, *colourField(a, spec.code));
            break;
        }
        }
        if (m_toolDefaults && !keptByToolDefaults(spec.code) && spec.kind != Kind::Group) {
            const QString why = tr("绘制工具的默认样式不保存此项");
            row->setDisabled(true);
            row->setToolTip(0, why);
            row->setToolTip(1, why);
        }
    }
    for (QTreeWidgetItem *group : {m_rows.value(GroupItem), m_rows.value(GroupControlPoints),
                                   m_rows.value(GroupTextLabel), m_rows.value(Font)})
        group->setExpanded(true);
}

void AttributeTree::fitWidthToNames()
{
    // Wide enough for the longest name at its depth, whichever rows are expanded. Every attribute
    // has the same rows, so the width is known while the tree is still empty: the panel around
    // it keeps its width when a shape is first selected.
    const QFontMetrics metrics(font());
    int nameWidth = header()->sectionSizeHint(0);
    QHash<int, int> depths;
    const auto fit = [&](const char *name, int depth) {
        nameWidth =
            qMax(nameWidth, indentation() * depth + metrics.horizontalAdvance(tr(name)) + 16);
    };
    for (const RowSpec &spec : kRows) {
        const int depth = depths.value(spec.parent) + 1; // parents come first; -1 is the top
        depths.insert(spec.code, depth);
        fit(spec.name, depth);
        if (spec.kind == Kind::Colour)
            for (const ChannelSpec &channel : kChannels)
                fit(channel.name, depth + 1);
    }
    setColumnWidth(0, nameWidth);
    // Room for the widest editor (a colour button with its rgba text) beside the names.
    ColorToolButton widest;
    widest.setColor(QColor(255, 255, 255, 255));
    setMinimumWidth(nameWidth + widest.sizeHint().width() +
                    verticalScrollBar()->sizeHint().width() + 2 * frameWidth() + 4);
}

void AttributeTree::setColorRows(QTreeWidgetItem *colorRow, const QColor &color)
{
    colorRow->setText(1, color.name(QColor::HexArgb));
    for (int i = 0; i < colorRow->childCount(); ++i) {
        QTreeWidgetItem *channel = colorRow->child(i);
        const auto which = Qt::GlobalColor(channel->data(1, Qt::UserRole).toInt());
        channel->setText(1, QString::number(channelValue(color, which)));
    }
}

void AttributeTree::closeEditor()
{
    if (!m_editor)
        return;
    QWidget *editor = m_editor;
    m_editor = nullptr;
    m_bindings.remove(editor);
    // The editor may be the sender of the signal being handled: it stops talking to the tree
    // now and is deleted once control is back in the event loop.
    editor->disconnect(this);
    editor->hide();
    const QPointer<QWidget> guard(editor);
    for (QTreeWidgetItem *row : qAsConst(m_rows)) {
        if (itemWidget(row, 1) == editor) {
            removeItemWidget(row, 1);
            break;
        }
    }
    if (guard)
        guard->deleteLater();
}

void AttributeTree::placeEditor(QTreeWidgetItem *item, QWidget *editor, int code)
{
    editor->setAutoFillBackground(true);
    m_bindings.insert(editor, {item, code});
    m_editor = editor;
    setItemWidget(item, 1, editor);
    editor->setFocus();
}

const AttributeTree::Binding *AttributeTree::senderBinding() const
{
    const auto it = m_bindings.constFind(sender());
    return (it == m_bindings.constEnd() || !m_attribute) ? nullptr : &it.value();
}

void AttributeTree::onItemClicked(QTreeWidgetItem *item, int column)
{
    const int code = codeOf(item);
    if (column != 1 || !item || !m_attribute || code < 0 || code >= EditableLimit || code == Font ||
        item->isDisabled())
        return;
    if (itemWidget(item, 1))
        return; // its editor is already open
    closeEditor();
    Attribute &a = *m_attribute;
    const QString accessible = tr("%1 的值").arg(item->text(0));
    QWidget *editor = nullptr;

    if (int *number = numberField(a, code); number && code != LineStyle) {
        auto *spin = new QSpinBox;
        for (const RowSpec &spec : kRows) {
            if (spec.code == code)
                spin->setRange(spec.min, spec.max);
        }
        spin->setValue(item->text(1).toInt());
        connect(spin, &QSpinBox::textChanged, this, &AttributeTree::onSpinboxValueChanged);
        editor = spin;
    } else if (code == LineStyle) {
        auto *combo = new QComboBox;
        combo->addItems(penStyleNames());
        combo->setCurrentText(item->text(1));
        connect(combo, &QComboBox::currentTextChanged, this,
                &AttributeTree::onComboBoxCurrentTextChanged);
        editor = combo;
    } else if (code == FontFamily) {
        auto *combo = new QFontComboBox;
        // A list to choose from: an editable box would store every half-typed family name.
        combo->setEditable(false);
        combo->setCurrentFont(QFont(item->text(1)));
        connect(combo, &QComboBox::currentTextChanged, this,
                &AttributeTree::onComboBoxCurrentTextChanged);
        editor = combo;
    } else if (isColourCode(code)) {
        auto *button = new ColorToolButton;
        button->setColor(QColor(item->text(1)));
        button->setColorProvider(m_colorProvider);
        connect(button, &ColorToolButton::colorChanged, this, &AttributeTree::onColorChanged);
        editor = button;
    } else if (colourOfChannel(code) >= 0) {
        auto *spin = new QSpinBox;
        spin->setRange(0, 255);
        spin->setValue(item->text(1).toInt());
        connect(spin, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &AttributeTree::onSpinBoxValChanged);
        editor = spin;
    } else if (code >= Bold && code <= LetterSpacing) {
        auto *check = new QCheckBox;
        check->setChecked(item->text(1) == QLatin1String("1"));
        connect(check, &QCheckBox::stateChanged, this, &AttributeTree::onCheckBoxStateChanged);
        editor = check;
    }
    if (!editor)
        return;
    editor->setAccessibleName(accessible);
    // A screen reader reads a combo box out by its entry: what it edits is in the description.
    editor->setAccessibleDescription(
        tr("%1的%2，修改立即生效").arg(item->parent()->text(0), item->text(0)));
    placeEditor(item, editor, code);
}

void AttributeTree::onSpinboxValueChanged(const QString &text)
{
    const Binding *binding = senderBinding();
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!binding || !ok)
        return;
    int *field = numberField(*m_attribute, binding->code);
    if (!field)
        return;
    *field = value;
    binding->item->setText(1, QString::number(value));
    emit sigAttributeDataChanged();
}

void AttributeTree::onSpinBoxValChanged(int value)
{
    const Binding *binding = senderBinding();
    if (!binding)
        return;
    QTreeWidgetItem *colourRow = binding->item->parent();
    QColor *field = colourField(*m_attribute, colourOfChannel(binding->code));
    if (!colourRow || !field)
        return;
    QColor colour(colourRow->text(1));
    setChannel(colour, Qt::GlobalColor(binding->item->data(1, Qt::UserRole).toInt()), value);
    *field = colour;
    setColorRows(colourRow, colour);
    emit sigAttributeDataChanged();
}

void AttributeTree::onColorChanged(const QColor &color)
{
    const Binding *binding = senderBinding();
    if (!binding)
        return;
    QColor *field = colourField(*m_attribute, binding->code);
    if (!field)
        return;
    *field = color;
    setColorRows(binding->item, color);
    emit sigAttributeDataChanged();
}

void AttributeTree::onComboBoxCurrentTextChanged(const QString &text)
{
    const Binding *binding = senderBinding();
    if (!binding)
        return;
    if (binding->code == LineStyle) {
        const int style = penStyleNames().indexOf(text);
        if (style < 0)
            return;
        m_attribute->imgElement.lineStyle = style;
    } else if (binding->code == FontFamily) {
        if (text.isEmpty())
            return;
        m_attribute->textLabel.fontFamily = text;
    } else {
        return;
    }
    binding->item->setText(1, text);
    emit sigAttributeDataChanged();
}

void AttributeTree::onCheckBoxStateChanged(int state)
{
    const Binding *binding = senderBinding();
    if (!binding)
        return;
    const bool on = state == Qt::Checked;
    setFlag(*m_attribute, binding->code, on);
    binding->item->setText(1, on ? QStringLiteral("1") : QStringLiteral("0"));
    emit sigAttributeDataChanged();
}

void AttributeTree::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        rebuild();
    QTreeWidget::changeEvent(event);
    // The names' width changes with the language, and with the font and frame a style sheet sets
    // once the tree is polished (the frame's width follows in the base class's handling); it does
    // not change with the shape shown.
    if (event->type() == QEvent::LanguageChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::StyleChange)
        fitWidthToNames();
}
