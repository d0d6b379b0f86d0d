#include "status_words.h"

#include "texts.h"
#include "tip_words.h"

namespace tellavo {
namespace {

// The picture series (see picture_choice.h): the battery cell fills 11 rows,
// picture n showing 12 - n of them; the mains gauge has 10 cells, picture n
// showing 24 - n.
constexpr int kLastBatteryPicture = 12;
constexpr int kBatteryRows = 11;
constexpr int kMainsFull = 13;
constexpr int kLastMainsPicture = 24;
constexpr int kMainsCells = 10;

const QString kNoReading = QStringLiteral("Nessuna lettura");

QString percentName(int percent)
{
    if (percent == kNotReadYet)
        return QStringLiteral("Carica: nessuna lettura");
    return known(percent) ? QStringLiteral("Carica: ") + percentText(percent)
                          : QStringLiteral("Carica sconosciuta");
}

QString barDescription(int percent)
{
    if (percent == kNotReadYet)
        return kNoReading;
    return known(percent) ? percentText(percent)
                          : QStringLiteral("Carica sconosciuta, la barra resta piena");
}

QString pictureDescription(int picture)
{
    if (picture >= 1 && picture < kLastBatteryPicture)
        return QStringLiteral("In scarica, livello %1 su %2")
            .arg(kLastBatteryPicture - picture)
            .arg(kBatteryRows);
    if (picture == kLastBatteryPicture)
        return QStringLiteral("In scarica, batteria vuota");
    if (picture == kMainsFull)
        return QStringLiteral("Alimentazione da rete, carica completa");
    if (picture > kMainsFull && picture <= kLastMainsPicture)
        return QStringLiteral("Alimentazione da rete, in carica, livello %1 su %2")
            .arg(kLastMainsPicture - picture)
            .arg(kMainsCells);
    return kNoReading;
}

}  // namespace

StatusWords statusWords(const StatusInput& input)
{
    StatusWords words;
    words.window = {texts::kTitle, texts::strip::kWindowDescription};
    words.percent = {percentName(input.batteryLifePercent), QString()};
    words.bar = {texts::strip::kBarName, barDescription(input.batteryLifePercent)};
    words.picture = {texts::strip::kPictureName, pictureDescription(input.picture)};
    words.menu = {texts::strip::kMenuName, texts::strip::kMenuHint};
    words.slider = {texts::strip::kSliderName, texts::strip::kSliderDescription};
    return words;
}

}  // namespace tellavo
