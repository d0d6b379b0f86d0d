#include "module1.h"

#include "princ_window.h"
#include "settings_store.h"

#include <QCoreApplication>

namespace tellavo {

namespace {
const QString kSoglia = QStringLiteral("Soglia");
const QString kSipp = QStringLiteral("SIPP");
const QString kSx = QStringLiteral("Sx");
const QString kTop = QStringLiteral("Top");
const QString kMessaggio = QStringLiteral("Messaggio");
const QString kDefaultMessaggio = QStringLiteral("Attacca la spina!!");
}  // namespace

Module1::Module1(SettingsStore& store, WindowFactory makeWindow, Boxes boxes)
    : m_store(store), m_makeWindow(std::move(makeWindow)), m_boxes(std::move(boxes))
{
}

Module1::~Module1() = default;

void Module1::showError(const QString& text)
{
    if (m_boxes.error)
        m_boxes.error(text);
}

int Module1::startupError(ConversionError error, const QString& key, const QString& text)
{
    showError(QStringLiteral("%1\n\nIl valore di \"%2\" nelle impostazioni non è valido: "
                             "\"%3\".\n\nFile delle impostazioni:\n%4")
                  .arg(conversionErrorText(error), key, text.left(200), m_store.fileName()));
    return 1;
}

int Module1::Main()
{
    m_state.Avvisato = kFalse;

    QString unreadable;
    if (!m_store.isReadable(unreadable)) {
        showError(QStringLiteral("%1\n\nFile delle impostazioni:\n%2")
                      .arg(unreadable, m_store.fileName()));
        return 1;
    }

    const QString sogliaText = m_store.read(kSoglia, QStringLiteral("0"));
    const ByteResult soglia = textToByte(sogliaText);
    if (!soglia.ok())
        return startupError(soglia.error, kSoglia, sogliaText);
    m_state.Soglia = soglia.value;
    const QString sippText = m_store.read(kSipp, QStringLiteral("0"));
    const QString sxText = m_store.read(kSx, QStringLiteral("100"));
    const QString topText = m_store.read(kTop, QStringLiteral("100"));
    m_state.Messaggio = m_store.read(kMessaggio, kDefaultMessaggio);

    switch (readSipp(sippText)) {
        case SippSetting::On:
            m_state.Sipp = kTrue;
            break;
        case SippSetting::FirstRun:
            if (m_boxes.welcome)
                m_boxes.welcome();
            m_state.Sipp = kTrue;
            break;
        case SippSetting::Off:
            break;
    }

    m_frmPrinc = m_makeWindow(*this);
    m_frmPrinc->showWindow();

    const SingleResult left = textToSingle(sxText);
    if (!left.ok())
        return startupError(left.error, kSx, sxText);
    const SingleResult top = textToSingle(topText);
    if (!top.ok())
        return startupError(top.error, kTop, topText);
    m_frmPrinc->moveToTwips(left.value, top.value);

    ApplicaPrimoPiano();
    m_frmPrinc->giveFocus();
    return 0;
}

void Module1::ImpostaPrimoPiano(PrincWindow* form, const Boolean& flag)
{
    if (!form)
        return;
    if (flag == kTrue)
        form->setAbove(true);
    else if (flag == kFalse)
        form->setAbove(false);
}

void Module1::ApplicaPrimoPiano()
{
    ImpostaPrimoPiano(m_frmPrinc.get(), m_state.Sipp);
}

bool Module1::SalvaImpostazioni()
{
    QList<QPair<QString, QString>> entries;
    entries.append({kSoglia, QString::number(m_state.Soglia)});
    entries.append({kSipp, sippToText(m_state.Sipp)});
    if (m_frmPrinc) {
        entries.append({kSx, singleToText(m_frmPrinc->leftTwips())});
        entries.append({kTop, singleToText(m_frmPrinc->topTwips())});
    }
    entries.append({kMessaggio, m_state.Messaggio});

    QString reason;
    if (m_store.write(entries, reason))
        return true;
    showError(QStringLiteral("Impossibile salvare le impostazioni.\n\n%1\n\nFile:\n%2")
                  .arg(reason, m_store.fileName()));
    return false;
}

void Module1::settingsChanged()
{
    if (m_frmPrinc)
        m_frmPrinc->settingsChanged();
}

void Module1::Esci()
{
    const bool saved = SalvaImpostazioni();
    QCoreApplication::exit(saved ? 0 : 1);
}

}  // namespace tellavo
