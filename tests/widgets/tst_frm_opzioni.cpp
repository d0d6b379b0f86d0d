// The options dialog on the offscreen platform, driven with keys and the mouse.
#include "caption_fit.h"
#include "data_row.h"
#include "desktop_text.h"
#include "fake_power_source.h"
#include "frm_opzioni.h"
#include "frm_princ.h"
#include "ini_format.h"
#include "module1.h"
#include "settings_store.h"
#include "window_harness.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

using namespace tellavo::test;

using namespace tellavo;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
}

struct OwnSource {
    FakePowerSource si;
};

// A started program (store with a first save behind it) and an open dialog.
struct Harness : OwnSource, test::WindowHarness {
    std::unique_ptr<FrmOpzioni> dialog;

    Harness(int soglia, Boolean sipp, const QString& messaggio) : test::WindowHarness(si, soglia)
    {
        state().Sipp = sipp;
        state().Messaggio = messaggio;
        module->SalvaImpostazioni();
        open();
    }
    void open()
    {
        dialog = std::make_unique<FrmOpzioni>(*module);
        dialog->show();
        if (!QTest::qWaitForWindowActive(dialog.get()))
            qWarning("options dialog not active");
    }
    QString path() const { return store->fileName(); }
    QSettings::SettingsMap disk() const { return ini::parse(fileBytes(path())); }
    QLineEdit* txt() const { return named<QLineEdit>(dialog.get(), "txtAvvisareA"); }
    QSlider* slider() const { return named<QSlider>(dialog.get(), "SliderPerc"); }
    // The text becomes `text` at once, as by a paste over everything.
    void replaceText(const QString& text)
    {
        txt()->selectAll();
        txt()->insert(text);
    }
};

}  // namespace

class TestFrmOpzioni : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void brokenTextAndFontFilesIgnored_data();
    void brokenTextAndFontFilesIgnored();
    void textBoxMenusInItalian_data();
    void textBoxMenusInItalian();
    void captionsFit_data();
    void captionsFit();
    void windowShape();
    void sliderDragKeepsTextInStep();
    void textToSlider_data();
    void textToSlider();
    void threeCharactersAtMost();
    void okStores_data();
    void okStores();
    void nothingStored_data();
    void nothingStored();
    void accessKeys();
    void reopeningShowsCurrentState();
    void okWakesTheSleepingTickBeforeSaving();
};

void TestFrmOpzioni::initTestCase()
{
    // What the program does at start, before any window.
    QVERIFY(desktop_text::installQtItalian(*qApp));
    desktop_text::useFace();
}

void TestFrmOpzioni::brokenTextAndFontFilesIgnored_data()
{
    QTest::addColumn<QByteArray>("bytes");  // the file's content; empty name: no file
    QTest::addColumn<bool>("isFile");
    const QByteArray qm = fileBytes(QLibraryInfo::path(QLibraryInfo::TranslationsPath) +
                                    QStringLiteral("/qtbase_it.qm"));
    row("missing", QByteArray(), false);
    row("empty", QByteArray(), true);
    row("garbage", QByteArray(4096, '\xa5'), true);
    row("translation cut short", qm.left(qm.size() / 3), true);
    row("a folder", QByteArray("dir"), false);
}

void TestFrmOpzioni::brokenTextAndFontFilesIgnored()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, isFile);
    QTemporaryDir dir;
    const QString qm = dir.filePath(QStringLiteral("qtbase_it.qm"));
    const QString ttf = dir.filePath(QStringLiteral("tahoma.ttf"));
    for (const QString& path : {qm, ttf}) {
        if (isFile) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        } else if (!bytes.isEmpty()) {
            QVERIFY(QDir().mkpath(path));
        }
    }
    QVERIFY(!desktop_text::installQtItalian(*qApp, dir.path()));
    QCOMPARE(desktop_text::registerTahoma({ttf}), 0);
    // And a real face that is not Tahoma does not stand in for it.
    QCOMPARE(desktop_text::registerTahoma(
                 {QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")}),
             0);
    QCOMPARE(QFontInfo(QFont(QStringLiteral("Tahoma"))).family() == QLatin1String("Tahoma"), false);
    // The program goes on with what it had: the dialog opens as ever.
    Harness h(20, kTrue, QStringLiteral("x"));
    QVERIFY(h.dialog->isVisible());
}

void TestFrmOpzioni::textBoxMenusInItalian_data()
{
    QTest::addColumn<QString>("box");
    row("threshold", QStringLiteral("txtAvvisareA"));
    row("message", QStringLiteral("txtMessaggio"));
}

void TestFrmOpzioni::textBoxMenusInItalian()
{
    QFETCH(QString, box);
    Harness h(20, kTrue, QStringLiteral("Attacca la spina!!"));
    auto* edit = h.dialog->findChild<QLineEdit*>(box);
    QVERIFY(edit);
    const std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
    QStringList items;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            items << a->text().section(QLatin1Char('\t'), 0, 0);
    QCOMPARE(items, (QStringList{"Ann&ulla", "&Rifai", "&Taglia", "&Copia", "&Incolla", "Elimina",
                                 "Seleziona tutto"}));
}

namespace {

using Room = QMap<QString, int>;

// Wine's Tahoma for the windows made from now on, or not.
void useTahoma(bool on)
{
    static QList<int> ids;
    if (on && ids.isEmpty()) {
        for (const QString& file : desktop_text::kWineTahoma)
            ids << QFontDatabase::addApplicationFont(file);
    } else if (!on) {
        for (int id : std::as_const(ids))
            QFontDatabase::removeApplicationFont(id);
        ids.clear();
    }
    // As the program does: the face is set after the fonts are registered.
    desktop_text::useFace();
}

}  // namespace

void TestFrmOpzioni::captionsFit_data()
{
    QTest::addColumn<bool>("tahoma");
    QTest::addColumn<bool>("options");
    // The room each label leaves its caption, in pixels at 96 DPI: its twips
    // less the control over its right part (the bar, the message box) and
    // what lies beyond the window's edge.
    QTest::addColumn<Room>("room");
    const Room strip{{"lblPerc", 34}, {"Label1", 9}};
    const Room dialog{{"Label1", 57}, {"Label2", 16}, {"Label3", 64}};
    for (bool tahoma : {false, true}) {
        const char* face = tahoma ? "Tahoma" : "DejaVu Sans";
        QTest::addRow("%s: battery window", face) << tahoma << false << strip;
        QTest::addRow("%s: options", face) << tahoma << true << dialog;
    }
}

void TestFrmOpzioni::captionsFit()
{
    QFETCH(bool, tahoma);
    QFETCH(bool, options);
    QFETCH(Room, room);
    useTahoma(tahoma);
    Harness h(20, kTrue, QStringLiteral("Attacca la spina!!"));
    QWidget* window = options ? static_cast<QWidget*>(h.dialog.get()) : h.w;
    QCOMPARE(QFontInfo(window->font()).family(),
             tahoma ? QStringLiteral("Tahoma") : QStringLiteral("DejaVu Sans"));
    // Every text each control shows; the percentage at its widest too.
    QList<caption_fit::Caption> more;
    if (!options) {
        more << caption_fit::Caption{window->findChild<QLabel*>(QStringLiteral("lblPerc")),
                                     {" 100%", " 88%", "!", "???%"}};
    }
    const QList<caption_fit::Caption> captions = caption_fit::captionsOf(window, more);
    QStringList seen;
    for (const caption_fit::Caption& c : captions) {
        const QString name = c.control->objectName();
        seen << name;
        const QRect area = caption_fit::textArea(c.control);
        if (room.contains(name))
            QCOMPARE(area.width(), room.value(name));
        const QFontMetricsF metrics(c.control->font());
        QVERIFY2(metrics.height() <= area.height(), qPrintable(name));
        for (const QString& text : c.texts)
            QVERIFY2(metrics.horizontalAdvance(text) <= area.width(),
                     qPrintable(QStringLiteral("%1 \"%2\": %3 px in %4 at %5 pt")
                                    .arg(name, text)
                                    .arg(metrics.horizontalAdvance(text))
                                    .arg(area.width())
                                    .arg(window->font().pointSizeF())));
    }
    for (const QString& name : room.keys())
        QVERIFY2(seen.contains(name), qPrintable(name));
    // The size taken is the largest that fits, and the one asked for where it does.
    const double size = window->font().pointSizeF();
    qInfo("%s at %.2f pt", qPrintable(QFontInfo(window->font()).family()), size);
    QVERIFY(size <= caption_fit::kLargestPoints);
    if (size < caption_fit::kLargestPoints)
        QVERIFY(!caption_fit::fitsAt(window, captions, size + caption_fit::kStepPoints));
    if (tahoma)
        QCOMPARE(size, caption_fit::kLargestPoints);
    else
        QVERIFY(size < caption_fit::kLargestPoints);  // DejaVu Sans is wider
    useTahoma(false);
}

void TestFrmOpzioni::windowShape()
{
    Harness h(0, kTrue, QString());
    QCOMPARE(h.dialog->windowTitle(), QStringLiteral("Opzioni"));
    QCOMPARE(h.dialog->size(), QSize(312, 136));  // 4680 x 2040 twips
    QCOMPARE(h.dialog->minimumSize(), h.dialog->maximumSize());
    const Qt::WindowFlags f = h.dialog->windowFlags();
    QVERIFY(!f.testFlag(Qt::WindowSystemMenuHint));
    QVERIFY(!f.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!f.testFlag(Qt::WindowMinMaxButtonsHint));
    QCOMPARE(h.txt()->geometry(), QRect(72, 8, 41, 19));
    QCOMPARE(named<QPushButton>(h.dialog.get(), "cmdOK")->geometry(), QRect(168, 104, 65, 25));
    // The tab order, skipping the disabled check box.
    QStringList order;
    for (int i = 0; i < 5; ++i) {
        order << h.dialog->focusWidget()->objectName();
        QTest::keyClick(h.dialog->focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order,
             (QStringList{"txtAvvisareA", "SliderPerc", "txtMessaggio", "cmdOK", "cmdAnnulla"}));
    QCOMPARE(h.dialog->focusWidget(), h.txt());  // and round again
    // A screen reader can tell each control what it is and what it does.
    for (QWidget* w : h.dialog->findChildren<QWidget*>()) {
        if (qobject_cast<QLabel*>(w))
            continue;
        const QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QVERIFY2(!a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
        QVERIFY2(!a->text(QAccessible::Description).isEmpty(), qPrintable(w->objectName()));
    }
}

void TestFrmOpzioni::sliderDragKeepsTextInStep()
{
    Harness h(20, kTrue, QString());
    QSlider* s = h.slider();
    // Drag the thumb with the mouse from its place to both ends.
    const QPoint thumb(s->style()->sliderPositionFromValue(0, 100, 20, s->width()),
                       s->height() / 2);
    QTest::mousePress(s, Qt::LeftButton, Qt::NoModifier, thumb);
    QStringList seen;
    for (int x = thumb.x(); x <= s->width() + 20; x += 10) {
        QTest::mouseMove(s, QPoint(x, s->height() / 2));
        QCOMPARE(h.txt()->text(), QString::number(s->value()));
        seen << h.txt()->text();
    }
    QCOMPARE(h.txt()->text(), QStringLiteral("100"));
    for (int x = s->width(); x >= -20; x -= 10)
        QTest::mouseMove(s, QPoint(x, s->height() / 2));
    QTest::mouseRelease(s, Qt::LeftButton, Qt::NoModifier, QPoint(-20, s->height() / 2));
    QCOMPARE(h.txt()->text(), QStringLiteral("0"));
    QVERIFY(seen.size() > 5);
    // And by keys on the slider.
    s->setFocus();
    QTest::keyClick(s, Qt::Key_PageUp);
    QCOMPARE(h.txt()->text(), QStringLiteral("5"));
    QTest::keyClick(s, Qt::Key_Right);
    QCOMPARE(h.txt()->text(), QStringLiteral("6"));
}

void TestFrmOpzioni::textToSlider_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("slider");
    QTest::addColumn<QString>("shown");
    row("abc", 20, "abc", 0, "0");
    row("empty", 20, "", 0, "0");
    row("9.5 gives 10", 20, "9.5", 10, "10");
    row("2.5 stays with slider at 2", 2, "2.5", 2, "2.5");
    row("2.5 with slider elsewhere", 20, "2.5", 2, "2");
    row("150 leaves slider", 20, "150", 20, "150");
    row("-5 leaves slider", 20, "-5", 20, "-5");
    row("12a", 20, "12a", 12, "12");
    row("&HF", 20, "&HF", 15, "15");
    row("blank 7", 20, " 7", 7, "7");
}

void TestFrmOpzioni::textToSlider()
{
    QFETCH(int, start);
    QFETCH(QString, text);
    QFETCH(int, slider);
    QFETCH(QString, shown);
    Harness h(start, kTrue, QString());
    h.replaceText(text);
    QCOMPARE(h.slider()->value(), slider);
    QCOMPARE(h.txt()->text(), shown);
}

void TestFrmOpzioni::threeCharactersAtMost()
{
    Harness h(20, kTrue, QString());
    h.txt()->selectAll();
    QTest::keyClicks(h.txt(), QStringLiteral("99.5"));
    QCOMPARE(h.txt()->text(), QStringLiteral("99."));
    h.txt()->selectAll();
    QTest::keyClicks(h.txt(), QStringLiteral("100"));
    QCOMPARE(h.txt()->text(), QStringLiteral("100"));
    QCOMPARE(h.slider()->value(), 100);
}

void TestFrmOpzioni::okStores_data()
{
    QTest::addColumn<int>("start");  // Soglia when the dialog opens
    QTest::addColumn<bool>("sipp");
    QTest::addColumn<QString>("threshold");  // null: not edited
    QTest::addColumn<QString>("message");    // null: not edited
    QTest::addColumn<bool>("typed");     // by keys (the message after its text), not pasted over
    QTest::addColumn<bool>("enter");     // Return in the message box, not a click on OK
    QTest::addColumn<bool>("noFile");    // the file removed while the dialog is open
    QTest::addColumn<QString>("shown");  // the threshold box before OK; Soglia after
    QTest::addColumn<int>("slider");
    const QString none;
    const QString unicode = QString::fromUtf8("perch\xc3\xa8 \xf0\x9f\x94\x8b \xd7\xa9");
    row("digits", 20, true, "35", "Carica!", false, false, false, "35", 35);
    row("rounded half even", 20, true, "2.5", "x", false, false, false, "2", 2);
    row("abc is 0", 20, true, "abc", "x", false, false, false, "0", 0);
    row("blanks kept in message", 20, true, "5", "  spazi  ", false, false, false, "5", 5);
    row("empty message", 20, true, "5", "", false, false, false, "5", 5);
    row("unicode message", 20, true, "5", unicode, false, false, false, "5", 5);
    row("markup message", 20, true, "5", "<b>x</b>", false, false, false, "5", 5);
    row("long message", 20, true, "5", QString(100000, QLatin1Char('m')), false, false, false, "5",
        5);
    // "1" and "15" move the slider; "150" it cannot take.
    row("typed above the slider's range", 20, true, "150", none, true, false, false, "150", 15);
    row("threshold above the slider kept", 150, true, none, none, false, false, false, "150", 100);
    row("Enter in the message presses OK", 20, true, none, " bis", true, true, false, "20", 20);
    row("no edits write all, Sipp true", 20, true, none, none, false, false, true, "20", 20);
    // OK leaves Sipp as it was, whichever it was.
    row("Sipp false kept", 20, false, none, none, false, false, false, "20", 20);
}

void TestFrmOpzioni::okStores()
{
    QFETCH(int, start);
    QFETCH(bool, sipp);
    QFETCH(QString, threshold);
    QFETCH(QString, message);
    QFETCH(bool, typed);
    QFETCH(bool, enter);
    QFETCH(bool, noFile);
    QFETCH(QString, shown);
    QFETCH(int, slider);
    const QString old = QStringLiteral("Attacca la spina!!");
    Harness h(start, sipp ? kTrue : kFalse, old);
    QCOMPARE(h.txt()->text(), QString::number(start));
    QCOMPARE(h.slider()->value(), qMin(start, 100));
    QCOMPARE(named<QLineEdit>(h.dialog.get(), "txtMessaggio")->text(), old);
    QCOMPARE(named<QCheckBox>(h.dialog.get(), "chkSipp")->isChecked(), sipp);
    QVERIFY(!named<QCheckBox>(h.dialog.get(), "chkSipp")->isEnabled());
    QCOMPARE(QApplication::focusWidget(), h.txt());
    h.w->moveToTwips(1500.0f, 2250.0f);
    if (noFile)
        QFile::remove(h.path());
    if (!threshold.isNull() && typed) {
        h.txt()->selectAll();
        QTest::keyClicks(h.txt(), threshold);
    } else if (!threshold.isNull()) {
        h.replaceText(threshold);
    }
    if (!message.isNull() && typed) {
        named<QLineEdit>(h.dialog.get(), "txtMessaggio")->setFocus();
        QTest::keyClicks(named<QLineEdit>(h.dialog.get(), "txtMessaggio"), message);
    } else if (!message.isNull()) {
        named<QLineEdit>(h.dialog.get(), "txtMessaggio")->setText(message);
    }
    QCOMPARE(h.txt()->text(), shown);
    QCOMPARE(h.slider()->value(), slider);
    QCOMPARE(int(h.state().Soglia), start);
    if (enter)
        QTest::keyClick(named<QLineEdit>(h.dialog.get(), "txtMessaggio"), Qt::Key_Return);
    else
        named<QPushButton>(h.dialog.get(), "cmdOK")->click();
    const QString messaggio = message.isNull() ? old : typed ? old + message : message;
    QVERIFY(!h.dialog->isVisible());
    QCOMPARE(int(h.state().Soglia), shown.toInt());
    QCOMPARE(h.state().Sipp, sipp ? kTrue : kFalse);
    QCOMPARE(h.state().Messaggio, messaggio);
    const QSettings::SettingsMap disk = h.disk();
    QCOMPARE(disk.value(QStringLiteral("Generale/Soglia")).toString(), shown);
    QCOMPARE(disk.value(QStringLiteral("Generale/SIPP")).toString(),
             sipp ? QStringLiteral("1") : QStringLiteral("-1"));
    QCOMPARE(disk.value(QStringLiteral("Generale/Sx")).toString(), QStringLiteral("1500"));
    QCOMPARE(disk.value(QStringLiteral("Generale/Top")).toString(), QStringLiteral("2250"));
    QCOMPARE(disk.value(QStringLiteral("Generale/Messaggio")).toString(), messaggio);
}

void TestFrmOpzioni::nothingStored_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("text");
    row("Annulla", "Annulla", "77");
    row("Esc", "Esc", "77");
    row("closed", "close", "77");
    row("Enter on Annulla", "Return on Annulla", "30");
    // OK refuses what three characters can hold beyond 0..255.
    for (const char* t : {"300", "-5", "-1", "1e9", "256", "1e3", "-.6"})
        QTest::addRow("OK with %s", t) << QStringLiteral("OK") << QString::fromLatin1(t);
}

void TestFrmOpzioni::nothingStored()
{
    QFETCH(QString, how);
    QFETCH(QString, text);
    Harness h(20, kTrue, QStringLiteral("ciao"));
    const QByteArray before = fileBytes(h.path());
    h.replaceText(text);
    named<QLineEdit>(h.dialog.get(), "txtMessaggio")->setText(QStringLiteral("nuovo"));
    const bool refused = how == QLatin1String("OK");
    QString shown;
    if (how == QLatin1String("Annulla")) {
        named<QPushButton>(h.dialog.get(), "cmdAnnulla")->click();
    } else if (how == QLatin1String("Esc")) {
        QTest::keyClick(named<QLineEdit>(h.dialog.get(), "txtMessaggio"), Qt::Key_Escape);
    } else if (how == QLatin1String("close")) {
        h.dialog->close();
    } else if (how == QLatin1String("Return on Annulla")) {
        named<QPushButton>(h.dialog.get(), "cmdAnnulla")->setFocus();
        QTest::keyClick(named<QPushButton>(h.dialog.get(), "cmdAnnulla"), Qt::Key_Return);
    } else {
        QTimer::singleShot(0, h.dialog.get(), [&shown] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box);
            shown = box->text();
            box->accept();
        });
        named<QPushButton>(h.dialog.get(), "cmdOK")->click();
    }
    if (refused) {
        QCOMPARE(shown, QStringLiteral("La soglia deve essere un numero compreso tra 0 e 255."));
        QVERIFY(shown.contains(QStringLiteral("255")));
        QCOMPARE(h.dialog->focusWidget(), h.txt());
    }
    QCOMPARE(h.dialog->isVisible(), refused);
    QCOMPARE(int(h.state().Soglia), 20);
    QCOMPARE(h.state().Messaggio, QStringLiteral("ciao"));
    QCOMPARE(h.state().Sipp, kTrue);
    QCOMPARE(fileBytes(h.path()), before);
}

void TestFrmOpzioni::accessKeys()
{
    Harness h(20, kTrue, QStringLiteral("ciao"));
    QTest::keyClick(h.dialog.get(), Qt::Key_M, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), named<QLineEdit>(h.dialog.get(), "txtMessaggio"));
    QTest::keyClick(h.dialog.get(), Qt::Key_A, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), h.txt());
    QTest::keyClick(h.dialog.get(), Qt::Key_S, Qt::AltModifier);
    QVERIFY(named<QCheckBox>(h.dialog.get(), "chkSipp")
                ->isChecked());  // disabled: its key does nothing
}

void TestFrmOpzioni::reopeningShowsCurrentState()
{
    Harness h(20, kTrue, QStringLiteral("ciao"));
    h.replaceText(QStringLiteral("44"));
    named<QPushButton>(h.dialog.get(), "cmdAnnulla")->click();
    h.open();
    QCOMPARE(h.txt()->text(), QStringLiteral("20"));
    h.replaceText(QStringLiteral("44"));
    named<QPushButton>(h.dialog.get(), "cmdOK")->click();
    h.open();
    QCOMPARE(h.txt()->text(), QStringLiteral("44"));
    QCOMPARE(h.slider()->value(), 44);
}

// The window's tick may sleep on a source that announces its changes; a new
// threshold must reach the next tick even while a failed save's box is open.
void TestFrmOpzioni::okWakesTheSleepingTickBeforeSaving()
{
    Harness h(20, kTrue, QStringLiteral("ciao"));
    auto* w = h.w;
    h.si.announcing = true;
    h.si.set(power::kAcOffline, 57);
    w->Timer1_Timer();
    w->Timer1_Timer();
    QVERIFY(w->tickScheduler().asleep());
    // A folder where the file was: the save fails and says so.
    QVERIFY(QFile::remove(h.path()));
    QVERIFY(QDir().mkpath(h.path()));
    std::optional<bool> asleepAtTheBox;
    h.onError = [&] { asleepAtTheBox = w->tickScheduler().asleep(); };
    h.replaceText(QStringLiteral("60"));
    named<QPushButton>(h.dialog.get(), "cmdOK")->click();
    QCOMPARE(h.errors.size(), 1);
    QCOMPARE(asleepAtTheBox, std::optional<bool>(false));
    QCOMPARE(int(h.state().Soglia), 60);
    // The next tick, on the window's own timer, gives the warning.
    QTRY_VERIFY_WITH_TIMEOUT(h.boxes.warningBox(), 1500);
    h.boxes.warningBox()->close();
}

QTEST_MAIN(TestFrmOpzioni)
#include "tst_frm_opzioni.moc"
