#pragma once

#include "battery_model.h"

#include <QLabel>
#include <QTimer>

#include <vector>

namespace tellavo {

// The strip's tool tip: its lines and, under them, the day's charge as a
// curve across the tip's width with its words. Made here rather than by
// QToolTip, which shows text only. It reads as a tool tip to a screen reader,
// named by its lines as spoken, the curve in words as its description; it
// goes as Qt's tips go: at a press, a key, the wheel, the pointer leaving its
// owner, or after a while; and once hidden it deletes itself.
class StatusTip : public QLabel {
    Q_OBJECT
public:
    explicit StatusTip(QWidget* owner);

    // What the tip shows: its lines and, under them, the day's curve with
    // its words; and the same for speech.
    struct Content {
        QString lines;
        QString spokenLines;
        std::vector<LevelPoint> day;
        QString dayWords;
        QString spokenDayWords;
        int threshold = 0;
    };

    // Shows the tip near globalPos, or changes it in place when it is shown.
    void showAt(const QPoint& globalPos, const Content& content);
    // What a screen reader is told: the lines as its name, the curve in
    // words as its description.
    QString spokenLines() const { return m_content.spokenLines; }
    // Where the curve is drawn, in the tip; empty without one.
    QRect curveRect() const;
    // Where its words are written, under it.
    QRect dayWordsRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool hasCurve() const;
    int curveHeight() const;
    int wordsHeight() const;

    QWidget* m_owner;
    QTimer m_expire;
    Content m_content;
};

}  // namespace tellavo
