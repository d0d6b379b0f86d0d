#include "frm_opzioni.h"

#include "caption_fit.h"
#include "module1.h"
#include "texts.h"
#include "threshold_rules.h"
#include "twips.h"
#include "x11_hints.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <limits>

namespace tellavo {

namespace {

constexpr int kClientWidth = 4680;
constexpr int kClientHeight = 2040;
constexpr TwipRect kTxtMessaggio{1080, 1080, 3495, 285};
constexpr TwipRect kCmdAnnulla{3600, 1560, 975, 375};
constexpr TwipRect kCmdOK{2520, 1560, 975, 375};
constexpr TwipRect kChkSipp{120, 600, 2535, 255};
constexpr TwipRect kSliderPerc{1920, 120, 2655, 255};
constexpr TwipRect kTxtAvvisareA{1080, 120, 615, 285};
constexpr TwipRect kLabel3{120, 1080, 1695, 255};
constexpr TwipRect kLabel2{1680, 120, 255, 375};
constexpr TwipRect kLabel1{120, 120, 855, 255};
constexpr int kThresholdMaxChars = 3;

}  // namespace

FrmOpzioni::FrmOpzioni(Module1& module, QWidget* parent)
    // A title and nothing else in the title bar: no icon, menu or buttons.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_module(module)
{
    setObjectName(QStringLiteral("frmOpzioni"));
    setWindowTitle(texts::options::kTitle);
    setModal(true);
    buildControls();
    caption_fit::fitFont(this, caption_fit::captionsOf(this));
    // Qt would centre a dialog without a parent and tell the window manager
    // so; the window manager's own place for a new window is the one wanted.
    // A native window made before any move keeps its place "automatic", and
    // WA_Moved then keeps QDialog from centring it at show time.
    winId();
    setAttribute(Qt::WA_Moved);
    // Qt asks for a title with no buttons by leaving the decorations to the
    // window manager, and some draw an icon and buttons then.
    x11::requestTitleOnlyBar(this);
    Form_Load();
}

void FrmOpzioni::buildControls()
{
    const TwipScale scale = TwipScale::forWidget(this);
    const auto place = [&scale](QWidget* w, const TwipRect& r) {
        w->setGeometry(scale.toPixels(r));
    };
    setFixedSize(scale.toPixelsX(kClientWidth), scale.toPixelsY(kClientHeight));

    // Made in the order the dialog declares them, so that where they overlap
    // the later ones lie above (the message box covers part of its label).
    auto* label3 = new QLabel(texts::options::kMessageCaption, this);
    label3->setObjectName(QStringLiteral("Label3"));
    auto* label2 = new QLabel(QStringLiteral(" % "), this);
    label2->setObjectName(QStringLiteral("Label2"));
    auto* label1 = new QLabel(texts::options::kThresholdCaption, this);
    label1->setObjectName(QStringLiteral("Label1"));
    for (QLabel* l : {label1, label2, label3})
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_txtMessaggio = new QLineEdit(this);
    m_txtMessaggio->setObjectName(QStringLiteral("txtMessaggio"));
    m_txtMessaggio->setMaxLength(std::numeric_limits<int>::max());  // no limit

    m_cmdAnnulla = new QPushButton(texts::options::kCancelCaption, this);
    m_cmdAnnulla->setObjectName(QStringLiteral("cmdAnnulla"));
    m_cmdOK = new QPushButton(texts::options::kOkCaption, this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);

    m_chkSipp = new QCheckBox(texts::options::kAlwaysOnTopCaption, this);
    m_chkSipp->setObjectName(QStringLiteral("chkSipp"));
    m_chkSipp->setEnabled(false);

    m_sliderPerc = new QSlider(Qt::Horizontal, this);
    m_sliderPerc->setObjectName(QStringLiteral("SliderPerc"));
    m_sliderPerc->setRange(kSliderMin, kSliderMax);
    m_sliderPerc->setSingleStep(1);
    m_sliderPerc->setPageStep(5);
    m_sliderPerc->setTickPosition(QSlider::NoTicks);

    m_txtAvvisareA = new QLineEdit(this);
    m_txtAvvisareA->setObjectName(QStringLiteral("txtAvvisareA"));
    m_txtAvvisareA->setMaxLength(kThresholdMaxChars);

    place(m_txtMessaggio, kTxtMessaggio);
    place(m_cmdAnnulla, kCmdAnnulla);
    place(m_cmdOK, kCmdOK);
    place(m_chkSipp, kChkSipp);
    place(m_sliderPerc, kSliderPerc);
    place(m_txtAvvisareA, kTxtAvvisareA);
    place(label3, kLabel3);
    place(label2, kLabel2);
    place(label1, kLabel1);

    // An access key moves the focus to the control after its label.
    label1->setBuddy(m_txtAvvisareA);
    label3->setBuddy(m_txtMessaggio);
    setTabOrder(m_txtAvvisareA, m_sliderPerc);
    setTabOrder(m_sliderPerc, m_chkSipp);
    setTabOrder(m_chkSipp, m_txtMessaggio);
    setTabOrder(m_txtMessaggio, m_cmdOK);
    setTabOrder(m_cmdOK, m_cmdAnnulla);

    connect(m_txtAvvisareA, &QLineEdit::textChanged, this, [this] { textToSlider(); });
    m_txtAvvisareA->installEventFilter(this);
    connect(m_sliderPerc, &QSlider::valueChanged, this, [this] { sliderToText(); });
    connect(m_sliderPerc, &QSlider::sliderMoved, this, [this] { sliderToText(); });
    connect(m_cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(m_cmdAnnulla, &QPushButton::clicked, this, &QDialog::reject);

    // What a screen reader says of each control: a name of its own (the
    // labels' "&" and ":" would be read out) and what it does.
    namespace said = texts::options;
    const struct {
        QWidget* control;
        said::Accessible words;
    } accessible[] = {
        {m_txtAvvisareA, said::kThreshold},
        {m_sliderPerc, said::kSlider},
        {m_chkSipp, said::kAlwaysOnTop},
        {m_txtMessaggio, said::kMessage},
        {m_cmdOK, said::kOk},
        {m_cmdAnnulla, said::kCancel},
    };
    for (const auto& a : accessible) {
        a.control->setAccessibleName(QString::fromUtf8(a.words.name));
        a.control->setAccessibleDescription(QString::fromUtf8(a.words.description));
    }
}

void FrmOpzioni::Form_Load()
{
    const AppState& state = m_module.state();
    m_txtAvvisareA->setText(QString::number(state.Soglia));  // moves the slider too
    {
        // A threshold above the slider's range leaves the slider at its end
        // without rewriting the text.
        const QSignalBlocker quiet(m_sliderPerc);
        m_sliderPerc->setValue(qMin(int(state.Soglia), kSliderMax));
    }
    m_txtMessaggio->setText(state.Messaggio);
    m_chkSipp->setChecked(state.Sipp == kTrue);
    m_txtAvvisareA->setFocus(Qt::OtherFocusReason);
}

void FrmOpzioni::textToSlider()
{
    if (const std::optional<int> value = sliderValueForText(m_txtAvvisareA->text()))
        m_sliderPerc->setValue(*value);  // no change signal when it is there already
}

void FrmOpzioni::sliderToText()
{
    const QString digits = QString::number(m_sliderPerc->value());
    if (m_txtAvvisareA->text() != digits)
        m_txtAvvisareA->setText(digits);
}

bool FrmOpzioni::eventFilter(QObject* watched, QEvent* event)
{
    // The threshold is also taken from the text as it stands before each key
    // takes effect; the key itself goes on unchanged.
    if (watched == m_txtAvvisareA && event->type() == QEvent::KeyPress)
        textToSlider();
    return QDialog::eventFilter(watched, event);
}

void FrmOpzioni::cmdOK_Click()
{
    // Checked before anything is assigned, so that a refused threshold
    // leaves every setting as it was.
    const std::optional<quint8> soglia = thresholdForText(m_txtAvvisareA->text());
    if (!soglia) {
        QMessageBox::warning(this, texts::kTitle, texts::options::kOutOfRange);
        m_txtAvvisareA->setFocus(Qt::OtherFocusReason);
        m_txtAvvisareA->selectAll();
        return;
    }
    AppState& state = m_module.state();
    state.Sipp = m_chkSipp->isChecked() ? kTrue : kFalse;
    state.Soglia = *soglia;
    state.Messaggio = m_txtMessaggio->text();
    // At once: the window ticks on while a failed save's box is open.
    m_module.settingsChanged();
    m_module.SalvaImpostazioni();
    accept();
}

}  // namespace tellavo
