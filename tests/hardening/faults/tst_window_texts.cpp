// The warning text through the whole program: pasted into the options dialog
// opened from the battery window's menu, committed with OK, written to the
// store, read back by another process, shown in the warning box, and loaded
// into the dialog again. Markup, entities, control characters, right-to-left
// text and 100 000 characters must come out exactly as they went in, and be
// shown as plain text wherever they are shown.
#include "fake_power_source.h"
#include "figures.h"
#include "frm_opzioni.h"
#include "window_harness.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>

#include <cstdio>
#include <functional>

using namespace tellavo;
using namespace tellavo::test;

namespace {

// Set in the environment of a second run of this executable, which then only
// reads the store and prints Messaggio as hexadecimal UTF-8.
const char* const kReadStore = "TELLAVO_TEST_READ_MESSAGGIO";

QString repeatedTo(const QString& unit, int length)
{
    QString s;
    s.reserve(length + unit.size());
    while (s.size() < length)
        s += unit;
    s.truncate(length);
    return s;
}

QString fromUtf8(const char* text)
{
    return QString::fromUtf8(text);
}

// Runs `act` inside the modal dialog that `open` opens, once it is up.
QString insideDialog(const std::function<void()>& open,
                     const std::function<QString(FrmOpzioni*)>& act)
{
    QString problem = QStringLiteral("the options dialog did not open");
    QTimer::singleShot(0, qApp, [&] {
        auto* dialog = qobject_cast<FrmOpzioni*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        problem = act(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    open();
    return problem;
}

// The labels of a window that show `text` and would interpret it.
QString richLabels(QWidget* window, const QString& text)
{
    QStringList rich;
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->text() == text && label->textFormat() != Qt::PlainText)
            rich << label->objectName();
    return rich.join(QLatin1Char(','));
}

}  // namespace

class TestWindowTexts : public CountedTest {
    Q_OBJECT
private slots:
    void messageEndToEnd_data();
    void messageEndToEnd();
};

void TestWindowTexts::messageEndToEnd_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("bold and italic") << fromUtf8("<b>grassetto</b> e <i>corsivo</i>");
    QTest::newRow("images") << fromUtf8(
        "<img src=\"file:///etc/passwd\"> <img src=\":/pictures/1.xpm\" width=5000>");
    QTest::newRow("entities") << fromUtf8("&amp; &lt;b&gt; &nbsp;&#65;&#x42; &bogus;");
    QTest::newRow("a whole document") << fromUtf8(
        "<html><head><style>*{color:red;font-size:99px}</style></head><body><h1>"
        "Titolo</h1><table><tr><td>x</td></tr></table></body></html>");
    QTest::newRow("qt tag") << fromUtf8("<qt>ciao<br>mondo</qt>");
    QTest::newRow("link") << fromUtf8("<a href=\"http://127.0.0.1/\">clicca qui</a>");
    QTest::newRow("control characters") << fromUtf8(
        "a\tb\rc\nd\x01"
        "e\x1b[31mf\x7fg\x0ch\x08i");
    QTest::newRow("a NUL inside") << QStringLiteral("prima") + QChar(0) + QStringLiteral("dopo");
    QTest::newRow("Unicode line breaks")
        << fromUtf8("a\u2028b\u2029c") + QChar(0x85) + QStringLiteral("d");
    QTest::newRow("right-to-left override") << fromUtf8("\u202Eexe.txt\u202C documento");
    QTest::newRow("Hebrew and Arabic") << fromUtf8("שלום עולם مرحبا بالعالم 123!");
    QTest::newRow("isolates, unclosed") << fromUtf8("\u2067עברית \u2066x e basta");
    QTest::newRow("zero widths and BOM") << fromUtf8("\ufeffa\u200bb\u200dc\u2060");
    QTest::newRow("combining marks") << QStringLiteral("e") + QString(200, QChar(0x301));
    QTest::newRow("emoji") << fromUtf8("🔋⚡ 👩‍👩‍👧 🇮🇹");
    QTest::newRow("what the store escapes") << fromUtf8("C:\\n\\r\\\\x \\u0041 \\ fine\\");
    QTest::newRow("what a store file means")
        << fromUtf8("a=b ; c # d\n[Generale]\nSoglia=99\n@Variant(x)");
    QTest::newRow("100000 characters of markup")
        << repeatedTo(fromUtf8("<b>x</b>&amp;<img src=\"y\"> "), 100'000);
    QTest::newRow("100000 right-to-left characters")
        << repeatedTo(fromUtf8("שלום مرحبا \u202E"), 100'000);
    QTest::newRow("100000 characters with a line break in each ten")
        << repeatedTo(fromUtf8("abcdefghi\n"), 100'000);
}

void TestWindowTexts::messageEndToEnd()
{
    QFETCH(QString, text);
    ++inputs_;

    FakePowerSource si;
    si.set(power::kAcOffline, 10);
    BoxCounter boxes;
    WindowHarness h(si, 20);
    QVERIFY(h.w);
    QAction* options = named<QAction>(h.w, "mnuOpzioni");

    // Pasted over the old text and committed.
    QGuiApplication::clipboard()->setText(text);
    QString problem = insideDialog(
        [&] { options->trigger(); },
        [&](FrmOpzioni* d) -> QString {
            QLineEdit* edit = named<QLineEdit>(d, "txtMessaggio");
            edit->setFocus();
            edit->selectAll();
            QTest::keySequence(edit, QKeySequence::Paste);
            if (edit->text() != text)
                return QStringLiteral("pasted, the box holds %1 characters of %2")
                    .arg(edit->text().size())
                    .arg(text.size());
            const QString rich = richLabels(d, text);
            if (!rich.isEmpty())
                return QStringLiteral("labels not plain text: ") + rich;
            QTest::mouseClick(named(d, "cmdOK"), Qt::LeftButton);
            return d->isVisible() ? QStringLiteral("OK did not close the dialog") : QString();
        });
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(h.state().Messaggio.size(), text.size());
    QCOMPARE(h.state().Messaggio, text);

    // The file as the program's own format reads it, and as a new process
    // starting from it would find it.
    QFile file(h.store->fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString stored =
        ini::parse(file.readAll()).value(QStringLiteral("Generale/Messaggio")).toString();
    QCOMPARE(stored.size(), text.size());
    QCOMPARE(stored, text);
    QProcess reader;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kReadStore), h.dir.path());
    reader.setProcessEnvironment(env);
    reader.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(reader.waitForFinished(30'000));
    QCOMPARE(reader.exitCode(), 0);
    const QString reread =
        QString::fromUtf8(QByteArray::fromHex(reader.readAllStandardOutput().trimmed()));
    QCOMPARE(reread.size(), text.size());
    QCOMPARE(reread, text);

    // The next tick on battery below the threshold shows it, as it is.
    h.tick();
    QCOMPARE(boxes.shown(), 1);
    QMessageBox* box = h.boxes.warningBox();
    QVERIFY(box);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(box->text(), text);
    auto* shown = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    QVERIFY(shown);
    QCOMPARE(shown->textFormat(), Qt::PlainText);
    QCOMPARE(shown->text(), text);
    QVERIFY2(richLabels(box, text).isEmpty(), qPrintable(richLabels(box, text)));
    QCOMPARE(box->windowTitle(), QStringLiteral("Tellavo"));
    h.closeBox();

    // Opened again, the dialog shows it whole; OK without an edit keeps it.
    problem =
        insideDialog([&] { options->trigger(); },
                     [&](FrmOpzioni* d) -> QString {
                         if (named<QLineEdit>(d, "txtMessaggio")->text() != text)
                             return QStringLiteral("loaded, the box holds %1 characters of %2")
                                 .arg(named<QLineEdit>(d, "txtMessaggio")->text().size())
                                 .arg(text.size());
                         QTest::mouseClick(named(d, "cmdOK"), Qt::LeftButton);
                         return QString();
                     });
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(h.state().Messaggio, text);
    file.seek(0);
    QCOMPARE(ini::parse(file.readAll()).value(QStringLiteral("Generale/Messaggio")).toString(),
             text);
    QCOMPARE(boxes.shown(), 1);
}

int main(int argc, char** argv)
{
    if (const QByteArray dir = qgetenv(kReadStore); !dir.isEmpty()) {
        QCoreApplication app(argc, argv);
        QSettings::setPath(ini::format(), QSettings::UserScope, QString::fromLocal8Bit(dir));
        SettingsStore store;
        const QByteArray hex = store.read(QStringLiteral("Messaggio"), QString()).toUtf8().toHex();
        std::fwrite(hex.constData(), 1, size_t(hex.size()), stdout);
        return 0;
    }
    QApplication app(argc, argv);
    TestWindowTexts test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_texts.moc"
