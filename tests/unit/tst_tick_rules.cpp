// The picture choice and the pure steps of the one-second tick.
#include "data_row.h"
#include "mouse_routing.h"
#include "picture_choice.h"
#include "tick_rules.h"

#include <QTest>

using tellavo::test::row;

using namespace tellavo;

Q_DECLARE_METATYPE(tellavo::MouseTarget)

namespace {

// The bands as a reader checks them on the pictures, not derived from the
// formula: {first percent, last percent, picture}.
struct Band {
    int from, to, picture;
};
const Band kBattery[] = {{96, 100, 1}, {85, 95, 2}, {76, 84, 3}, {65, 75, 4},
                         {56, 64, 5},  {45, 55, 6}, {36, 44, 7}, {25, 35, 8},
                         {16, 24, 9},  {5, 15, 10}, {1, 4, 11}};
const Band kMains[] = {{100, 100, 13}, {95, 99, 14}, {86, 94, 15}, {75, 85, 16},
                       {66, 74, 17},   {55, 65, 18}, {46, 54, 19}, {35, 45, 20},
                       {26, 34, 21},   {15, 25, 22}, {6, 14, 23},  {1, 5, 24}};

}  // namespace

class TestTickRules : public QObject {
    Q_OBJECT
private slots:
    void pictureForEveryPercent_data();
    void pictureForEveryPercent();
    void percentReading_data();
    void percentReading();
    void lineStatus_data();
    void lineStatus();
    void warningRule_data();
    void warningRule();
    void warningOncePerCrossing();
    void tickWouldRepeat_data();
    void tickWouldRepeat();
    void mouseRouting_data();
    void mouseRouting();
};

void TestTickRules::pictureForEveryPercent_data()
{
    QTest::addColumn<int>("perc");
    QTest::addColumn<bool>("rete");
    QTest::addColumn<int>("picture");  // 0: left as it is
    row("battery 0", 0, false, 0);
    row("mains 0", 0, true, 0);
    for (const Band& b : kBattery)
        for (int p = b.from; p <= b.to; ++p)
            QTest::addRow("battery %d", p) << p << false << b.picture;
    for (const Band& b : kMains)
        for (int p = b.from; p <= b.to; ++p)
            QTest::addRow("mains %d", p) << p << true << b.picture;
}

void TestTickRules::pictureForEveryPercent()
{
    QFETCH(int, perc);
    QFETCH(bool, rete);
    QFETCH(int, picture);
    const std::optional<int> chosen = choosePicture(quint8(perc), toBoolean(rete));
    QCOMPARE(chosen.value_or(0), picture);
    QVERIFY(chosen.value_or(0) != 12);
    QVERIFY(chosen.value_or(0) != kPictureNoReading);
}

void TestTickRules::percentReading_data()
{
    QTest::addColumn<int>("reading");
    QTest::addColumn<int>("perc");
    QTest::addColumn<QString>("caption");
    row("57", 57, 57, " 57%");
    row("0", 0, 0, " 0%");
    row("100", 100, 100, " 100%");
    row("255 unknown", 255, 100, "!");
    row("out of range 101", 101, 100, "!");
    row("negative", -1, 100, "!");
}

void TestTickRules::percentReading()
{
    QFETCH(int, reading);
    QFETCH(int, perc);
    QFETCH(QString, caption);
    const PercentReading r = percentFromReading(reading);
    QCOMPARE(int(r.perc), perc);
    QCOMPARE(r.caption, caption);
}

void TestTickRules::lineStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("rete");
    row("battery", 0, 0);
    row("mains", 1, -1);
    row("unknown counts as mains", 255, -1);
}

void TestTickRules::lineStatus()
{
    QFETCH(int, status);
    QFETCH(int, rete);
    QCOMPARE(int(reteFromLineStatus(status)), rete);
}

void TestTickRules::warningRule_data()
{
    QTest::addColumn<int>("perc");
    QTest::addColumn<int>("soglia");
    QTest::addColumn<bool>("rete");
    QTest::addColumn<bool>("avvisato");
    QTest::addColumn<bool>("raise");
    QTest::addColumn<bool>("avvisatoAfter");
    row("equal on battery warns", 20, 20, false, false, true, true);
    row("below on battery warns", 5, 20, false, false, true, true);
    row("above re-arms", 21, 20, false, true, false, false);
    row("above, not armed before", 21, 20, false, false, false, false);
    row("already given", 10, 20, false, true, false, true);
    row("mains never warns", 10, 20, true, false, false, false);
    row("mains does not re-arm", 10, 20, true, true, false, true);
    row("default threshold at 1%", 1, 0, false, false, false, false);
    row("default threshold at 0%", 0, 0, false, false, true, true);
    row("unknown (100) with threshold 100", 100, 100, false, false, true, true);
    row("threshold 255 always below", 100, 255, false, false, true, true);
}

void TestTickRules::tickWouldRepeat_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("perc");  // Perc, Rete and Avvisato after the tick before
    QTest::addColumn<bool>("rete");
    QTest::addColumn<bool>("avvisato");
    QTest::addColumn<int>("soglia");
    QTest::addColumn<int>("picture");  // what the window shows
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("bar");
    QTest::addColumn<bool>("repeats");
    const QString c57 = QStringLiteral(" 57%");
    row("settled on battery", 0, 57, 57, false, false, 20, 5, c57, 57, true);
    row("settled on mains", 1, 57, 57, true, false, 20, 18, c57, 57, true);
    row("picture still from the tick before", 0, 57, 57, false, false, 20, 6, c57, 57, false);
    row("picture 25 after the first tick", 0, 57, 57, false, false, 20, 25, c57, 57, false);
    row("label still ???%", 0, 57, 57, false, false, 20, 5, QStringLiteral("???%"), 57, false);
    row("bar not yet set", 0, 57, 57, false, false, 20, 5, c57, 0, false);
    row("percentage changed", 0, 56, 57, false, false, 20, 5, c57, 57, false);
    row("slider preview in Perc", 0, 57, 90, false, false, 20, 2, c57, 57, false);
    row("plugged in", 1, 57, 57, false, false, 20, 5, c57, 57, false);
    row("unknown line counts as mains", 255, 57, 57, true, false, 20, 18, c57, 57, true);
    row("warning given, stays given", 0, 15, 15, false, true, 20, 10, QStringLiteral(" 15%"), 15,
        true);
    row("threshold raised: would warn", 0, 57, 57, false, false, 60, 5, c57, 57, false);
    row("threshold lowered: would re-arm", 0, 15, 15, false, true, 10, 10, QStringLiteral(" 15%"),
        15, false);
    row("below threshold on mains stays armed", 1, 15, 15, true, false, 20, 22,
        QStringLiteral(" 15%"), 15, true);
    row("0 % keeps any picture", 0, 0, 0, false, true, 0, 25, QStringLiteral(" 0%"), 0, true);
    row("0 % on battery, armed: would warn", 0, 0, 0, false, false, 0, 11, QStringLiteral(" 0%"), 0,
        false);
    row("unknown percentage settled", 0, 255, 100, false, false, 20, 1, QStringLiteral("!"), 100,
        true);
    row("unknown after 100 %: caption changes", 0, 255, 100, false, false, 20, 1,
        QStringLiteral(" 100%"), 100, false);
}

void TestTickRules::tickWouldRepeat()
{
    QFETCH(int, line);
    QFETCH(int, percent);
    QFETCH(int, perc);
    QFETCH(bool, rete);
    QFETCH(bool, avvisato);
    QFETCH(int, soglia);
    QFETCH(int, picture);
    QFETCH(QString, caption);
    QFETCH(int, bar);
    QFETCH(bool, repeats);
    AppState s;
    s.Perc = quint8(perc);
    s.Rete = toBoolean(rete);
    s.Avvisato = toBoolean(avvisato);
    s.Soglia = quint8(soglia);
    const AppState before = s;
    QCOMPARE(tellavo::tickWouldRepeat(s, TickView{picture, caption, bar}, line, percent), repeats);
    // A question only: the state is left as it was.
    QCOMPARE(s.Perc, before.Perc);
    QCOMPARE(s.Avvisato, before.Avvisato);
}

void TestTickRules::warningRule()
{
    QFETCH(int, perc);
    QFETCH(int, soglia);
    QFETCH(bool, rete);
    QFETCH(bool, avvisato);
    QFETCH(bool, raise);
    QFETCH(bool, avvisatoAfter);
    AppState s;
    s.Perc = quint8(perc);
    s.Soglia = quint8(soglia);
    s.Rete = toBoolean(rete);
    s.Avvisato = toBoolean(avvisato);
    QCOMPARE(applyWarningRule(s), raise);
    QCOMPARE(s.Avvisato, toBoolean(avvisatoAfter));
}

void TestTickRules::warningOncePerCrossing()
{
    // Falling to the threshold, plugging in and out while still below, then
    // rising and falling again: exactly two warnings.
    struct Step {
        int perc;
        bool rete;
    };
    const Step steps[] = {{25, false}, {21, false}, {20, false}, {19, false}, {19, true},
                          {18, false}, {17, false}, {21, true},  {21, false}, {20, false}};
    AppState s;
    s.Soglia = 20;
    int warnings = 0;
    QList<int> at;
    for (int i = 0; i < int(std::size(steps)); ++i) {
        s.Perc = quint8(steps[i].perc);
        s.Rete = toBoolean(steps[i].rete);
        if (applyWarningRule(s)) {
            ++warnings;
            at << i;
        }
    }
    QCOMPARE(warnings, 2);
    QCOMPARE(at, (QList<int>{2, 9}));
}

void TestTickRules::mouseRouting_data()
{
    QTest::addColumn<MouseTarget>("target");
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("drag");
    QTest::addColumn<bool>("menu");
    const std::pair<MouseTarget, const char*> dragTargets[] = {
        {MouseTarget::Surface, "surface"},
        {MouseTarget::LblPerc, "lblPerc"},
        {MouseTarget::ImgStato, "imgStato"},
        {MouseTarget::ProgressBar, "ProgressBar"}};
    for (const auto& [target, name] : dragTargets) {
        QTest::addRow("%s left drags", name) << target << 1 << true << false;
        QTest::addRow("%s right opens menu", name) << target << 2 << false << true;
        QTest::addRow("%s middle nothing", name) << target << 4 << false << false;
        QTest::addRow("%s other nothing", name) << target << 0 << false << false;
    }
    for (const int button : {1, 2, 4, 0})
        QTest::addRow("Label1 button %d opens menu", button)
            << MouseTarget::Label1 << button << false << true;
}

void TestTickRules::mouseRouting()
{
    QFETCH(MouseTarget, target);
    QFETCH(int, button);
    QFETCH(bool, drag);
    QFETCH(bool, menu);
    const MouseResponse r = routeMouse(target, Qt::MouseButton(button));
    QCOMPARE(r.drag, drag);
    QCOMPARE(r.menu, menu);
}

QTEST_GUILESS_MAIN(TestTickRules)
#include "tst_tick_rules.moc"
