// The words of the tool tip and of the screen reader, from the state; and
// what the tip makes of each fixture tree of the kernel's files.
#include "bus_services.h"
#include "day_curve.h"
#include "status_words.h"
#include "sysfs_power_source.h"
#include "tip_words.h"

#include <QSet>
#include <QTest>

#include <limits>

using namespace tellavo;

Q_DECLARE_METATYPE(tellavo::BatteryDetails)
Q_DECLARE_METATYPE(std::vector<tellavo::LevelPoint>)

namespace {

constexpr int kOff = power::kAcOffline;
constexpr int kOn = power::kAcOnline;
constexpr int kUnknown = power::kUnknown;
constexpr double kHour = 3600.0;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

class TestStatusWords : public QObject {
    Q_OBJECT
private slots:
    void tip_data();
    void tip();
    void fixtureTips_data();
    void fixtureTips();
    void spokenTimes_data();
    void spokenTimes();
    void percentWords_data();
    void percentWords();
    void pictureWords_data();
    void pictureWords();
    void everyPictureReadsApart();
    void dayInWords_data();
    void dayInWords();
};

void TestStatusWords::tip_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("percent");
    QTest::addColumn<BatteryDetails>("details");
    QTest::addColumn<QString>("tip");

    const auto with = [](const char* tag, int line, int percent, const BatteryDetails& details,
                         const char* tip) {
        QTest::newRow(tag) << line << percent << details << QString::fromUtf8(tip);
    };
    const auto row = [&](const char* tag, int line, int percent, ChargeState state, double toEmpty,
                         double toFull, const char* tip) {
        BatteryDetails details;
        details.state = state;
        details.secondsToEmpty = toEmpty;
        details.secondsToFull = toFull;
        with(tag, line, percent, details, tip);
    };
    using S = ChargeState;
    row("discharging", kOff, 57, S::Discharging, 3900, 0,
        "In scarica: 57%, circa 1 h 5 min rimanenti");
    row("discharging, time 0 is not known yet", kOff, 57, S::Discharging, 0, 0, "In scarica: 57%");
    row("discharging, under a minute", kOff, 3, S::Discharging, 45, 0,
        "In scarica: 3%, meno di 1 min rimanente");
    row("to the nearest minute, up", kOff, 57, S::Discharging, 3931, 0,
        "In scarica: 57%, circa 1 h 6 min rimanenti");
    row("more than a day", kOff, 99, S::Discharging, 30 * kHour + 60, 0,
        "In scarica: 99%, più di un giorno rimanente");
    row("a day to the minute", kOff, 99, S::Discharging, 24 * kHour, 0,
        "In scarica: 99%, circa 24 h rimanenti");
    row("past ten days: no time", kOff, 99, S::Discharging, 240 * kHour + 1, 0, "In scarica: 99%");
    row("negative: no time", kOff, 57, S::Discharging, -3900, 0, "In scarica: 57%");
    row("NaN: no time", kOff, 57, S::Discharging, kNaN, 0, "In scarica: 57%");
    row("huge: no time", kOff, 57, S::Discharging, 9e15, 0, "In scarica: 57%");
    row("discharging tells no time to full", kOff, 57, S::Discharging, 0, 2700, "In scarica: 57%");
    row("discharging, percentage 255", kOff, kUnknown, S::Discharging, 2 * kHour, 0,
        "In scarica, circa 2 h rimanenti");

    row("charging", kOn, 88, S::Charging, 0, 2700,
        "In carica: 88%, carica completa tra circa 45 min");
    row("charging, under a minute", kOn, 99, S::Charging, 0, 20,
        "In carica: 99%, carica completa tra meno di 1 min");
    // Around the minute and the hour, to the nearest minute.
    const struct {
        const char* tag;
        double seconds;
        const char* left;
        const char* full;
    } times[] = {{"59 s", 59, "meno di 1 min rimanente", "meno di 1 min"},
                 {"60 s", 60, "circa 1 min rimanente", "circa 1 min"},
                 {"89 s", 89, "circa 1 min rimanente", "circa 1 min"},
                 {"90 s", 90, "circa 2 min rimanenti", "circa 2 min"},
                 {"44 min 29 s", 44 * 60 + 29, "circa 44 min rimanenti", "circa 44 min"},
                 {"59 min 29 s", 59 * 60 + 29, "circa 59 min rimanenti", "circa 59 min"},
                 {"59 min 30 s", 59 * 60 + 30, "circa 1 h rimanente", "circa 1 h"},
                 {"1 h", kHour, "circa 1 h rimanente", "circa 1 h"},
                 {"1 h 1 min", kHour + 60, "circa 1 h 1 min rimanente", "circa 1 h 1 min"},
                 {"1 h 5 min", kHour + 300, "circa 1 h 5 min rimanenti", "circa 1 h 5 min"},
                 {"past a day", 25 * kHour, "più di un giorno rimanente", "più di un giorno"}};
    for (const auto& t : times) {
        BatteryDetails details;
        details.state = S::Discharging;
        details.secondsToEmpty = t.seconds;
        QTest::addRow("discharging, %s", t.tag)
            << kOff << 50 << details << QStringLiteral("In scarica: 50%, ") + t.left;
        details = {};
        details.state = S::Charging;
        details.secondsToFull = t.seconds;
        QTest::addRow("charging, %s", t.tag)
            << kOn << 50 << details
            << QStringLiteral("In carica: 50%, carica completa tra ") + t.full;
    }
    row("full", kOn, 100, S::Full, 0, 0, "Carica completa");
    row("full short of 100", kOn, 98, S::Full, 0, 0, "Carica completa: 98%");
    row("not charging on mains", kOn, 80, S::NotCharging, 0, 0,
        "Alimentazione da rete, non in carica: 80%");
    row("empty", kOff, 0, S::Empty, 0, 0, "Batteria scarica: 0%");
    row("no battery on mains", kOn, kUnknown, S::NoBattery, 0, 0,
        "Alimentazione da rete, nessuna batteria");
    // The strip shows a charge: never "no battery" beside it.
    row("no battery told, a charge on battery", kOff, 57, S::NoBattery, 0, 0, "In scarica: 57%");
    row("no battery told, a charge on mains", kOn, 57, S::NoBattery, 0, 0,
        "Alimentazione da rete: 57%\nStato della batteria sconosciuto");

    row("unknown, nothing known", kUnknown, kUnknown, S::Unknown, 0, 0,
        "Stato della batteria sconosciuto");
    row("unknown on battery is discharging", kOff, 57, S::Unknown, 3900, 0,
        "In scarica: 57%, circa 1 h 5 min rimanenti");
    row("unknown on mains: two lines", kOn, 80, S::Unknown, 0, 0,
        "Alimentazione da rete: 80%\nStato della batteria sconosciuto");
    row("unknown, line unknown: two lines", kUnknown, 57, S::Unknown, 0, 0,
        "Carica: 57%\nStato della batteria sconosciuto");

    // What the batteries and devices tell, line by line.
    const auto pack = [](int percent, S state, int limitEnd = -1, int limitStart = -1) {
        BatteryPack p;
        p.percent = percent;
        p.state = state;
        p.limitEnd = limitEnd;
        p.limitStart = limitStart;
        return p;
    };
    BatteryDetails two{
        S::Discharging, 3900, 0, 12.44, {pack(80, S::Discharging), pack(35, S::Discharging)}, {}};
    two.batteries[0].model = QStringLiteral("45N1029");
    two.batteries[0].healthPercent = 87;
    two.batteries[0].cycles = 312;
    with("two batteries, watts", kOff, 57, two,
         "In scarica: 57%, circa 1 h 5 min rimanenti\nConsumo: 12,4 W\n"
         "Batteria 1 (45N1029): 80%, in scarica, salute 87%, 312 cicli\n"
         "Batteria 2: 35%, in scarica");
    BatteryDetails one{S::Charging, 0, 0, 30.06, {pack(62, S::Charging)}, {}};
    one.batteries[0].healthPercent = 87;
    one.batteries[0].cycles = 1;
    with("one battery: health, charging watts", kOn, 62, one,
         "In carica: 62%\nIn carica a 30,1 W\nCapacità: 87% dell'originale, 1 ciclo");
    one.batteries[0].healthPercent = -1;
    one.batteries[0].cycles = 40;
    one.watts = 0.0;
    with("one battery: cycles alone, watts unknown", kOn, 62, one,
         "In carica: 62%\nCicli di carica: 40");
    BatteryDetails ups{S::Discharging, 2400, 0, 0, {pack(57, S::Discharging)}, {}};
    ups.batteries[0].ups = true;
    with("a UPS alone, named", kOff, 57, ups,
         "In scarica: 57%, circa 40 min rimanenti\nGruppo di continuità");
    ups.batteries[0].model = QStringLiteral("Back-UPS ES 700");
    ups.batteries[0].healthPercent = 90;
    with("a UPS alone, its model and health", kOff, 57, ups,
         "In scarica: 57%, circa 40 min rimanenti\nGruppo di continuità (Back-UPS ES 700): "
         "salute 90%");
    // A time from this moment's rate alone is told coarsely.
    BatteryDetails provisional{S::Discharging, 10260, 0, 0, {}, {}, true};
    with("provisional: to a quarter hour", kOff, 57, provisional,
         "In scarica: 57%, circa 2 h 45 min rimanenti");
    provisional.secondsToEmpty = 1380;
    with("provisional under an hour: to five minutes", kOff, 57, provisional,
         "In scarica: 57%, circa 25 min rimanenti");
    provisional.secondsToEmpty = 200;
    with("provisional, a few minutes: as they are", kOff, 2, provisional,
         "In scarica: 2%, circa 3 min rimanenti");
    with("charging to the limit", kOn, 62,
         {S::Charging, 0, 1800, 0, {pack(62, S::Charging, 80)}, {}},
         "In carica: 62%, limite di carica (80%) tra circa 30 min");
    with("paused at the limit", kOn, 80,
         {S::NotCharging, 0, 0, 3.2, {pack(80, S::NotCharging, 80)}, {}},
         "In pausa al limite di carica: 80%");
    with("paused between start and limit", kOn, 78,
         {S::NotCharging, 0, 0, 0, {pack(78, S::NotCharging, 80, 75)}, {}},
         "In pausa al limite di carica (80%): 78%");
    with("below the limit, no start: not the limit", kOn, 78,
         {S::NotCharging, 0, 0, 0, {pack(78, S::NotCharging, 80)}, {}},
         "Alimentazione da rete, non in carica: 78%");
    with("at the limit on battery: not paused", kOff, 80,
         {S::NotCharging, 0, 0, 0, {pack(80, S::NotCharging, 80)}, {}}, "Non in carica: 80%");
    with(
        "two limits that differ", kOn, 85,
        {S::NotCharging, 0, 0, 0, {pack(80, S::NotCharging, 80), pack(90, S::NotCharging, 90)}, {}},
        "In pausa al limite di carica: 85%\n"
        "Batteria 1: 80%, in pausa al limite di carica (80%)\n"
        "Batteria 2: 90%, in pausa al limite di carica (90%)");
    with("devices, one without a reading", kOff, 57,
         {S::Discharging,
          0,
          0,
          0,
          {pack(57, S::Discharging)},
          {{DeviceKind::Mouse, QStringLiteral("MX Master 3"), 40},
           {DeviceKind::Keyboard, {}, 60},
           {DeviceKind::Headset, {}, -1}}},
         "In scarica: 57%\nMouse (MX Master 3): 40%\nTastiera: 60%");
}

void TestStatusWords::tip()
{
    QFETCH(int, line);
    QFETCH(int, percent);
    QFETCH(BatteryDetails, details);
    QFETCH(QString, tip);

    QCOMPARE(tipWords({line, percent, details}), tip);
}

void TestStatusWords::fixtureTips_data()
{
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("tip");
    const auto row = [](const char* tree, const char* tip) {
        QTest::newRow(tree) << tree << QString::fromUtf8(tip);
    };
    row("laptop_on_battery",
        "In scarica: 57%, circa 2 h 45 min rimanenti\nConsumo: 10,0 W\n"
        "Capacità: 88% dell'originale");
    row("laptop_charging", "In carica: 88%, carica completa tra circa 30 min\nIn carica a 12,0 W");
    row("two_batteries",
        "In scarica: 60%, circa 4 h rimanenti\nConsumo: 15,0 W\n"
        "Batteria 1: 100%, carica completa\nBatteria 2: 50%, in scarica");
    row("desktop", "Alimentazione da rete, nessuna batteria");
    row("charge_units",
        "In scarica: 64%, circa 3 h rimanenti\nConsumo: 17,1 W\n"
        "Batteria 1: 50%, in scarica\nBatteria 2: 75%, in scarica");
    row("energy_and_charge", "In carica: 50%");
    row("usb_c_charger", "In carica: 70%");
    row("battery_only_charging", "In carica: 35%");
    row("limit_two_packs",
        "In pausa al limite di carica (80%): 87%\n"
        "Batteria 1 (5B10W13975): 80%, in pausa al limite di carica (80%), salute 90%, "
        "512 cicli\nBatteria 2: 100%, carica completa");
}

// What the tip makes of all that the files of each fixture tree say.
void TestStatusWords::fixtureTips()
{
    QFETCH(QString, tree);
    QFETCH(QString, tip);
    SysfsPowerSource source(tellavo::test::fixture(qPrintable(tree)).toStdString());
    const PowerReading reading = source.read();
    QCOMPARE(tipWords({reading.acLineStatus, reading.batteryLifePercent, source.batteryDetails()}),
             tip);
}

// A time as a speech synthesiser is given it: no "h" or "min" to spell.
void TestStatusWords::spokenTimes_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<bool>("provisional");
    QTest::addColumn<QString>("spoken");
    const auto row = [](const char* tag, double seconds, bool provisional, const char* spoken) {
        QTest::newRow(tag) << seconds << provisional << QString::fromUtf8(spoken);
    };
    row("2 h 30 min", 9000, false, "circa 2 ore e 30 minuti");
    row("1 h 1 min", 3660, false, "circa 1 ora e 1 minuto");
    row("1 h", kHour, false, "circa 1 ora");
    row("2 h", 2 * kHour, false, "circa 2 ore");
    row("45 min", 2700, false, "circa 45 minuti");
    row("1 min", 60, false, "circa 1 minuto");
    row("45 s", 45, false, "meno di un minuto");
    row("past a day", 100'000, false, "più di un giorno");
    row("provisional 2 h 51 min", 10260, true, "circa 2 ore e 45 minuti");
    row("none", 0, false, "");
}

void TestStatusWords::spokenTimes()
{
    QFETCH(double, seconds);
    QFETCH(bool, provisional);
    QFETCH(QString, spoken);
    QCOMPARE(durationText(seconds, provisional, Voice::Speech), spoken);
}

void TestStatusWords::percentWords_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("bar");
    QTest::newRow("57") << 57 << "Carica: 57%"
                        << "57%";
    // The label shows "!" and the bar stands full: neither says 100 %.
    QTest::newRow("255") << kUnknown << "Carica sconosciuta"
                         << "Carica sconosciuta, la barra resta piena";
    QTest::newRow("before the first reading") << kNotReadYet << "Carica: nessuna lettura"
                                              << "Nessuna lettura";
}

void TestStatusWords::percentWords()
{
    QFETCH(int, percent);
    QFETCH(QString, label);
    QFETCH(QString, bar);
    StatusInput in;
    in.batteryLifePercent = percent;
    const StatusWords words = statusWords(in);
    QCOMPARE(words.percent.name, label);
    QCOMPARE(words.bar.name, QStringLiteral("Carica della batteria"));
    QCOMPARE(words.bar.description, bar);
}

// What each picture shows, as a sighted user reads it: the battery cell's
// rows of charge, the mains gauge's red cells.
void TestStatusWords::pictureWords_data()
{
    QTest::addColumn<int>("picture");
    QTest::addColumn<QString>("description");
    QTest::newRow("5") << 5 << "In scarica, livello 7 su 11";
    QTest::newRow("11, one row") << 11 << "In scarica, livello 1 su 11";
    QTest::newRow("12, empty cell") << 12 << "In scarica, batteria vuota";
    QTest::newRow("13, mains full") << 13 << "Alimentazione da rete, carica completa";
    QTest::newRow("14, gauge full") << 14 << "Alimentazione da rete, in carica, livello 10 su 10";
    QTest::newRow("24, gauge empty") << 24 << "Alimentazione da rete, in carica, livello 0 su 10";
    QTest::newRow("25, no reading") << 25 << "Nessuna lettura";
}

void TestStatusWords::pictureWords()
{
    QFETCH(int, picture);
    QFETCH(QString, description);
    StatusInput in;
    in.picture = picture;
    QCOMPARE(statusWords(in).picture.description, description);
}

void TestStatusWords::everyPictureReadsApart()
{
    QSet<QString> seen;
    for (int picture = 1; picture <= kPictureCount; ++picture) {
        StatusInput in;
        in.picture = picture;
        seen.insert(statusWords(in).picture.description);
    }
    QCOMPARE(seen.size(), kPictureCount);
}

// The day's curve in words, as the eye reads them under the curve and as a
// screen reader speaks them; ms is each point's age.
void TestStatusWords::dayInWords_data()
{
    QTest::addColumn<std::vector<LevelPoint>>("day");
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("spoken");
    constexpr std::int64_t h = 3'600'000;
    constexpr std::int64_t m = 60'000;
    const auto row = [](const char* tag, const std::vector<LevelPoint>& day, const char* words,
                        const char* spoken = nullptr) {
        QTest::newRow(tag) << day << QString::fromUtf8(words)
                           << QString::fromUtf8(spoken ? spoken : words);
    };
    row("a day, plugged in twice and out twice",
        {{24 * h, 95.4, false},
         {20 * h, 60, true},
         {16 * h, 90, false},
         {4 * h, 50, true},
         {2 * h, 80, false},
         {0, 57, false}},
        "Ultime 24 ore: dal 95% al 57%, collegato alla rete 2 volte, scollegato 2 volte");
    row("since the start, 3 h, once", {{3 * h, 40, false}, {h, 70, true}, {0, 71, true}},
        "Ultime 3 ore: dal 40% al 71%, collegato alla rete 1 volta");
    row("an hour on battery, from 80 %", {{h, 80, false}, {0, 70, false}},
        "Ultima ora: dall'80% al 70%");
    row("40 min on mains", {{40 * m, 99, true}, {0, 100, true}},
        "Ultimi 40 min: dal 99% al 100%, alimentazione da rete",
        "Ultimi 40 minuti: dal 99% al 100%, alimentazione da rete");
    row("on mains at first, unplugged since: not all on mains",
        {{2 * h, 82, true}, {h, 85, false}, {0, 70, false}},
        "Ultime 2 ore: dall'82% al 70%, scollegato 1 volta");
    row("elided before a vowel: otto, undici, uno",
        {{3 * h, 8, false}, {2 * h, 11, true}, {0, 1, false}},
        "Ultime 3 ore: dall'8% all'1%, collegato alla rete 1 volta, scollegato 1 volta");
    row("to 11 %", {{2 * h, 18, false}, {0, 11, false}}, "Ultime 2 ore: dal 18% all'11%");
    row("one minute", {{m, 57, false}, {0, 57, false}}, "Ultimo minuto: dal 57% al 57%");
    row("rounded as the strip rounds: half to even", {{2 * h, 58.5, false}, {0, 57.5, false}},
        "Ultime 2 ore: dal 58% al 58%");
    row("one point: nothing yet", {{0, 57, false}}, "");
    row("seconds of it: nothing yet", {{50'000, 57, false}, {0, 57, false}}, "");
}

void TestStatusWords::dayInWords()
{
    QFETCH(std::vector<LevelPoint>, day);
    QFETCH(QString, words);
    QFETCH(QString, spoken);
    QCOMPARE(dayWords(day), words);
    QCOMPARE(dayWords(day, Voice::Speech), spoken);
}

QTEST_APPLESS_MAIN(TestStatusWords)
#include "tst_status_words.moc"
