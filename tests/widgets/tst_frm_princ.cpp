// The battery window on the offscreen platform: layouts, menu, mouse, slider,
// and the one-second tick against a fake power source.
#include "data_row.h"
#include "desktop_text.h"
#include "fake_power_source.h"
#include "frm_princ.h"
#include "ini_format.h"
#include "module1.h"
#include "picture_choice.h"
#include "settings_store.h"
#include "status_tip.h"
#include "window_harness.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

using namespace tellavo;
using namespace tellavo::test;

Q_DECLARE_METATYPE(tellavo::MouseTarget)

namespace {

struct OwnSource {
    FakePowerSource si;
};

// The window over a fake source of its own; ticks are driven by hand.
struct Harness : OwnSource, test::WindowHarness {
    explicit Harness(int soglia = -1) : test::WindowHarness(si, soglia) {}
    // The source reads (line, perc) at the tick that runs now.
    void tickAt(int line, int perc)
    {
        si.set(line, perc);
        w->Timer1_Timer();
    }
};

QWidget* widgetFor(FrmPrinc* w, MouseTarget target)
{
    switch (target) {
        case MouseTarget::Surface:
            return named(w, "client");
        case MouseTarget::LblPerc:
            return named(w, "lblPerc");
        case MouseTarget::ImgStato:
            return named(w, "imgStato");
        case MouseTarget::ProgressBar:
            return named(w, "ProgressBar");
        case MouseTarget::Label1:
            return named(w, "Label1");
    }
    return nullptr;
}

// A point on the part of a control the window shows (controls may reach past
// the client area's edge).
QPoint visiblePoint(FrmPrinc* w, QWidget* control)
{
    const QRect shown = QRect(control->mapTo(w, QPoint(0, 0)), control->size())
                            .intersected(named(w, "client")->geometry());
    return control->mapFrom(w, shown.center());
}

// The pointer moves over the control to `to` with the buttons held (offscreen
// has no interactive move: the window follows the pointer itself).
void moveHeld(QWidget* control, QPoint to, Qt::MouseButtons held)
{
    QMouseEvent e(QEvent::MouseMove, QPointF(to), QPointF(control->mapToGlobal(to)), Qt::NoButton,
                  held, Qt::NoModifier);
    QApplication::sendEvent(control, &e);
}

QStringList visibleMenuLines(QMenu* menu)
{
    QStringList lines;
    for (QAction* a : menu->actions())
        if (a->isVisible())
            lines << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return lines;
}

}  // namespace

class TestFrmPrinc : public QObject {
    Q_OBJECT
private slots:
    void afterLoad();
    void layouts_data();
    void layouts();
    void controlsAtTheirPlaces();
    void menuItems();
    void mousePress_data();
    void mousePress();
    void menuItemChosenWithLeftButtonOnly_data();
    void menuItemChosenWithLeftButtonOnly();
    void doubleClickStartsOneDrag();
    void dragMovesAndPositionFollows();
    void placeKeptOrBroughtOnScreen_data();
    void placeKeptOrBroughtOnScreen();
    void screenChangeBringsTheStripBack_data();
    void screenChangeBringsTheStripBack();
    void sliderIsTheOnlyFocus();
    void sliderPreview();
    void sliderPreviewWhenThumbLetGo();
    void tickOrderAndLag();
    void tickUnknownReadings();
    void warningOncePerCrossing();
    void warningBoxPerFallWhileOthersOpen();
    void warningIsPlainTextAndDoesNotBlock();
    void sleepsOnlyOnAnAnnouncingSource_data();
    void sleepsOnlyOnAnAnnouncingSource();
    void wakesOnItsOwnTimer_data();
    void wakesOnItsOwnTimer();
    void exitSavesThroughMenu();
    void tipWhenAskedFor_data();
    void tipWhenAskedFor();
    void screenReaderFollowsTheStrip();
};

void TestFrmPrinc::afterLoad()
{
    Harness h;
    QVERIFY(h.w);
    QCOMPARE(h.label(), QStringLiteral("???%"));
    QCOMPARE(shownPicture(h.w), 25);
    QVERIFY(!named<QLabel>(h.w, "imgStato")->pixmap().isNull() ||
            QPixmap(":/pictures/25.xpm").isNull());
    QCOMPARE(named<QProgressBar>(h.w, "ProgressBar")->minimum(), 0);
    QCOMPARE(named<QProgressBar>(h.w, "ProgressBar")->maximum(), 100);
    QCOMPARE(named<QTimer>(h.w, "Timer1")->interval(), 1000);
    QVERIFY(h.w->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(h.w->windowFlags().testFlag(Qt::Tool));
    QCOMPARE(named(h.w, "Label1")->toolTip(), QStringLiteral("Clic per aprire il menu"));
    // The first run turns always-on-top on.
    QVERIFY(h.w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestFrmPrinc::layouts_data()
{
    QTest::addColumn<QList<int>>("commands");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("checked");
    QTest::newRow("load gives 1") << QList<int>{} << QSize(131, 19) << 1;
    QTest::newRow("2") << QList<int>{2} << QSize(230, 17) << 2;
    QTest::newRow("2 then 3") << QList<int>{2, 3} << QSize(230, 91) << 3;
    QTest::newRow("3 then 1") << QList<int>{3, 1} << QSize(131, 19) << 1;
    QTest::newRow("other index keeps size, clears marks")
        << QList<int>{2, 7} << QSize(230, 17) << 0;
}

void TestFrmPrinc::layouts()
{
    QFETCH(QList<int>, commands);
    QFETCH(QSize, size);
    QFETCH(int, checked);
    Harness h;
    const QPoint corner = h.w->pos();
    for (int n : commands)
        h.w->mnuLayout_Click(n);
    QCOMPARE(h.w->frameGeometry().size(), size);
    QCOMPARE(h.w->pos(), corner);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(named<QAction>(h.w, QStringLiteral("mnuLayout%1").arg(i))->isChecked(),
                 i == checked);
}

void TestFrmPrinc::controlsAtTheirPlaces()
{
    Harness h;
    // Twips at 15 per pixel, inside a client area one frame pixel in.
    QCOMPARE(named(h.w, "client")->geometry(), QRect(1, 1, 129, 17));
    QCOMPARE(named(h.w, "lblPerc")->geometry(), QRect(0, 1, 49, 17));
    QCOMPARE(named<QProgressBar>(h.w, "ProgressBar")->geometry(), QRect(34, 2, 65, 12));
    QCOMPARE(named<QLabel>(h.w, "imgStato")->geometry(), QRect(102, 0, 17, 17));
    QCOMPARE(named(h.w, "Label1")->geometry(), QRect(120, 0, 17, 17));
    QCOMPARE(named<QSlider>(h.w, "SliderPerc")->geometry(), QRect(72, 48, 177, 17));
}

void TestFrmPrinc::menuItems()
{
    Harness h;
    QStringList all;
    for (QAction* a : named<QMenu>(h.w, "MnuPrinc")->actions())
        all << QStringLiteral("%1|%2|%3")
                   .arg(a->isSeparator() ? QStringLiteral("-") : a->text())
                   .arg(a->isVisible() ? 1 : 0)
                   // Qt reports hidden actions as disabled, whatever they are set to.
                   .arg(a->isVisible() ? (a->isEnabled() ? "1" : "0") : "hidden");
    QCOMPARE(all,
             (QStringList{"-|0|hidden", "&Layout 1|0|hidden", "&Layout 2|0|hidden",
                          "&Layout 3 con opzioni|0|hidden", "----- &Mivor Tellavo 1.1 -----|1|0",
                          "-|1|1", "&Opzioni...|1|1", "-|1|1", "&Esci|1|1"}));
    for (QAction* a : named<QMenu>(h.w, "MnuPrinc")->actions())
        QVERIFY(a->shortcut().isEmpty());
}

void TestFrmPrinc::mousePress_data()
{
    QTest::addColumn<MouseTarget>("target");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("menu");
    QTest::addColumn<bool>("drags");
    QTest::addColumn<bool>("releaseLost");
    const std::pair<MouseTarget, const char*> targets[] = {
        {MouseTarget::Surface, "surface"},
        {MouseTarget::LblPerc, "lblPerc"},
        {MouseTarget::ImgStato, "imgStato"},
        {MouseTarget::ProgressBar, "ProgressBar"}};
    for (const auto& [t, name] : targets) {
        QTest::addRow("%s left", name) << t << Qt::LeftButton << false << true << false;
        QTest::addRow("%s right", name) << t << Qt::RightButton << true << false << false;
        QTest::addRow("%s middle", name) << t << Qt::MiddleButton << false << false << false;
        QTest::addRow("%s left, release lost", name)
            << t << Qt::LeftButton << false << true << true;
    }
    QTest::newRow("Label1 left") << MouseTarget::Label1 << Qt::LeftButton << true << false << false;
    QTest::newRow("Label1 right") << MouseTarget::Label1 << Qt::RightButton << true << false
                                  << false;
    QTest::newRow("Label1 middle")
        << MouseTarget::Label1 << Qt::MiddleButton << true << false << false;
}

void TestFrmPrinc::mousePress()
{
    QFETCH(MouseTarget, target);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, menu);
    QFETCH(bool, drags);
    QFETCH(bool, releaseLost);
    Harness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.w));
    QWidget* control = widgetFor(h.w, target);
    const QPoint at = visiblePoint(h.w, control);
    const QPoint start = h.w->pos();

    QTest::mousePress(control, button, Qt::NoModifier, at);
    QTest::qWait(20);
    QWidget* popup = QApplication::activePopupWidget();
    QCOMPARE(popup == named<QMenu>(h.w, "MnuPrinc"), menu);
    if (popup) {
        // The menu opens at the pointer.
        QCOMPARE(popup->pos(), control->mapToGlobal(at));
        popup->close();
    }
    moveHeld(control, at + QPoint(30, 40), button);
    if (releaseLost) {
        // The release went to another window; the pointer comes back with no
        // button held, then the middle button is pressed and moved.
        QWidget elsewhere;
        QTest::mouseRelease(&elsewhere, button);
        moveHeld(control, at + QPoint(50, 10), Qt::NoButton);
        button = Qt::MiddleButton;
        QTest::mousePress(control, button, Qt::NoModifier, at);
        moveHeld(control, at + QPoint(70, 60), button);
    }
    QTest::mouseRelease(control, button, Qt::NoModifier, at + QPoint(30, 40));
    QCOMPARE(h.w->pos() != start, drags);
    if (drags)
        QCOMPARE(h.w->pos(), start + QPoint(30, 40));
}

void TestFrmPrinc::menuItemChosenWithLeftButtonOnly_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("chosen");
    QTest::newRow("left chooses") << Qt::LeftButton << true;
    QTest::newRow("right does not") << Qt::RightButton << false;
    QTest::newRow("middle does not") << Qt::MiddleButton << false;
}

void TestFrmPrinc::menuItemChosenWithLeftButtonOnly()
{
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, chosen);
    Harness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.w));
    QTest::mousePress(named(h.w, "lblPerc"), Qt::RightButton, Qt::NoModifier, QPoint(3, 3));
    QTest::mouseRelease(named(h.w, "lblPerc"), Qt::RightButton, Qt::NoModifier, QPoint(3, 3));
    QMenu* menu = named<QMenu>(h.w, "MnuPrinc");
    QTRY_COMPARE(QApplication::activePopupWidget(), menu);
    // A whole click of the button on "&Esci", which saves when it is chosen.
    const QPoint esci = menu->actionGeometry(named<QAction>(h.w, "mnuEsci")).center();
    QTest::mouseMove(menu, esci);
    QTest::mousePress(menu, button, Qt::NoModifier, esci);
    QTest::mouseRelease(menu, button, Qt::NoModifier, esci);
    QTest::qWait(20);
    QCOMPARE(QFile::exists(h.store->fileName()), chosen);
    QCOMPARE(QApplication::activePopupWidget() == menu, !chosen);
    menu->close();
}

void TestFrmPrinc::doubleClickStartsOneDrag()
{
    Harness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.w));
    QWidget* label = named(h.w, "lblPerc");
    const QPoint at(5, 5);
    const QPoint start = h.w->pos();
    QTest::mouseDClick(label, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    // The first press's drag ended with its release; the second press of the
    // double click starts none, so the pointer moving on moves nothing.
    moveHeld(label, at + QPoint(40, 30), Qt::LeftButton);
    QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, at + QPoint(40, 30));
    QCOMPARE(h.w->pos(), start);
}

void TestFrmPrinc::dragMovesAndPositionFollows()
{
    Harness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.w));
    QCOMPARE(h.w->leftTwips(), 100.0f);
    QCOMPARE(h.w->topTwips(), 100.0f);
    QWidget* label = named(h.w, "lblPerc");
    const QPoint at(5, 5);
    QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, at);
    moveHeld(label, at + QPoint(100, 50), Qt::LeftButton);
    QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, at + QPoint(100, 50));
    // From 7,7 pixels (100 twips rounded) by 100,50.
    QCOMPARE(h.w->pos(), QPoint(107, 57));
    QCOMPARE(h.w->leftTwips(), 107.0f * 15);
    QCOMPARE(h.w->topTwips(), 57.0f * 15);
}

// The offscreen platform's one screen is 800 by 800 pixels, the strip 131 by 19.
void TestFrmPrinc::placeKeptOrBroughtOnScreen_data()
{
    QTest::addColumn<float>("left");
    QTest::addColumn<float>("top");
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<float>("leftRead");
    QTest::addColumn<float>("topRead");
    row("on the screen: kept as set", 735.0f, 120.0f, QPoint(49, 8), 735.0f, 120.0f);
    row("under half a pixel above: kept as set", 735.0f, -7.0f, QPoint(49, 0), 735.0f, -7.0f);
    row("above the screen: its top edge", 735.0f, -120.0f, QPoint(49, 0), 735.0f, 0.0f);
    row("30000 twips: the corner", 30000.0f, 30000.0f, QPoint(669, 781), 669.0f * 15, 781.0f * 15);
    row("beyond X's range: the corner", 1e9f, -1e9f, QPoint(669, 0), 669.0f * 15, 0.0f);
}

void TestFrmPrinc::placeKeptOrBroughtOnScreen()
{
    QFETCH(float, left);
    QFETCH(float, top);
    QFETCH(QPoint, at);
    QFETCH(float, leftRead);
    QFETCH(float, topRead);
    Harness h;
    QCOMPARE(h.w->screen()->availableGeometry(), QRect(0, 0, 800, 800));
    h.w->moveToTwips(left, top);
    QCOMPARE(h.w->pos(), at);
    QCOMPARE(h.w->leftTwips(), leftRead);
    QCOMPARE(h.w->topTwips(), topRead);
    // A click that does not move the window keeps the place.
    QTest::mouseClick(named(h.w, "lblPerc"), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    QCOMPARE(h.w->leftTwips(), leftRead);
    QCOMPARE(h.w->topTwips(), topRead);
    // Only "Esci" and the options dialog's OK write the store.
    QVERIFY(!QFile::exists(h.store->fileName()));
}

void TestFrmPrinc::screenChangeBringsTheStripBack_data()
{
    QTest::addColumn<QString>("change");
    row("size", "geometry");
    row("available area", "available");
    row("a screen added", "added");
    row("a screen removed", "removed");
}

void TestFrmPrinc::screenChangeBringsTheStripBack()
{
    QFETCH(QString, change);
    Harness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.w));
    // A drag may leave the strip partly off the screen, and it stays so.
    QWidget* label = named(h.w, "lblPerc");
    QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    moveHeld(label, QPoint(755, 5), Qt::LeftButton);
    QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, QPoint(755, 5));
    QCOMPARE(h.w->pos(), QPoint(757, 7));
    // What the platform tells when the screens change.
    QScreen* screen = h.w->screen();
    if (change == QLatin1String("geometry"))
        emit screen->geometryChanged(screen->geometry());
    else if (change == QLatin1String("available"))
        emit screen->availableGeometryChanged(screen->availableGeometry());
    else if (change == QLatin1String("added"))
        emit qApp->screenAdded(screen);
    else
        emit qApp->screenRemoved(screen);
    QTRY_COMPARE(h.w->pos(), QPoint(669, 7));
    QCOMPARE(h.w->leftTwips(), 669.0f * 15);
    QCOMPARE(h.w->topTwips(), 7.0f * 15);
    QVERIFY(!QFile::exists(h.store->fileName()));
}

void TestFrmPrinc::sliderIsTheOnlyFocus()
{
    Harness h;
    QVERIFY(QTest::qWaitForWindowActive(h.w));
    QCOMPARE(QApplication::focusWidget(), named<QSlider>(h.w, "SliderPerc"));
    const QList<QWidget*> all = h.w->findChildren<QWidget*>();
    for (QWidget* child : all)
        if (child != named<QSlider>(h.w, "SliderPerc"))
            QCOMPARE(child->focusPolicy(), Qt::NoFocus);
}

void TestFrmPrinc::sliderPreview()
{
    Harness h;
    QVERIFY(QTest::qWaitForWindowActive(h.w));
    h.tickAt(power::kAcOffline, 57);
    h.w->Timer1_Timer();
    QCOMPARE(shownPicture(h.w), 5);
    // Keys reach the slider in layout 1, where it lies out of sight.
    QTest::keyClick(h.w->windowHandle(), Qt::Key_End);
    QCOMPARE(named<QSlider>(h.w, "SliderPerc")->value(), 100);
    QCOMPARE(int(h.state().Perc), 100);
    QCOMPARE(shownPicture(h.w), 1);
    QCOMPARE(h.label(), QStringLiteral(" 57%"));
    QCOMPARE(named<QProgressBar>(h.w, "ProgressBar")->value(), 57);
    QTest::keyClick(h.w->windowHandle(), Qt::Key_PageDown);
    QCOMPARE(named<QSlider>(h.w, "SliderPerc")->value(), 95);
    QCOMPARE(shownPicture(h.w), 2);
    QTest::keyClick(h.w->windowHandle(), Qt::Key_Left);
    QCOMPARE(named<QSlider>(h.w, "SliderPerc")->value(), 94);
    QTest::keyClick(h.w->windowHandle(), Qt::Key_Home);
    QCOMPARE(int(h.state().Perc), 0);
    QCOMPARE(shownPicture(h.w), 2);  // 0 leaves the picture
    // The next tick writes Perc again, and the tick after shows its picture.
    h.w->Timer1_Timer();
    QCOMPARE(shownPicture(h.w), 2);
    h.w->Timer1_Timer();
    QCOMPARE(shownPicture(h.w), 5);
}

void TestFrmPrinc::sliderPreviewWhenThumbLetGo()
{
    Harness h;
    h.w->mnuLayout_Click(3);  // the layout that shows the slider
    QVERIFY(QTest::qWaitForWindowExposed(h.w));
    QSlider* slider = named<QSlider>(h.w, "SliderPerc");
    h.tickAt(power::kAcOffline, 57);
    h.w->Timer1_Timer();
    QCOMPARE(shownPicture(h.w), 5);
    // Drag the thumb from its place at 0 to the far end of the groove.
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.maximum = 100;
    const QRect thumb = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                        QStyle::SC_SliderHandle, slider);
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, thumb.center());
    for (int x = thumb.center().x(); x < slider->width(); x += 10) {
        QTest::mouseMove(slider, QPoint(x, thumb.center().y()));
        // The thumb moves; the picture waits.
        QCOMPARE(shownPicture(h.w), 5);
        QCOMPARE(int(h.state().Perc), 57);
    }
    QVERIFY(slider->sliderPosition() > 50);
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier,
                        QPoint(slider->width() - 1, thumb.center().y()));
    QCOMPARE(int(h.state().Perc), slider->value());
    QCOMPARE(shownPicture(h.w), *choosePicture(h.state().Perc, false));
    QCOMPARE(h.label(), QStringLiteral(" 57%"));
}

void TestFrmPrinc::tickOrderAndLag()
{
    Harness h;
    h.tickAt(power::kAcOffline, 57);
    // The first tick chooses from Perc 0, which leaves picture 25.
    QCOMPARE(shownPicture(h.w), 25);
    QCOMPARE(h.label(), QStringLiteral(" 57%"));
    QCOMPARE(named<QProgressBar>(h.w, "ProgressBar")->value(), 57);
    h.tickAt(power::kAcOnline, 30);
    // New source, previous tick's percentage: mains at 57 %.
    QCOMPARE(shownPicture(h.w), 18);
    QCOMPARE(h.label(), QStringLiteral(" 30%"));
    h.w->Timer1_Timer();
    QCOMPARE(shownPicture(h.w), 21);
    QCOMPARE(h.si.reads, 3);  // both readings from one read a tick
}

void TestFrmPrinc::tickUnknownReadings()
{
    Harness h(100);
    h.tickAt(power::kUnknown, power::kUnknown);
    QCOMPARE(h.label(), QStringLiteral("!"));
    QCOMPARE(named<QProgressBar>(h.w, "ProgressBar")->value(), 100);
    QVERIFY(!h.boxes.warningBox());  // unknown line status counts as mains
    h.tickAt(power::kAcOffline, power::kUnknown);
    QVERIFY(h.boxes.warningBox());  // unknown percentage counts as 100
    h.boxes.warningBox()->close();
}

void TestFrmPrinc::warningOncePerCrossing()
{
    Harness h(20);
    int boxes = 0;
    const auto tick = [&](int line, int perc) {
        h.si.set(line, perc);
        const QMessageBox* before = h.boxes.warningBox();
        h.w->Timer1_Timer();
        if (h.boxes.warningBox() && h.boxes.warningBox() != before)
            ++boxes;
    };
    tick(power::kAcOffline, 21);
    QCOMPARE(boxes, 0);
    tick(power::kAcOffline, 20);
    QCOMPARE(boxes, 1);
    h.boxes.warningBox()->close();
    QTRY_VERIFY(!h.boxes.warningBox());
    tick(power::kAcOnline, 19);
    tick(power::kAcOffline, 18);
    QCOMPARE(boxes, 1);  // plugging in and out below the threshold: no second box
    tick(power::kAcOffline, 21);
    tick(power::kAcOffline, 20);
    QCOMPARE(boxes, 2);
    h.boxes.warningBox()->close();
}

void TestFrmPrinc::warningBoxPerFallWhileOthersOpen()
{
    Harness h(20);
    h.state().Messaggio = QStringLiteral("prima");
    h.tickAt(power::kAcOffline, 20);
    QMessageBox* first = h.boxes.warningBox();
    QVERIFY(first);
    // Re-armed and fallen again while the first box is still open.
    h.tickAt(power::kAcOffline, 21);
    h.state().Messaggio = QStringLiteral("seconda");
    h.tickAt(power::kAcOffline, 19);
    QCOMPARE(h.boxes.warningBoxes().size(), 2);
    QMessageBox* second = h.boxes.warningBox();
    QVERIFY(second != first);
    QCOMPARE(first->text(), QStringLiteral("prima"));
    QCOMPARE(second->text(), QStringLiteral("seconda"));
    for (QMessageBox* box : {first, second}) {
        QVERIFY(box->isVisible());
        QCOMPARE(box->windowModality(), Qt::ApplicationModal);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QVERIFY(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }
    // Ticks go on behind both; a tick at the threshold gives no third box.
    h.tickAt(power::kAcOffline, 18);
    QCOMPARE(h.label(), QStringLiteral(" 18%"));
    QCOMPARE(h.boxes.warningBoxes().size(), 2);
    // Closing one leaves the other.
    second->close();
    QTRY_COMPARE(h.boxes.warningBoxes(), QList<QMessageBox*>{first});
    QVERIFY(first->isVisible());
    first->close();
    QTRY_VERIFY(h.boxes.warningBoxes().isEmpty());
}

void TestFrmPrinc::warningIsPlainTextAndDoesNotBlock()
{
    Harness h(50);
    h.state().Messaggio = QStringLiteral("<b>x</b> <img src=\"/etc/passwd\">");
    h.si.set(power::kAcOffline, 40);
    named<QTimer>(h.w, "Timer1")->start();
    // The ticks run on their own while the box is open.
    QTRY_VERIFY_WITH_TIMEOUT(h.boxes.warningBox(), 3000);
    QMessageBox* box = h.boxes.warningBox();
    QCOMPARE(box->text(), h.state().Messaggio);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(box->windowTitle(), QStringLiteral("Tellavo"));
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QVERIFY(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    h.si.set(power::kAcOffline, 39);
    QTRY_COMPARE_WITH_TIMEOUT(h.label(), QStringLiteral(" 39%"), 3000);
    QCOMPARE(h.boxes.warningBox(), box);
    box->close();
    QTRY_VERIFY(!h.boxes.warningBox());
    QVERIFY(h.w->isVisible());  // closing the box does not end anything
}

void TestFrmPrinc::sleepsOnlyOnAnAnnouncingSource_data()
{
    QTest::addColumn<bool>("announcing");
    QTest::newRow("UPower-like source sleeps") << true;
    QTest::newRow("sysfs-like source ticks on") << false;
}

void TestFrmPrinc::sleepsOnlyOnAnAnnouncingSource()
{
    QFETCH(bool, announcing);
    Harness h;
    h.si.announcing = announcing;
    h.si.set(power::kAcOffline, 57);
    // The first tick leaves picture 25 and reads 57 %; the second shows its
    // picture, and a third would repeat the second.
    named<QTimer>(h.w, "Timer1")->start();
    h.w->Timer1_Timer();
    QVERIFY(!h.w->tickScheduler().asleep());
    QVERIFY(named<QTimer>(h.w, "Timer1")->isActive());
    h.w->Timer1_Timer();
    QCOMPARE(h.w->tickScheduler().asleep(), announcing);
    QCOMPARE(named<QTimer>(h.w, "Timer1")->isActive(), !announcing);
    QCOMPARE(h.label(), QStringLiteral(" 57%"));
    QCOMPARE(shownPicture(h.w), 5);
}

void TestFrmPrinc::wakesOnItsOwnTimer_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<QString>("label");  // once the next tick has run
    QTest::addColumn<int>("picture");    // and the one after
    QTest::newRow("readings change") << "readings"
                                     << " 40%" << 7;
    QTest::newRow("source switch") << "source"
                                   << " 57%" << 5;
    QTest::newRow("slider preview") << "slider"
                                    << " 57%" << 5;
    QTest::newRow("new threshold") << "settings"
                                   << " 57%" << 5;
}

// Each event that can change a tick starts Timer1 again, through the real timers.
void TestFrmPrinc::wakesOnItsOwnTimer()
{
    QFETCH(QString, event);
    QFETCH(QString, label);
    QFETCH(int, picture);
    Harness h;
    h.si.announcing = true;
    h.si.set(power::kAcOffline, 57);
    h.state().Soglia = 20;
    named<QTimer>(h.w, "Timer1")->start();
    QTRY_VERIFY_WITH_TIMEOUT(h.w->tickScheduler().asleep(), 5000);
    QVERIFY(!named<QTimer>(h.w, "Timer1")->isActive());
    const int reads = h.si.reads;
    QTest::qWait(1200);
    QCOMPARE(h.si.reads, reads);  // no tick

    if (event == QLatin1String("readings")) {
        h.si.change(power::kAcOffline, 40);
    } else if (event == QLatin1String("source")) {
        h.si.setAnnouncing(false);
    } else if (event == QLatin1String("slider")) {
        named<QSlider>(h.w, "SliderPerc")->setValue(90);
        QCOMPARE(shownPicture(h.w), 2);
    } else {
        h.state().Soglia = 60;
        h.state().Messaggio = QStringLiteral("nuova soglia");
        h.module->settingsChanged();
    }
    QVERIFY(!h.w->tickScheduler().asleep());
    // Then comes the tick, within a second.
    QTRY_VERIFY_WITH_TIMEOUT(h.si.reads > reads, 1500);
    QCOMPARE(h.label(), label);
    // Timer1 ticks again at its one-second interval, but the warning's tick
    // is all a new threshold needs.
    QCOMPARE(named<QTimer>(h.w, "Timer1")->isActive(), event != QLatin1String("settings"));
    QCOMPARE(named<QTimer>(h.w, "Timer1")->interval(), 1000);
    QTRY_COMPARE_WITH_TIMEOUT(shownPicture(h.w), picture, 1500);
    if (event == QLatin1String("source")) {
        QTest::qWait(1200);
        QVERIFY(named<QTimer>(h.w, "Timer1")->isActive());
        QVERIFY(!h.w->tickScheduler().asleep());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(h.w->tickScheduler().asleep(), 3000);
    }
    if (event == QLatin1String("settings")) {
        QVERIFY(h.boxes.warningBox());
        QCOMPARE(h.boxes.warningBox()->text(), QStringLiteral("nuova soglia"));
        h.boxes.warningBox()->close();
    } else {
        QVERIFY(!h.boxes.warningBox());
    }
}

void TestFrmPrinc::exitSavesThroughMenu()
{
    Harness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.w));
    h.state().Soglia = 33;
    h.w->moveToTwips(300.0f, 450.0f);
    // Choose "&Esci" in the open menu, as a user would.
    QTimer::singleShot(0, this, [] {
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QCOMPARE(visibleMenuLines(menu),
                 (QStringList{"----- &Mivor Tellavo 1.1 -----", "-", "&Opzioni...", "-", "&Esci"}));
        for (QAction* a : menu->actions())
            if (a->text() == QLatin1String("&Esci"))
                menu->setActiveAction(a);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    QTest::mousePress(named(h.w, "Label1"), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    QTest::qWait(50);
    QFile f(h.store->fileName());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QSettings::SettingsMap disk = ini::parse(f.readAll());
    QCOMPARE(disk.value(QStringLiteral("Generale/Soglia")).toString(), QStringLiteral("33"));
    QCOMPARE(disk.value(QStringLiteral("Generale/Sx")).toString(), QStringLiteral("300"));
    QCOMPARE(disk.value(QStringLiteral("Generale/Top")).toString(), QStringLiteral("450"));
    QCOMPARE(disk.value(QStringLiteral("Generale/SIPP")).toString(), QStringLiteral("1"));
}

void TestFrmPrinc::tipWhenAskedFor_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("tip");
    const QString state = QStringLiteral("In scarica: 57%, circa 1 h 5 min rimanenti");
    QTest::newRow("surface") << "client" << state;
    QTest::newRow("lblPerc") << "lblPerc" << state;
    QTest::newRow("ProgressBar") << "ProgressBar" << state;
    QTest::newRow("imgStato") << "imgStato" << state;
    QTest::newRow("Label1 keeps its own") << "Label1"
                                          << "Clic per aprire il menu";
    QTest::newRow("SliderPerc has none") << "SliderPerc" << QString();
}

// Qt's tool tip event on each control, as a hover makes it; the tip is made
// then, and only then does the window ask the source for the details.
void TestFrmPrinc::tipWhenAskedFor()
{
    QFETCH(QString, control);
    QFETCH(QString, tip);
    Harness h;
    h.w->mnuLayout_Click(3);  // the slider in sight
    h.si.set(power::kAcOffline, 57);
    h.si.details.state = ChargeState::Discharging;
    h.si.details.secondsToEmpty = 3900;
    h.w->Timer1_Timer();
    h.w->Timer1_Timer();
    QCOMPARE(h.si.detailsReads, 0);
    QToolTip::hideText();
    QTRY_VERIFY(QToolTip::text().isEmpty());

    auto* target = h.w->findChild<QWidget*>(control);
    QVERIFY(target);
    const QPoint at = visiblePoint(h.w, target);
    QHelpEvent help(QEvent::ToolTip, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &help);
    QPointer<StatusTip> own = h.w->findChild<StatusTip*>();
    QCOMPARE(own && own->isVisible() ? own->text() : QToolTip::text(), tip);
    const bool shown = tip.startsWith(QLatin1String("In scarica"));
    QCOMPARE(h.si.detailsReads, shown ? 1 : 0);
    QCOMPARE(h.si.detailsRounds, shown ? 1 : 0);
    if (!shown)
        return;
    QVERIFY(own->curveRect().isEmpty());
    // The round the tip asked for comes in: the open tip grows by its lines
    // and the day's curve, and the screen reader gets both as words.
    const int height = own->height();
    h.si.details.devices.push_back({DeviceKind::Mouse, {}, 40});
    h.si.details.day = {{7'200'000, 80, false}, {3'600'000, 90, true}, {0, 57, false}};
    emit h.si.detailsChanged();
    QCOMPARE(own->text(), tip + QStringLiteral("\nMouse: 40%"));
    QVERIFY(!own->curveRect().isEmpty());
    QVERIFY(own->height() > height + own->curveRect().height());
    // A screen reader hears the lines, spoken, as the tip's name and from
    // the strip itself; the curve in words as the tip's description.
    const QString spoken =
        QString(tip).replace("1 h 5 min", "1 ora e 5 minuti") + QStringLiteral("\nMouse: 40%");
    QCOMPARE(QAccessible::queryAccessibleInterface(own)->text(QAccessible::Name), spoken);
    QCOMPARE(h.w->accessibleDescription(), spoken);
    QCOMPARE(own->accessibleDescription(),
             QStringLiteral("Ultime 2 ore: dall'80% al 57%, collegato alla rete 1 volta, "
                            "scollegato 1 volta"));
    // A tick that changes what the strip shows remakes the open tip's first
    // line; one that changes nothing asks the source for nothing.
    const int reads = h.si.detailsReads;
    h.w->Timer1_Timer();
    QCOMPARE(h.si.detailsReads, reads);
    h.si.set(power::kAcOffline, 56);
    h.w->Timer1_Timer();
    QCOMPARE(own->text().section(QLatin1Char('\n'), 0, 0), QString(tip).replace("57%", "56%"));
    QCOMPARE(own->text().section(QLatin1Char('\n'), 1), QStringLiteral("Mouse: 40%"));
    // A charger plugged in asks for a new round: the last one told of before.
    const int rounds = h.si.detailsRounds;
    h.si.set(power::kAcOnline, 56);
    h.w->Timer1_Timer();
    QCOMPARE(h.si.detailsRounds, rounds + 1);
    // Once hidden (a press anywhere), a later round leaves it hidden, and it
    // is gone, for a screen reader too; the next hover makes it anew.
    const QString before = own->text();
    QTest::mousePress(named(h.w, "lblPerc"), Qt::LeftButton);
    QTest::mouseRelease(named(h.w, "lblPerc"), Qt::LeftButton);
    QVERIFY(!own->isVisible());
    emit h.si.detailsChanged();
    QTRY_VERIFY(!own);
    QVERIFY(!h.w->findChild<StatusTip*>());
    QApplication::sendEvent(target, &help);
    const StatusTip* again = h.w->findChild<StatusTip*>();
    QVERIFY(again && again->isVisible());
    QCOMPARE(again->text(), before);
}

// What a screen reader reads, through Qt's accessibility interfaces, where the
// end-to-end test does not go: an unknown charge and the slider's preview.
void TestFrmPrinc::screenReaderFollowsTheStrip()
{
    Harness h;
    const auto read = [](QWidget* w, QAccessible::Text t) {
        return QAccessible::queryAccessibleInterface(w)->text(t);
    };
    QCOMPARE(read(named(h.w, "lblPerc"), QAccessible::Name),
             QStringLiteral("Carica: nessuna lettura"));
    h.tickAt(power::kAcOnline, power::kUnknown);
    QCOMPARE(read(named(h.w, "lblPerc"), QAccessible::Name), QStringLiteral("Carica sconosciuta"));
    QCOMPARE(read(named<QProgressBar>(h.w, "ProgressBar"), QAccessible::Description),
             QStringLiteral("Carica sconosciuta, la barra resta piena"));
    named<QSlider>(h.w, "SliderPerc")->setValue(57);
    QCOMPARE(read(named<QLabel>(h.w, "imgStato"), QAccessible::Description),
             QStringLiteral("Alimentazione da rete, in carica, livello 6 su 10"));
}

QTEST_MAIN(TestFrmPrinc)
#include "tst_frm_princ.moc"
