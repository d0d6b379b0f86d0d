#include "status_tip.h"

#include "day_curve.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionFrame>
#include <QStylePainter>
#include <QToolTip>

namespace tellavo {
namespace {

// About 200 x 50 at 96 DPI; more at a higher one.
constexpr int kCurveWidth = 200;
constexpr int kCurveHeight = 50;
constexpr int kCurveGap = 4;

// A screen reader meets the tip as it meets Qt's: a tool tip named by its
// text; the description is the widget's own.
class StatusTipAccessible : public QAccessibleWidget {
public:
    explicit StatusTipAccessible(QWidget* tip) : QAccessibleWidget(tip, QAccessible::ToolTip) {}
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? static_cast<const StatusTip*>(widget())->spokenLines()
                                      : QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* accessibleTip(const QString& className, QObject* object)
{
    if (className == QLatin1String("tellavo::StatusTip") && object && object->isWidgetType())
        return new StatusTipAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

}  // namespace

StatusTip::StatusTip(QWidget* owner)
    : QLabel(owner, Qt::ToolTip | Qt::BypassGraphicsProxyWidget), m_owner(owner)
{
    static const bool described = (QAccessible::installFactory(accessibleTip), true);
    Q_UNUSED(described)
    // Qt's own name for its tip label, which styles draw as a tip.
    setObjectName(QStringLiteral("qtooltip_label"));
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());
    setTextFormat(Qt::PlainText);
    setMargin(1 + style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth, nullptr, this));
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_expire.setSingleShot(true);
    connect(&m_expire, &QTimer::timeout, this, &QWidget::hide);
}

bool StatusTip::hasCurve() const
{
    return worthACurve(m_content.day);
}

int StatusTip::curveHeight() const
{
    return hasCurve() ? qRound(kCurveHeight * std::max(1.0, logicalDpiX() / 96.0)) : 0;
}

int StatusTip::wordsHeight() const
{
    return hasCurve() && !m_content.dayWords.isEmpty() ? fontMetrics().height() : 0;
}

QRect StatusTip::curveRect() const
{
    if (!hasCurve())
        return {};
    // Below the lines, across the tip, in the room the bottom margin keeps.
    const QRect inside = contentsRect().adjusted(margin(), 0, -margin(), 0);
    return {inside.left(), contentsRect().bottom() + 1 + kCurveGap, inside.width(), curveHeight()};
}

QRect StatusTip::dayWordsRect() const
{
    const QRect curve = curveRect();
    if (curve.isEmpty() || m_content.dayWords.isEmpty())
        return {};
    return {curve.left(), curve.bottom() + 1 + kCurveGap, curve.width(), wordsHeight()};
}

void StatusTip::showAt(const QPoint& globalPos, const Content& content)
{
    const bool shown = isVisible();
    m_content = content;
    setAccessibleDescription(hasCurve() ? content.spokenDayWords : QString());
    const int below = hasCurve() ? kCurveGap + curveHeight() +
                                       (wordsHeight() ? kCurveGap + wordsHeight() : 0) + margin()
                                 : 0;
    setContentsMargins(0, 0, 0, below);
    // The lines keep the top: the label would centre them in the room.
    setText(content.lines);
    // Wide enough for the curve and for its words.
    const double scale = std::max(1.0, logicalDpiX() / 96.0);
    const int wide = hasCurve() ? std::max(qRound(kCurveWidth * scale),
                                           fontMetrics().horizontalAdvance(content.dayWords)) +
                                      4 * margin()
                                : 0;
    setMinimumWidth(wide);
    adjustSize();
    QPoint at = shown ? pos() : globalPos + QPoint(2, 16);
    if (const QScreen* screen = QGuiApplication::screenAt(globalPos)) {
        const QRect room = screen->availableGeometry();
        at.setX(std::max(room.left(), std::min(at.x(), room.right() - width() + 1)));
        if (at.y() + height() > room.bottom() + 1)
            at.setY(globalPos.y() - height() - 4);
        at.setY(std::max(room.top(), at.y()));
    }
    move(at);
    if (!shown) {
        qApp->installEventFilter(this);
        show();
    }
    update();
    // As long as Qt keeps a tip of this length.
    m_expire.start(10'000 + 40 * static_cast<int>(content.lines.size()));
}

void StatusTip::paintEvent(QPaintEvent* event)
{
    {
        QStylePainter panel(this);
        QStyleOptionFrame option;
        option.initFrom(this);
        panel.drawPrimitive(QStyle::PE_PanelTipLabel, option);
    }
    QLabel::paintEvent(event);
    if (!hasCurve())
        return;
    QPainter painter(this);
    const QColor ink = palette().color(QPalette::ToolTipText);
    paintDayCurve(painter, QRectF(curveRect()), m_content.day, m_content.threshold, ink,
                  palette().color(QPalette::ToolTipBase));
    if (const QRect words = dayWordsRect(); !words.isEmpty()) {
        painter.setPen(ink);
        painter.drawText(words, Qt::AlignLeft | Qt::AlignVCenter, m_content.dayWords);
    }
}

bool StatusTip::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::KeyPress:
        case QEvent::Wheel:
            hide();
            break;
        case QEvent::Leave:
            if (watched == m_owner)
                hide();
            break;
        default:
            break;
    }
    return false;
}

void StatusTip::hideEvent(QHideEvent* event)
{
    qApp->removeEventFilter(this);
    m_expire.stop();
    QLabel::hideEvent(event);
    // A hidden window stays among the application's windows, where a screen
    // reader would still find the tip and its figures of then.
    deleteLater();
}

}  // namespace tellavo
