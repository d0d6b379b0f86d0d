#include "status_tip.h"

#include "day_curve.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
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
        return t == QAccessible::Name ? static_cast<const QLabel*>(widget())->text()
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

QSize StatusTip::curveSize() const
{
    if (m_day.size() < 2)
        return {};
    const double scale = std::max(1.0, logicalDpiX() / 96.0);
    return {qRound(kCurveWidth * scale), qRound(kCurveHeight * scale)};
}

QRect StatusTip::curveRect() const
{
    const QSize size = curveSize();
    if (size.isEmpty())
        return {};
    // Below the lines, in the room the bottom contents margin keeps.
    return {contentsRect().left() + margin(), contentsRect().bottom() + 1 + kCurveGap, size.width(),
            size.height() - margin()};
}

void StatusTip::showAt(const QPoint& globalPos, const QString& text,
                       const std::vector<LevelPoint>& day, int threshold)
{
    const bool shown = isVisible();
    m_day = day;
    m_threshold = threshold;
    const QSize curve = curveSize();
    setContentsMargins(0, 0, 0, curve.isEmpty() ? 0 : curve.height() + kCurveGap);
    // The lines keep the top: the label would centre them in the room.
    setText(text);
    // Under the lines, wide enough for the curve.
    setMinimumWidth(curve.isEmpty() ? 0 : curve.width() + 2 * margin());
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
    m_expire.start(10'000 + 40 * static_cast<int>(text.size()));
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
    if (m_day.size() >= 2) {
        QPainter painter(this);
        paintDayCurve(painter, QRectF(curveRect()).adjusted(0.5, 0.5, -0.5, -0.5), m_day,
                      m_threshold, palette().color(QPalette::ToolTipText));
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
}

}  // namespace tellavo
