#pragma once

#include "battery_details.h"

#include <QLabel>
#include <QTimer>

#include <vector>

namespace tellavo {

// The strip's tool tip: its lines and, under them, the day's charge as a
// curve. Made here rather than by QToolTip, which shows text only. It reads
// as a tool tip to a screen reader, with the lines and the curve in words as
// its description; it goes as Qt's tips go: at a press, a key, the wheel,
// the pointer leaving its owner, or after a while.
class StatusTip : public QLabel {
    Q_OBJECT
public:
    explicit StatusTip(QWidget* owner);

    // Shows the tip near globalPos, or changes it in place when it is shown.
    void showAt(const QPoint& globalPos, const QString& text, const std::vector<LevelPoint>& day,
                int threshold);
    const std::vector<LevelPoint>& day() const { return m_day; }
    // Where the curve is drawn, in the tip; empty without one.
    QRect curveRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QSize curveSize() const;

    QWidget* m_owner;
    QTimer m_expire;
    std::vector<LevelPoint> m_day;
    int m_threshold = 0;
};

}  // namespace tellavo
