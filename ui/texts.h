#pragma once

#include <QString>

// The words the windows and their boxes show, each written once. A control's
// caption keeps its "&" (the access key); a screen reader's name for it is
// given apart, without it.
namespace tellavo::texts {

inline QString title()
{
    return QStringLiteral("Tellavo");
}

inline QString welcome()
{
    return QStringLiteral("Mivor Tellavo - Benvenuti. Fare clic su ' > ' per accedere al menu.");
}

// The strip.
namespace strip {
inline QString menuHint()
{
    return QStringLiteral("Clic per aprire il menu");
}
inline QString layout(int index)
{
    return index == 3 ? QStringLiteral("&Layout 3 con opzioni")
                      : QStringLiteral("&Layout %1").arg(index);
}
inline QString info()
{
    return QStringLiteral("----- &Mivor Tellavo 1.1 -----");
}
inline QString options()
{
    return QStringLiteral("&Opzioni...");
}
inline QString exit()
{
    return QStringLiteral("&Esci");
}
inline QString windowDescription()
{
    return QStringLiteral("Indicatore della carica della batteria");
}
inline QString barName()
{
    return QStringLiteral("Carica della batteria");
}
inline QString pictureName()
{
    return QStringLiteral("Stato dell'alimentazione");
}
inline QString menuName()
{
    return QStringLiteral("Menu");
}
inline QString sliderName()
{
    return QStringLiteral("Anteprima dell'immagine di stato");
}
inline QString sliderDescription()
{
    return QStringLiteral("Sceglie una percentuale e mostra la sua immagine");
}
}  // namespace strip

// The options dialog.
namespace options {
inline QString title()
{
    return QStringLiteral("Opzioni");
}
inline QString messageCaption()
{
    return QStringLiteral("&Messaggio:");
}
inline QString thresholdCaption()
{
    return QStringLiteral("&Avvisare a:");
}
inline QString cancel()
{
    return QStringLiteral("Annulla");
}
inline QString ok()
{
    return QStringLiteral("OK");
}
inline QString alwaysOnTop()
{
    return QStringLiteral("&Sempre in primo piano");
}
inline QString outOfRange()
{
    return QStringLiteral("La soglia deve essere un numero compreso tra 0 e 255.");
}

// What a screen reader says of each control: its name and what it does.
struct Accessible {
    const char* name;
    const char* description;
};
constexpr Accessible kThreshold{
    "Avvisare a",
    "Percentuale di carica alla quale avvisare, quando il computer funziona a batteria"};
constexpr Accessible kSlider{"Soglia di avviso", "La stessa percentuale, da 0 a 100"};
constexpr Accessible kAlwaysOnTop{"Sempre in primo piano",
                                  "Solo indicativo: qui non si può modificare"};
constexpr Accessible kMessage{"Messaggio", "Testo dell'avviso di batteria scarica"};
constexpr Accessible kOk{"OK", "Salva le impostazioni e chiude"};
constexpr Accessible kCancel{"Annulla", "Chiude senza cambiare nulla"};
}  // namespace options

}  // namespace tellavo::texts
