#pragma once

#include "desktop_text.h"

#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

class QWidget;

namespace tellavo::caption_fit {

// The point size our windows are drawn at where their captions fit it.
constexpr double kLargestPoints = desktop_text::kFacePoints;
// Below this a caption is no longer readable; a face that needs less is used
// at this size and its captions may be cut.
constexpr double kSmallestPoints = 6.0;
// The steps tried between the two.
constexpr double kStepPoints = 0.25;

// A control that shows a caption, and every caption it may show.
struct Caption {
    const QWidget* control = nullptr;
    QStringList texts;
};

// The part of the control its caption is drawn in, in the control's own
// coordinates, less whatever a later sibling (which lies above it) covers
// from the right, as the progress bar does for the percentage label.
QRect textArea(const QWidget* control);

// Whether every text of every caption fits its control's text area at the
// window's font family in `points`.
bool fitsAt(const QWidget* window, const QList<Caption>& captions, double points);

// Every caption of the window's labels and buttons, with `more` added (texts
// a control shows later, such as the percentage).
QList<Caption> captionsOf(const QWidget* window, const QList<Caption>& more = {});

// Gives the window its font's family at the largest size up to kLargestPoints
// at which every caption fits.
void fitFont(QWidget* window, const QList<Caption>& captions);

}  // namespace tellavo::caption_fit
