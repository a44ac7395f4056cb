// WidgetLook.cpp: language switch, clipped-text finder and screenshots for widget tests.
#include "WidgetLook.h"

#include "resources/QuorixResources.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTranslator>
#include <QTreeWidget>

#include <cmath>

namespace WidgetLook {

bool setEnglish(bool english)
{
    static QTranslator *translator = nullptr;
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
    }
    if (english) {
        QuorixResources::init();
        translator = new QTranslator;
        if (!translator->load(QStringLiteral(":/translations/quorix_en.qm"))) {
            delete translator;
            translator = nullptr;
            return false;
        }
        QCoreApplication::installTranslator(translator);
    }
    // LanguageChange events are posted; deliver them now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    // Then the layout requests and whatever the widgets queued in answer.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return true;
}

QStringList clippedTexts(QWidget *root)
{
    QStringList clipped;
    const auto report = [&](const QWidget *w, const QString &text) {
        clipped.append(w->objectName() + QStringLiteral(": ") + text);
    };
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *w : widgets) {
        if (!w->isVisible())
            continue;
        if (auto *label = qobject_cast<QLabel *>(w)) {
            if (label->text().isEmpty())
                continue;
            const bool tooNarrow = !label->wordWrap() && label->width() < label->sizeHint().width();
            const bool tooLow =
                label->wordWrap() && label->height() < label->heightForWidth(label->width());
            if (tooNarrow || tooLow)
                report(label, label->text());
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            if (!button->text().isEmpty() && button->width() < button->sizeHint().width())
                report(button, button->text());
        } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            option.editable = combo->isEditable();
            const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                               QStyle::SC_ComboBoxEditField, combo);
            if (field.width() < combo->fontMetrics().horizontalAdvance(combo->currentText()))
                report(combo, combo->currentText());
        } else if (auto *spin = qobject_cast<QAbstractSpinBox *>(w)) {
            if (spin->width() < spin->sizeHint().width())
                report(spin, spin->text());
        } else if (auto *header = qobject_cast<QHeaderView *>(w)) {
            for (int i = 0; i < header->count(); ++i) {
                if (!header->isSectionHidden(i) &&
                    header->sectionSize(i) < header->sectionSizeHint(i))
                    report(header,
                           header->model()->headerData(i, header->orientation()).toString());
            }
        } else if (auto *tree = qobject_cast<QTreeWidget *>(w)) {
            const QFontMetrics metrics(tree->font());
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                QTreeWidgetItem *item = *it;
                if (tree->visualItemRect(item).isEmpty())
                    continue; // collapsed away
                int depth = 0;
                for (QTreeWidgetItem *up = item->parent(); up; up = up->parent())
                    ++depth;
                const int needed = tree->indentation() * (depth + 1) +
                                   metrics.horizontalAdvance(item->text(0)) + 8;
                if (needed > tree->columnWidth(0))
                    report(tree, item->text(0));
            }
        }
    }
    return clipped;
}

void saveScreenshot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("QUORIX_RENDER_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

QStringList unreachedByTab(QWidget *window)
{
    QList<QWidget *> wanted;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const auto *radio = qobject_cast<QRadioButton *>(w);
        if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
            !w->focusProxy() && !(radio && radio->autoExclusive() && !radio->isChecked()))
            wanted.append(w);
    }
    // Twice round the whole chain at most.
    for (int i = 2 * wanted.size() + 2; i > 0 && !wanted.isEmpty(); --i) {
        QWidget *focused = QApplication::focusWidget();
        if (!focused || focused->window() != window)
            break;
        wanted.removeAll(focused);
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    QStringList names;
    for (const QWidget *w : qAsConst(wanted))
        names << w->objectName();
    return names;
}

double textContrast(QWidget *widget)
{
    return textContrast(widget->grab().toImage());
}

double textContrast(const QImage &picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    // Relative luminance of an sRGB colour.
    const auto luminance = [](QRgb rgb) {
        const auto channel = [](int value) {
            const double c = value / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
               0.0722 * channel(qBlue(rgb));
    };
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb background = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(background))
            background = it.key();
    }
    const double back = luminance(background);
    double text = back;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (std::abs(luminance(it.key()) - back) > std::abs(text - back))
            text = luminance(it.key());
    }
    return (qMax(back, text) + 0.05) / (qMin(back, text) + 0.05);
}

} // namespace WidgetLook
