#include "desktop_text.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QTranslator>

namespace tellavo::desktop_text {

bool installQtItalian(QCoreApplication& app, const QString& folder)
{
    const QString dir =
        folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
    auto* translator = new QTranslator(&app);
    // load() checks the file's magic and structure; anything else it refuses.
    if (!translator->load(QStringLiteral("qtbase_it"), dir) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

void useFace()
{
    QFont face(kFace);
    face.setPointSizeF(kFacePoints);
    QApplication::setFont(face);
}

int registerTahoma(const QStringList& files)
{
    int taken = 0;
    for (const QString& file : files) {
        const int id = QFontDatabase::addApplicationFont(file);
        if (id < 0)
            continue;
        // Only a face that calls itself Tahoma may stand in for it.
        if (!QFontDatabase::applicationFontFamilies(id).contains(kFace)) {
            QFontDatabase::removeApplicationFont(id);
            continue;
        }
        ++taken;
    }
    return taken;
}

}  // namespace tellavo::desktop_text
