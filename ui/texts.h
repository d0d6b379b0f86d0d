#pragma once

#include <QString>

// The words the windows and their boxes show, each written once. A control's
// caption keeps its "&" (the access key); a screen reader's name for it is
// given apart, without it.
namespace tellavo::texts {

inline const QString kTitle = QStringLiteral("Tellavo");
inline const QString kWelcome =
    QStringLiteral("Mivor Tellavo - Benvenuti. Fare clic su ' > ' per accedere al menu.");

// The strip.
namespace strip {
inline const QString kMenuHint = QStringLiteral("Clic per aprire il menu");
inline QString layout(int index)
{
    return index == 3 ? QStringLiteral("&Layout 3 con opzioni")
                      : QStringLiteral("&Layout %1").arg(index);
}
inline const QString kInfo = QStringLiteral("----- &Mivor Tellavo 1.1 -----");
inline const QString kOptions = QStringLiteral("&Opzioni...");
inline const QString kExit = QStringLiteral("&Esci");
inline const QString kWindowDescription = QStringLiteral("Indicatore della carica della batteria");
inline const QString kBarName = QStringLiteral("Carica della batteria");
inline const QString kPictureName = QStringLiteral("Stato dell'alimentazione");
inline const QString kMenuName = QStringLiteral("Menu");
inline const QString kSliderName = QStringLiteral("Anteprima dell'immagine di stato");
inline const QString kSliderDescription =
    QStringLiteral("Sceglie una percentuale e mostra la sua immagine");
}  // namespace strip

// The options dialog.
namespace options {
inline const QString kTitle = QStringLiteral("Opzioni");
inline const QString kMessageCaption = QStringLiteral("&Messaggio:");
inline const QString kThresholdCaption = QStringLiteral("&Avvisare a:");
inline const QString kCancelCaption = QStringLiteral("Annulla");
inline const QString kOkCaption = QStringLiteral("OK");
inline const QString kAlwaysOnTopCaption = QStringLiteral("&Sempre in primo piano");
inline const QString kOutOfRange =
    QStringLiteral("La soglia deve essere un numero compreso tra 0 e 255.");

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
