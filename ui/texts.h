#pragma once

#include <QString>

// The words the user reads that more than one window or box shows, each once.
namespace tellavo::texts {

inline QString title()
{
    return QStringLiteral("Tellavo");
}

inline QString welcome()
{
    return QStringLiteral("Mivor Tellavo - Benvenuti. Fare clic su ' > ' per accedere al menu.");
}

}  // namespace tellavo::texts
