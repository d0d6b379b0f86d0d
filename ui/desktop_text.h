#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace tellavo::desktop_text {

// Where Debian's fonts-wine puts Wine's Tahoma: a free face with Tahoma's
// metrics, outside the folders fontconfig searches.
inline const QStringList kWineTahoma = {QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"),
                                        QStringLiteral("/usr/share/wine/fonts/tahomabd.ttf")};

// Installs Qt's own strings (a text box's menu, standard buttons) in Italian,
// whatever the user's locale, from Qt's translations folder or `folder`. A
// missing or damaged file is no reason not to start: false, and Qt's English.
bool installQtItalian(QCoreApplication& app, const QString& folder = QString());

// The face every window is drawn in, at this size where its captions fit.
inline const QString kFace = QStringLiteral("Tahoma");
constexpr double kFacePoints = 8.25;

// Makes the face the application's, for every window made from now on.
void useFace();

// Registers the faces in `files` with Qt so that "Tahoma" resolves to them.
// Returns how many were taken; missing or damaged files are passed over.
int registerTahoma(const QStringList& files = kWineTahoma);

}  // namespace tellavo::desktop_text
