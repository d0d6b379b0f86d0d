#include "caption_fit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace tellavo::caption_fit {

namespace {

// "&Avvisare a:" shows as "Avvisare a:"; "&&" shows one "&".
QString shown(const QString& caption)
{
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i;
        text.append(caption[i]);
    }
    return text;
}

QRect buttonTextArea(const QAbstractButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    if (const auto* push = qobject_cast<const QPushButton*>(button)) {
        if (push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (push->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
    }
    if (qobject_cast<const QCheckBox*>(button))
        return button->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, button);
    const QStyle* style = button->style();
    QRect area = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    // Keeps the caption off the button's frame on both sides.
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) / 2;
    return area.adjusted(margin, 0, -margin, 0);
}

// The label's, button's or check box's caption texts as the user sees them
// (access key marks taken out), or none for other controls.
Caption captionOf(const QWidget* control)
{
    QString text;
    bool marks = true;
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        text = label->text();
        // A label shows its access key only when it has a buddy to give it to.
        marks = label->buddy() != nullptr;
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        text = button->text();
    }
    if (marks)
        text = shown(text);
    // Blanks at the end draw nothing: cutting them off cuts nothing.
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    if (text.isEmpty())
        return {control, {}};
    return {control, {text}};
}

}  // namespace

QRect textArea(const QWidget* control)
{
    QRect area = control->contentsRect();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        area = buttonTextArea(button);
    const QWidget* parent = control->parentWidget();
    if (!parent)
        return area;
    const QRect own = control->geometry();
    // What lies beyond the parent's edge is not shown.
    area = area.intersected(QRect(-own.topLeft(), parent->size()));
    const QObjectList& siblings = parent->children();
    // Children are stacked in the order of this list, the last on top.
    for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(control)) + 1; i < siblings.size();
         ++i) {
        const auto* above = qobject_cast<const QWidget*>(siblings[i]);
        if (!above || above->isWindow() || above->isHidden())
            continue;
        const QRect covered = above->geometry().intersected(own);
        // What covers the control from some point to its right edge (the bar
        // over the percentage label, the message box over its label) shortens
        // the caption's room.
        if (!covered.isEmpty() && covered.right() >= own.right())
            area.setRight(qMin(area.right(), covered.left() - own.left() - 1));
    }
    return area;
}

bool fitsAt(const QWidget* window, const QList<Caption>& captions, double points)
{
    QFont font = window->font();
    font.setPointSizeF(points);
    const QFontMetricsF metrics(font);
    for (const Caption& caption : captions) {
        const QRect area = textArea(caption.control);
        if (metrics.height() > area.height())
            return false;
        for (const QString& text : caption.texts)
            if (metrics.horizontalAdvance(text) > area.width())
                return false;
    }
    return true;
}

QList<Caption> captionsOf(const QWidget* window, const QList<Caption>& more)
{
    QList<Caption> captions;
    for (const QWidget* child : window->findChildren<QWidget*>()) {
        if (child->isWindow())
            continue;
        Caption caption = captionOf(child);
        for (const Caption& extra : more)
            if (extra.control == child)
                caption.texts += extra.texts;
        if (!caption.texts.isEmpty())
            captions.append(caption);
    }
    return captions;
}

void fitFont(QWidget* window, const QList<Caption>& captions)
{
    // Quarter points are exact in binary, so the steps land on kSmallestPoints.
    double size = kLargestPoints;
    while (size > kSmallestPoints && !fitsAt(window, captions, size))
        size -= kStepPoints;
    QFont font = window->font();
    font.setPointSizeF(size);
    window->setFont(font);
}

}  // namespace tellavo::caption_fit
