// Start-up, always-on-top and saving, with a stand-in battery window and
// message boxes that only record what they were asked to show.
#include "data_row.h"
#include "ini_format.h"
#include "module1.h"
#include "princ_window.h"
#include "settings_store.h"
#include "window_stacking.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

using tellavo::test::row;

using namespace tellavo;

namespace {

struct Log {
    QStringList events;
    QStringList errors;
};

class FakeWindow : public PrincWindow {
public:
    explicit FakeWindow(Log& log) : m_log(log) { m_log.events << QStringLiteral("create"); }
    // Stacked as the real window is, so that the flag's effect is seen on a
    // real top-level window.
    void setAbove(bool above) override { stacking::setAbove(&m_widget, above); }
    void showWindow() override { m_log.events << QStringLiteral("show"); }
    void moveToTwips(float left, float top) override
    {
        m_left = left;
        m_top = top;
        m_log.events << QStringLiteral("move %1 %2").arg(left).arg(top);
    }
    float leftTwips() const override { return m_left; }
    float topTwips() const override { return m_top; }
    void giveFocus() override { m_log.events << QStringLiteral("focus"); }

    float m_left = 0, m_top = 0;
    QWidget m_widget{nullptr, Qt::Tool | Qt::FramelessWindowHint};

private:
    Log& m_log;
};

struct Fixture {
    QTemporaryDir dir;
    QString path;
    Log log;
    std::unique_ptr<SettingsStore> store;
    std::unique_ptr<Module1> module;
    FakeWindow* made = nullptr;  // the window start-up made, if it did

    explicit Fixture(const QByteArray* file)
    {
        QSettings::setPath(ini::format(), QSettings::UserScope, dir.path());
        path = dir.path() + QStringLiteral("/Ambrovia/Ambrovia.ini");
        if (file) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write(*file);
        }
        store = std::make_unique<SettingsStore>();
        Module1::Boxes boxes;
        boxes.welcome = [this] { log.events << QStringLiteral("welcome"); };
        boxes.error = [this](const QString& text) { log.errors << text; };
        const auto make = [this](Module1&) {
            auto window = std::make_unique<FakeWindow>(log);
            made = window.get();
            return window;
        };
        module = std::make_unique<Module1>(*store, make, boxes);
    }
    FakeWindow* window() const { return made; }
    QByteArray bytes() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
    }
};

}  // namespace

class TestModule1 : public QObject {
    Q_OBJECT
private slots:
    void startup_data();
    void startup();
    void startupErrors_data();
    void startupErrors();
    void saveRoundTrip_data();
    void saveRoundTrip();
    void saveWritesFiveKeys();
    void stackingFlag_data();
    void stackingFlag();
};

void TestModule1::startup_data()
{
    QTest::addColumn<QByteArray>("file");  // "<none>" for no file at all
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("sipp");
    QTest::addColumn<int>("soglia");
    QTest::addColumn<QString>("messaggio");
    const QStringList first = {"welcome", "create", "show", "move 100 100", "focus"};
    const QStringList plain = {"create", "show", "move 100 100", "focus"};
    row("no file: first run", QByteArray("<none>"), first, -1, 0, "Attacca la spina!!");
    row("empty file: first run", QByteArray(""), first, -1, 0, "Attacca la spina!!");
    row("SIPP 1", QByteArray("[Generale]\nSIPP=1\n"), plain, -1, 0, "Attacca la spina!!");
    row("SIPP -1", QByteArray("[Generale]\nSIPP=-1\n"), plain, 0, 0, "Attacca la spina!!");
    row("SIPP 0 greets again", QByteArray("[Generale]\nSIPP=0\n"), first, -1, 0,
        "Attacca la spina!!");
    row("SIPP empty", QByteArray("[Generale]\nSIPP=\n"), plain, 0, 0, "Attacca la spina!!");
    row("SIPP x", QByteArray("[Generale]\nSIPP=x\n"), plain, 0, 0, "Attacca la spina!!");
    row("all keys",
        QByteArray("[Generale]\nSoglia=20\nSIPP=1\nSx=735\nTop=-120\n"
                   "Messaggio=a, b\n"),
        QStringList{"create", "show", "move 735 -120", "focus"}, -1, 20, "a, b");
    row("Soglia 255", QByteArray("[Generale]\nSIPP=1\nSoglia=255\n"), plain, -1, 255,
        "Attacca la spina!!");
    row("Soglia 12.5", QByteArray("[Generale]\nSIPP=1\nSoglia=12.5\n"), plain, -1, 12,
        "Attacca la spina!!");
    row("Soglia 13.5", QByteArray("[Generale]\nSIPP=1\nSoglia=13.5\n"), plain, -1, 14,
        "Attacca la spina!!");
    row("empty Messaggio", QByteArray("[Generale]\nSIPP=1\nMessaggio=\n"), plain, -1, 0, "");
}

void TestModule1::startup()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, events);
    QFETCH(int, sipp);
    QFETCH(int, soglia);
    QFETCH(QString, messaggio);
    Fixture fx(file == "<none>" ? nullptr : &file);
    const QByteArray before = fx.bytes();
    QCOMPARE(fx.module->Main(), 0);
    QCOMPARE(fx.log.events, events);
    QVERIFY(fx.log.errors.isEmpty());
    QCOMPARE(int(fx.module->state().Sipp), sipp);
    QCOMPARE(int(fx.module->state().Soglia), soglia);
    QCOMPARE(fx.module->state().Messaggio, messaggio);
    QCOMPARE(fx.module->state().Avvisato, kFalse);
    QCOMPARE(fx.window()->m_widget.windowFlags().testFlag(Qt::WindowStaysOnTopHint), sipp == -1);
    QCOMPARE(fx.bytes(), before);  // start-up writes nothing
}

void TestModule1::startupErrors_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("windowMade");
    QTest::addColumn<QStringList>("mustName");
    row("Soglia 256", QByteArray("[Generale]\nSIPP=1\nSoglia=256\n"), false,
        QStringList{"Overflow", "Soglia", "256"});
    row("Soglia -1", QByteArray("[Generale]\nSoglia=-1\n"), false,
        QStringList{"Overflow", "Soglia", "-1"});
    row("Soglia abc", QByteArray("[Generale]\nSoglia=abc\n"), false,
        QStringList{"Tipo non corrispondente", "Soglia", "abc"});
    row("Soglia empty", QByteArray("[Generale]\nSoglia=\n"), false,
        QStringList{"Tipo non corrispondente", "Soglia"});
    row("Sx not a number", QByteArray("[Generale]\nSIPP=1\nSx=sinistra\n"), true,
        QStringList{"Tipo non corrispondente", "Sx", "sinistra"});
    row("Top not a number", QByteArray("[Generale]\nSIPP=1\nTop=1,2,3\n"), true,
        QStringList{"Tipo non corrispondente", "Top", "1,2,3"});
    row("Top beyond single", QByteArray("[Generale]\nSIPP=1\nTop=1e40\n"), true,
        QStringList{"Overflow", "Top"});
}

void TestModule1::startupErrors()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, windowMade);
    QFETCH(QStringList, mustName);
    Fixture fx(&file);
    QVERIFY(fx.module->Main() != 0);
    QCOMPARE(fx.log.errors.size(), 1);
    for (const QString& part : mustName)
        QVERIFY2(fx.log.errors[0].contains(part), qPrintable(fx.log.errors[0]));
    QVERIFY(fx.log.errors[0].contains(fx.path));
    QCOMPARE(fx.window() != nullptr, windowMade);
    QVERIFY(!fx.log.events.contains(QStringLiteral("welcome")));
    QCOMPARE(fx.bytes(), file);  // the store is left as it was
}

void TestModule1::saveRoundTrip_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");
    QTest::addColumn<QString>("sxText");
    row("C", QLocale::c(), 735.0f, -120.0f, "735");
    row("C fraction", QLocale::c(), 187.5f, 0.25f, "187.5");
    row("it fraction", QLocale(QLocale::Italian, QLocale::Italy), 187.5f, 0.25f, "187,5");
    row("it whole", QLocale(QLocale::Italian, QLocale::Italy), 15000.0f, -32768.0f * 15, "15000");
}

void TestModule1::saveRoundTrip()
{
    QFETCH(QLocale, locale);
    QFETCH(float, left);
    QFETCH(float, top);
    QFETCH(QString, sxText);
    QLocale::setDefault(locale);
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });

    QTemporaryDir keep;
    QString path;
    {
        Fixture fx(nullptr);
        path = fx.path;
        QCOMPARE(fx.module->Main(), 0);
        fx.module->state().Soglia = 150;
        fx.module->state().Sipp = kFalse;
        fx.module->state().Messaggio = QStringLiteral("  Presto!\\ ");
        fx.window()->m_left = left;
        fx.window()->m_top = top;
        QVERIFY(fx.module->SalvaImpostazioni());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QSettings::SettingsMap disk = ini::parse(f.readAll());
        QCOMPARE(disk.value(QStringLiteral("Generale/Sx")).toString(), sxText);
        QCOMPARE(disk.value(QStringLiteral("Generale/SIPP")).toString(), QStringLiteral("-1"));

        // A new start on that file.
        Log log2;
        SettingsStore store2;
        Module1::Boxes boxes;
        boxes.welcome = [&] { log2.events << QStringLiteral("welcome"); };
        boxes.error = [&](const QString& text) { log2.errors << text; };
        FakeWindow* w = nullptr;
        Module1 second(
            store2,
            [&](Module1&) {
                auto window = std::make_unique<FakeWindow>(log2);
                w = window.get();
                return window;
            },
            boxes);
        QCOMPARE(second.Main(), 0);
        QVERIFY(log2.errors.isEmpty());
        QVERIFY(!log2.events.contains(QStringLiteral("welcome")));
        QCOMPARE(int(second.state().Soglia), 150);
        QCOMPARE(second.state().Sipp, kFalse);
        QCOMPARE(second.state().Messaggio, QStringLiteral("  Presto!\\ "));
        QCOMPARE(w->m_left, left);
        QCOMPARE(w->m_top, top);
    }
}

void TestModule1::saveWritesFiveKeys()
{
    Fixture fx(nullptr);
    QCOMPARE(fx.module->Main(), 0);
    QVERIFY(fx.module->SalvaImpostazioni());
    const QSettings::SettingsMap disk = ini::parse(fx.bytes());
    QCOMPARE(disk.keys(), (QStringList{"Generale/Messaggio", "Generale/SIPP", "Generale/Soglia",
                                       "Generale/Sx", "Generale/Top"}));
    QCOMPARE(disk.value(QStringLiteral("Generale/Soglia")).toString(), QStringLiteral("0"));
    QCOMPARE(disk.value(QStringLiteral("Generale/SIPP")).toString(), QStringLiteral("1"));
    QCOMPARE(disk.value(QStringLiteral("Generale/Sx")).toString(), QStringLiteral("100"));
    QCOMPARE(disk.value(QStringLiteral("Generale/Top")).toString(), QStringLiteral("100"));
    QCOMPARE(disk.value(QStringLiteral("Generale/Messaggio")).toString(),
             QStringLiteral("Attacca la spina!!"));
}

void TestModule1::stackingFlag_data()
{
    QTest::addColumn<int>("start");  // the window's state before
    QTest::addColumn<int>("flag");
    QTest::addColumn<bool>("above");
    row("-1 puts above", 0, -1, true);
    row("0 puts among others", 1, 0, false);
    row("1 does nothing (was below)", 0, 1, false);
    row("1 does nothing (was above)", 1, 1, true);
    row("-2 does nothing", 1, -2, true);
}

void TestModule1::stackingFlag()
{
    QFETCH(int, start);
    QFETCH(int, flag);
    QFETCH(bool, above);
    Log log;
    FakeWindow window(log);
    QWidget& w = window.m_widget;
    w.resize(131, 19);
    w.move(40, 50);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    stacking::setAbove(&w, start != 0);
    const QRect before = w.geometry();
    Module1::ImpostaPrimoPiano(&window, Boolean(flag));
    QCOMPARE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint), above);
    QCOMPARE(w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), above);
    QVERIFY(w.isVisible());
    QCOMPARE(w.geometry(), before);
}

QTEST_MAIN(TestModule1)
#include "tst_module1.moc"
