#include "frm_princ.h"

#include "caption_fit.h"
#include "day_curve.h"
#include "frm_opzioni.h"
#include "layouts.h"
#include "module1.h"
#include "picture_choice.h"
#include "pictures.h"
#include "power_source.h"
#include "screen_place.h"
#include "status_tip.h"
#include "status_words.h"
#include "steady_clock.h"
#include "texts.h"
#include "tick_rules.h"
#include "tip_words.h"
#include "window_stacking.h"

#include <QAccessible>
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QSlider>
#include <QTimer>
#include <QWindow>

#include <utility>

namespace tellavo {

namespace {

// Control places inside the client area, in twips.
constexpr TwipRect kLblPerc{0, 15, 735, 255};
constexpr TwipRect kProgressBar{510, 30, 975, 180};
constexpr TwipRect kImgStato{1530, 0, 255, 255};
constexpr TwipRect kLabel1{1800, 0, 255, 255};
constexpr TwipRect kSliderPerc{1080, 720, 2655, 255};

constexpr int kFramePixels = 1;  // the thin frame we draw round the client area

QAction* separator(QObject* parent, const QString& name, bool visible)
{
    auto* action = new QAction(parent);
    action->setObjectName(name);
    action->setSeparator(true);
    action->setVisible(visible);
    return action;
}

// Timer1 ticks every second; after the tick slept, a single shot first
// reaches the grid, or ticks at once (firstMs 0).
class QtTickTimer : public TickTimer {
public:
    QtTickTimer(QTimer& timer1, QTimer& phase) : m_timer1(timer1), m_phase(phase) {}
    void start(int firstMs) override
    {
        m_phase.stop();
        if (firstMs >= kTickMs) {
            m_timer1.start();
        } else {
            m_timer1.stop();
            m_phase.start(firstMs);
        }
    }
    void stop() override
    {
        m_phase.stop();
        m_timer1.stop();
    }

private:
    QTimer& m_timer1;
    QTimer& m_phase;
};

}  // namespace

FrmPrinc::FrmPrinc(Module1& module, PowerSource& si, const TickTiming* timing)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint),
      m_module(module),
      m_state(module.state()),
      m_si(si),
      m_scale(TwipScale::forWidget(this))
{
    setObjectName(QStringLiteral("frmPrinc"));
    setWindowTitle(QString());
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    // A strip on the desktop is hardly ever the active window; its tips must
    // show all the same.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setWindowIcon(QIcon(iconPath()));

    setUpTicking(timing);
    buildControls();
    buildMenu();
    loadImageList();
    Form_Load();
    fitCaptions();
    // A screen that goes or shrinks must not take the strip with it.
    screen_place::followScreens(this, [this] { keepOnScreen(); });
}

FrmPrinc::~FrmPrinc()
{
    // The scheduler goes before the QObject part would drop the connection.
    disconnect(&m_si, nullptr, this, nullptr);
}

void FrmPrinc::buildControls()
{
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));

    m_lblPerc = new QLabel(QStringLiteral("???%"), m_client);
    m_lblPerc->setObjectName(QStringLiteral("lblPerc"));
    m_lblPerc->setTextFormat(Qt::PlainText);
    m_lblPerc->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_imgStato = new QLabel(m_client);
    m_imgStato->setObjectName(QStringLiteral("imgStato"));
    m_imgStato->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_label1 = new QLabel(QStringLiteral(">"), m_client);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setTextFormat(Qt::PlainText);
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_label1->setAutoFillBackground(true);
    m_label1->setToolTip(texts::strip::kMenuHint);

    // The bar has a window of its own and lies above the labels where they overlap.
    m_progressBar = new QProgressBar(m_client);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_progressBar->raise();

    m_sliderPerc = new QSlider(Qt::Horizontal, m_client);
    m_sliderPerc->setObjectName(QStringLiteral("SliderPerc"));
    m_sliderPerc->setRange(0, 100);
    m_sliderPerc->setSingleStep(1);
    m_sliderPerc->setPageStep(5);
    m_sliderPerc->setTickPosition(QSlider::NoTicks);
    // The only control that takes the focus, also where it lies outside the
    // visible part of the window.
    m_sliderPerc->setFocusPolicy(Qt::StrongFocus);
    // The preview follows the value the slider settles on (a key, a click, the
    // thumb let go), not each place the thumb passes while it is dragged.
    m_sliderPerc->setTracking(false);
    connect(m_sliderPerc, &QSlider::valueChanged, this, [this] { SliderPerc_Change(); });

    for (QWidget* w : {static_cast<QWidget*>(m_client), static_cast<QWidget*>(m_lblPerc),
                       static_cast<QWidget*>(m_imgStato), static_cast<QWidget*>(m_label1),
                       static_cast<QWidget*>(m_progressBar)}) {
        w->setFocusPolicy(Qt::NoFocus);
        w->installEventFilter(this);
    }
    installEventFilter(this);
    m_sliderPerc->installEventFilter(this);

    applyLabel1Colours();
    placeControls();
}

void FrmPrinc::fitCaptions()
{
    // Every text the percentage label can show, not only the first.
    caption_fit::Caption percent{m_lblPerc, {m_lblPerc->text()}};
    for (int reading = 0; reading <= 100; ++reading)
        percent.texts << percentFromReading(reading).caption;
    percent.texts << percentFromReading(power::kUnknown).caption;
    caption_fit::fitFont(this, caption_fit::captionsOf(this, {percent}));
}

void FrmPrinc::setUpTicking(const TickTiming* timing)
{
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(kTickMs);
    // A second give or take a few milliseconds is plenty, and lets the system
    // batch our wake-up with others.
    m_timer1->setTimerType(Qt::CoarseTimer);
    connect(m_timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    m_timer1Phase = new QTimer(this);
    m_timer1Phase->setSingleShot(true);
    m_timer1Phase->setTimerType(Qt::CoarseTimer);
    connect(m_timer1Phase, &QTimer::timeout, this, [this] {
        m_timer1->start();
        Timer1_Timer();
    });
    if (timing) {
        m_scheduler = std::make_unique<TickScheduler>(timing->timer, timing->clock);
    } else {
        m_qtTimer = std::make_unique<QtTickTimer>(*m_timer1, *m_timer1Phase);
        m_steadyClock = std::make_unique<SteadyClock>(m_si.wakes());
        m_scheduler = std::make_unique<TickScheduler>(*m_qtTimer, *m_steadyClock);
    }
    connect(&m_si, &PowerSource::changed, this, [this] { m_scheduler->wake(); });
    connect(&m_si, &PowerSource::detailsChanged, this, &FrmPrinc::retellTip);
}

void FrmPrinc::placeControls()
{
    const auto place = [this](QWidget* w, const TwipRect& r) {
        w->setGeometry(m_scale.toPixels(r));
    };
    place(m_lblPerc, kLblPerc);
    place(m_progressBar, kProgressBar);
    place(m_imgStato, kImgStato);
    place(m_label1, kLabel1);
    place(m_sliderPerc, kSliderPerc);
}

void FrmPrinc::buildMenu()
{
    m_mnuPrinc = new QMenu(this);
    m_mnuPrinc->setObjectName(QStringLiteral("MnuPrinc"));
    // Items are chosen with the left button; QMenu would take the release of
    // any button as a choice.
    m_mnuPrinc->installEventFilter(this);
    m_mnuPrinc->setTitle(QStringLiteral("X"));

    m_mnuPrinc->addAction(separator(m_mnuPrinc, QStringLiteral("mnu2"), false));

    for (int i = 0; i < 3; ++i) {
        auto* item = new QAction(texts::strip::layout(i + 1), m_mnuPrinc);
        item->setObjectName(QStringLiteral("mnuLayout%1").arg(i + 1));
        item->setCheckable(true);
        item->setVisible(false);
        const int index = i + 1;
        connect(item, &QAction::triggered, this, [this, index] { mnuLayout_Click(index); });
        m_mnuLayout[i] = item;
        m_mnuPrinc->addAction(item);
    }

    auto* info = new QAction(texts::strip::kInfo, m_mnuPrinc);
    info->setObjectName(QStringLiteral("mnuInfoOn"));
    info->setEnabled(false);
    m_mnuPrinc->addAction(info);

    m_mnuPrinc->addAction(separator(m_mnuPrinc, QStringLiteral("div2"), true));

    auto* opzioni = new QAction(texts::strip::kOptions, m_mnuPrinc);
    opzioni->setObjectName(QStringLiteral("mnuOpzioni"));
    connect(opzioni, &QAction::triggered, this, [this] { mnuOpzioni_Click(); });
    m_mnuPrinc->addAction(opzioni);

    m_mnuPrinc->addAction(separator(m_mnuPrinc, QStringLiteral("mnu1"), true));

    auto* esci = new QAction(texts::strip::kExit, m_mnuPrinc);
    esci->setObjectName(QStringLiteral("mnuEsci"));
    connect(esci, &QAction::triggered, this, [this] { mnuEsci_Click(); });
    m_mnuPrinc->addAction(esci);
}

void FrmPrinc::loadImageList()
{
    const qreal dpr = devicePixelRatioF();
    m_imageList1.reserve(kPictureCount);
    for (int n = 1; n <= kPictureCount; ++n) {
        QPixmap picture(picturePath(n));
        if (dpr > 1.0 && !picture.isNull()) {
            // Pixel art stays sharp only when scaled by whole pixels, nearest neighbour.
            picture =
                picture.scaled(picture.size() * dpr, Qt::IgnoreAspectRatio, Qt::FastTransformation);
            picture.setDevicePixelRatio(dpr);
        }
        m_imageList1.append(picture);
    }
}

void FrmPrinc::Form_Load()
{
    showPicture(kPictureNoReading);
    mnuLayout_Click(1);
    m_scheduler->load();
}

void FrmPrinc::showPicture(int number)
{
    if (number < 1 || number > kPictureCount)
        return;
    // Assigning the picture already shown would only cost a repaint.
    if (number != m_shownPicture) {
        m_imgStato->setPixmap(m_imageList1[number - 1]);
        m_shownPicture = number;
        describeShown();
    }
}

void FrmPrinc::CambiaImmagine()
{
    if (const std::optional<int> number = choosePicture(m_state.Perc, m_state.Rete))
        showPicture(*number);
}

void FrmPrinc::mnuLayout_Click(int index)
{
    for (QAction* item : m_mnuLayout)
        item->setChecked(false);
    if (index < 1 || index > kLayoutCount)
        return;
    m_mnuLayout[index - 1]->setChecked(true);
    const LayoutSize size = kLayoutSizes[index - 1];
    const int width = m_scale.toPixelsX(size.widthTwips);
    const int height = m_scale.toPixelsY(size.heightTwips);
    setFixedSize(width, height);
    m_client->setGeometry(kFramePixels, kFramePixels, width - 2 * kFramePixels,
                          height - 2 * kFramePixels);
}

void FrmPrinc::Timer1_Timer()
{
    const PowerReading now = m_si.read();
    const int line = now.acLineStatus;
    const int lineBefore = m_shownLine;
    m_shownLine = line;
    m_state.Rete = reteFromLineStatus(line);
    CambiaImmagine();
    const int percent = now.batteryLifePercent;
    const PercentReading reading = percentFromReading(percent);
    m_state.Perc = reading.perc;
    const bool newCaption = m_lblPerc->text() != reading.caption;
    if (newCaption) {
        m_lblPerc->setText(reading.caption);
        m_shownReading = percent;
        describeShown();
    }
    if (m_progressBar->value() != m_state.Perc) {
        m_progressBar->setValue(m_state.Perc);
        // QProgressBar repaints only a change wider than one of its style's
        // blocks (9 px of a 60 px groove); the bar drawn here has no blocks.
        m_progressBar->update();
    }
    // An open tip's first line is the charge the strip shows; a new line
    // status makes the source's last round a tale of before. A screen
    // reader, when one listens, gets the same lines from the strip.
    if (newCaption || line != lineBefore) {
        if (tipShown() && line != lineBefore)
            m_si.refreshDetails();
        retellTip();
    }
    if (applyWarningRule(m_state))
        showWarning();
    // Only a source that announces its changes lets the tick sleep; on the
    // others the check is not even made.
    const bool sleep =
        m_si.announcesChanges() &&
        tickWouldRepeat(m_state, {m_shownPicture, m_lblPerc->text(), m_progressBar->value()}, line,
                        percent);
    m_scheduler->ticked(sleep);
}

void FrmPrinc::showWarning()
{
    // Never exec(): Qt fires no timer again while its handler sits in a nested
    // event loop, and the window must keep ticking behind the box. A box still
    // open from an earlier fall stays as it is; this fall gets a box of its own.
    auto* box =
        new QMessageBox(QMessageBox::Warning, texts::kTitle, m_state.Messaggio, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("warningBox"));
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    // show() drops the stays-on-top hint, so it is set on the shown window.
    stacking::setAbove(box, true);
}

void FrmPrinc::SliderPerc_Change()
{
    m_state.Perc = static_cast<quint8>(m_sliderPerc->value());
    CambiaImmagine();
    m_scheduler->wake();
}

void FrmPrinc::settingsChanged()
{
    m_scheduler->wake();
}

void FrmPrinc::mnuOpzioni_Click()
{
    {
        // Made and loaded afresh at each opening, gone when it closes.
        FrmOpzioni dialog(m_module);
        dialog.exec();
    }
    m_module.ApplicaPrimoPiano();
}

void FrmPrinc::mnuEsci_Click()
{
    m_module.Esci();
}

void FrmPrinc::mouseDownOn(MouseTarget target, Qt::MouseButton button, const QPoint& globalPos)
{
    const MouseResponse response = routeMouse(target, button);
    if (response.drag)
        startDrag(globalPos);
    if (response.menu)
        m_mnuPrinc->popup(globalPos);
}

void FrmPrinc::startDrag(const QPoint& globalPos)
{
    m_dragStarted = true;
    if (QWindow* handle = windowHandle();
        handle && !stacking::isUnmanaged(this) && handle->startSystemMove()) {
        m_systemMove = true;
        return;
    }
    // No interactive move from the window manager (bare X server, offscreen,
    // a window it does not manage): follow the pointer ourselves until the
    // left button is let go.
    m_manualDrag = true;
    m_dragOffset = globalPos - pos();
}

void FrmPrinc::describeShown()
{
    StatusInput shown;
    shown.batteryLifePercent = m_shownReading;
    shown.picture = m_shownPicture;
    const StatusWords words = statusWords(shown);
    const auto describe = [](QWidget* w, const AccessibleText& text) {
        if (w->accessibleName() != text.name)
            w->setAccessibleName(text.name);
        if (w->accessibleDescription() != text.description)
            w->setAccessibleDescription(text.description);
    };
    // The strip's own description is the tip's lines (describeStrip).
    if (accessibleName() != words.window.name)
        setAccessibleName(words.window.name);
    if (accessibleDescription().isEmpty())
        describeStrip(QString());
    describe(m_lblPerc, words.percent);
    describe(m_progressBar, words.bar);
    describe(m_imgStato, words.picture);
    describe(m_label1, words.menu);
    describe(m_sliderPerc, words.slider);
}

bool FrmPrinc::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    // Reached from the label, the bar, the picture and the surface, which
    // have no tip of their own; the slider gets none.
    auto* help = static_cast<QHelpEvent*>(event);
    if (childAt(help->pos()) == m_sliderPerc) {
        hideTip();
        event->ignore();
        return true;
    }
    // What the source holds now is shown at once; what it gathers for the
    // tip (a round trip to UPower) follows through showTip() again.
    m_tipAt = help->globalPos();
    m_si.refreshDetails();
    showTip();
    return true;
}

void FrmPrinc::showTip()
{
    // The readings the strip shows, and what the source holds besides.
    const BatteryDetails details = m_si.batteryDetails();
    const TipInput input{m_shownLine, m_shownReading, details};
    StatusTip::Content content;
    content.lines = tipWords(input);
    content.spokenLines = tipWords(input, Voice::Speech);
    content.day = details.day;
    content.dayWords = dayWords(details.day);
    content.spokenDayWords = dayWords(details.day, Voice::Speech);
    content.threshold = m_state.Soglia;
    // Made for each showing and gone once hidden, as Qt's own tips are: a
    // screen reader finds no tip that is not on the screen. One hidden just
    // now is on its way out.
    if (!tipShown())
        m_tip = new StatusTip(this);
    m_tip->showAt(m_tipAt, content);
    describeStrip(content.spokenLines);
}

void FrmPrinc::describeStrip(const QString& spokenLines)
{
    // Explored with a screen reader's keys, the strip tells what its tip
    // would: the strip never takes the focus, and a hover needs a mouse.
    const QString description =
        spokenLines.isEmpty() ? texts::strip::kWindowDescription : spokenLines;
    if (accessibleDescription() != description)
        setAccessibleDescription(description);
}

bool FrmPrinc::tipShown() const
{
    return m_tip && m_tip->isVisible();
}

void FrmPrinc::hideTip()
{
    if (m_tip)
        m_tip->hide();
}

void FrmPrinc::retellTip()
{
    if (tipShown())
        showTip();
    else if (QAccessible::isActive())
        describeStrip(
            tipWords({m_shownLine, m_shownReading, m_si.batteryDetails()}, Voice::Speech));
}

bool FrmPrinc::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_mnuPrinc) {
        return event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton;
    }
    if (watched == m_sliderPerc) {
        // A click on the slider previews its value even when the value stays.
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            SliderPerc_Change();
        return false;
    }
    switch (event->type()) {
        case QEvent::MouseButtonDblClick:
            // The second press of a double click is no new press: it neither
            // drags nor opens the menu again.
            return true;
        case QEvent::MouseButtonPress: {
            auto* me = static_cast<QMouseEvent*>(event);
            m_systemMove = false;
            MouseTarget target = MouseTarget::Surface;
            if (watched == m_lblPerc)
                target = MouseTarget::LblPerc;
            else if (watched == m_imgStato)
                target = MouseTarget::ImgStato;
            else if (watched == m_progressBar)
                target = MouseTarget::ProgressBar;
            else if (watched == m_label1)
                target = MouseTarget::Label1;
            mouseDownOn(target, me->button(), me->globalPosition().toPoint());
            return true;
        }
        case QEvent::MouseMove:
            if (m_manualDrag) {
                auto* me = static_cast<QMouseEvent*>(event);
                // The release can be lost (a compositor that let the pointer
                // go elsewhere): motion with the left button up ends the drag,
                // so that no later motion or other button moves the strip.
                if (!me->buttons().testFlag(Qt::LeftButton)) {
                    m_manualDrag = false;
                    break;
                }
                move(me->globalPosition().toPoint() - m_dragOffset);
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
                break;
            if (m_manualDrag) {
                m_manualDrag = false;
                return true;
            }
            // The release came here, not to the window manager: it had not
            // yet taken the pointer for the move asked for at the press, and
            // would begin one that no release ends.
            if (std::exchange(m_systemMove, false))
                stacking::cancelSystemMove(this);
            break;
        case QEvent::ToolTip:
            // Label1 shows Qt's tip of its own: not both at once.
            if (watched == m_label1)
                hideTip();
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmPrinc::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void FrmPrinc::closeEvent(QCloseEvent* event)
{
    // Closed other than by "Esci" (window manager, session end): nothing is saved.
    event->accept();
    QCoreApplication::quit();
}

void FrmPrinc::applyLabel1Colours()
{
    // The desktop has no title bars of its own to borrow from; an inactive
    // selection is the nearest thing in its palette.
    QPalette pal = m_label1->palette();
    pal.setColor(QPalette::Window, palette().color(QPalette::Inactive, QPalette::Highlight));
    pal.setColor(QPalette::WindowText,
                 palette().color(QPalette::Inactive, QPalette::HighlightedText));
    m_label1->setPalette(pal);
}

void FrmPrinc::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        applyLabel1Colours();
    QWidget::changeEvent(event);
}

void FrmPrinc::setAbove(bool above)
{
    stacking::setAbove(this, above);
}

void FrmPrinc::showWindow()
{
    stacking::prepareIndicator(this);
    show();
}

QPoint FrmPrinc::placedPixels() const
{
    return stacking::clampPlace(
        QPoint(m_scale.toPixelsX(m_leftTwips), m_scale.toPixelsY(m_topTwips)));
}

bool FrmPrinc::movedByUser() const
{
    return !m_placed || (m_dragStarted && pos() != placedPixels());
}

QPoint FrmPrinc::wholeOnScreen(QPoint here)
{
    const QPoint there = screen_place::wholeOnScreens(QRect(here, frameGeometry().size()),
                                                      screen_place::availableAreas());
    if (there != here) {
        // Where the strip now is becomes its place, for "Esci" to save.
        m_leftTwips = float(m_scale.toTwipsX(there.x()));
        m_topTwips = float(m_scale.toTwipsY(there.y()));
        m_placed = true;
        m_dragStarted = false;
    }
    return there;
}

void FrmPrinc::keepOnScreen()
{
    const QPoint here = movedByUser() ? pos() : placedPixels();
    const QPoint there = wholeOnScreen(here);
    if (there != here)
        move(there);
}

void FrmPrinc::moveToTwips(float left, float top)
{
    m_leftTwips = left;
    m_topTwips = top;
    m_placed = true;
    m_dragStarted = false;
    wholeOnScreen(placedPixels());
    stacking::placeWindow(
        this, [this] { return placedPixels(); }, [this] { return !m_dragStarted; });
}

float FrmPrinc::leftTwips() const
{
    return movedByUser() ? float(m_scale.toTwipsX(pos().x())) : m_leftTwips;
}

float FrmPrinc::topTwips() const
{
    return movedByUser() ? float(m_scale.toTwipsY(pos().y())) : m_topTwips;
}

void FrmPrinc::giveFocus()
{
    activateWindow();
    m_sliderPerc->setFocus(Qt::OtherFocusReason);
}

}  // namespace tellavo
