// The program's start-up and save path in a process of its own, for the
// settings hardening tests: the real store, the real Module1 and the real
// battery window, with message boxes that only record what they were asked
// to show, and the power source a fake on mains (no warning box can come up).
//
//   settings_driver start [--as-nobody] [--esci] [--soglia N] [--sipp N]
//                         [--place SX TOP] [--messaggio TEXT] [--messaggio-len N]
//     Runs Main as the program does. With --esci, then changes the state as
//     the options dialog's OK or a drag would and leaves through the exit
//     command (save, then end: status 1 when the save failed). Prints one
//     JSON object with the outcome; the exit status is the program's.
//   settings_driver loop INSTANCE LIFE
//     Runs Main, prints "ready", then saves the five values of turn 1, 2, 3 ...
//     (loop_text.h) until it is killed. Status 2: start-up failed; 3: a save
//     failed.
//   settings_driver hold-lock PATH
//     Takes PATH as a QLockFile, as the store's save does, prints "locked" and
//     waits to be killed: what a program killed in the middle of a save leaves.
#include "fake_power_source.h"
#include "frm_princ.h"
#include "loop_text.h"
#include "module1.h"
#include "settings_store.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QTimer>

#include <grp.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>

using namespace tellavo;

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

struct Recorded {
    int welcome = 0;
    QStringList errors;
};

Module1::Boxes recordingBoxes(Recorded& rec)
{
    Module1::Boxes boxes;
    boxes.welcome = [&rec] { ++rec.welcome; };
    boxes.error = [&rec](const QString& text) { rec.errors << text; };
    return boxes;
}

// Root reads and writes whatever the permissions say; the permission cases
// need an ordinary user. Not root: already one.
bool dropToNobody()
{
    if (geteuid() != 0)
        return true;
    return setgroups(0, nullptr) == 0 && setgid(kNogroup) == 0 && setuid(kNobody) == 0 &&
           getuid() == kNobody;
}

void printJson(const QJsonObject& object)
{
    const QByteArray out = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    fwrite(out.constData(), 1, size_t(out.size()), stdout);
    fflush(stdout);
}

// The program as it runs, on mains at 57 %, with boxes that only record.
struct Program {
    Program() { power.set(power::kAcOnline, 57); }
    FakePowerSource power;
    SettingsStore store;
    Recorded rec;
    PrincWindow* window = nullptr;  // once start-up has made it
    Module1 module{store,
                   [this](Module1& m) {
                       auto made = std::make_unique<FrmPrinc>(m, power);
                       window = made.get();
                       return made;
                   },
                   recordingBoxes(rec)};
};

int runStart(QApplication& app, const QStringList& args)
{
    bool esci = false;
    std::optional<int> soglia, sipp;
    std::optional<float> sx, top;
    std::optional<QString> messaggio;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto next = [&] { return i + 1 < args.size() ? args[++i] : QString(); };
        if (a == QLatin1String("--esci")) {
            esci = true;
        } else if (a == QLatin1String("--soglia")) {
            soglia = next().toInt();
        } else if (a == QLatin1String("--sipp")) {
            sipp = next().toInt();
        } else if (a == QLatin1String("--place")) {
            sx = next().toFloat();
            top = next().toFloat();
        } else if (a == QLatin1String("--messaggio")) {
            messaggio = next();
        } else if (a == QLatin1String("--messaggio-len")) {
            const int n = next().toInt();
            QString text;
            text.reserve(n);
            for (int k = 0; k < n; ++k)
                text += QChar(u'a' + k % 26);
            messaggio = text;
        }
    }

    Program program;
    SettingsStore& store = program.store;
    Recorded& rec = program.rec;
    Module1& module = program.module;
    int status = module.Main();

    QJsonObject out;
    out[QLatin1String("file")] = store.fileName();
    out[QLatin1String("mainStatus")] = status;
    out[QLatin1String("welcome")] = rec.welcome;
    out[QLatin1String("startErrors")] = QJsonArray::fromStringList(rec.errors);
    out[QLatin1String("window")] = program.window != nullptr;
    const AppState& st = module.state();
    out[QLatin1String("soglia")] = int(st.Soglia);
    out[QLatin1String("sipp")] = int(st.Sipp);
    out[QLatin1String("avvisato")] = int(st.Avvisato);
    out[QLatin1String("messaggio")] = st.Messaggio;
    if (program.window) {
        out[QLatin1String("sx")] = double(program.window->leftTwips());
        out[QLatin1String("top")] = double(program.window->topTwips());
    }

    if (status == 0 && esci) {
        rec.errors.clear();
        if (soglia)
            module.state().Soglia = quint8(*soglia);
        if (sipp)
            module.state().Sipp = Boolean(*sipp);
        if (messaggio)
            module.state().Messaggio = *messaggio;
        if (sx)
            program.window->moveToTwips(*sx, *top);
        QTimer::singleShot(0, &app, [&module] { module.Esci(); });
        status = app.exec();
        out[QLatin1String("esciStatus")] = status;
        out[QLatin1String("saveErrors")] = QJsonArray::fromStringList(rec.errors);
    }
    printJson(out);
    return status;
}

int runLoop(QApplication& app, int instance, int life)
{
    Program program;
    Recorded& rec = program.rec;
    Module1& module = program.module;
    if (module.Main() != 0) {
        fprintf(stderr, "start-up failed: %s\n", qPrintable(rec.errors.join(QLatin1String(" | "))));
        return 2;
    }
    fputs("ready\n", stdout);
    fflush(stdout);
    for (int iteration = 1;; ++iteration) {
        AppState& st = module.state();
        st.Soglia = quint8(instance);
        st.Sipp = iteration % 2 == 0 ? kTrue : kFalse;
        st.Messaggio = settings_hardening::loopMessage(instance, life, iteration);
        program.window->moveToTwips(float(iteration), float(-iteration));
        if (!module.SalvaImpostazioni()) {
            fprintf(stderr, "save %d failed: %s\n", iteration,
                    qPrintable(rec.errors.join(QLatin1String(" | "))));
            return 3;
        }
        app.processEvents();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fputs("usage: settings_driver start|loop|hold-lock ...\n", stderr);
        return 64;
    }
    if (std::strcmp(argv[1], "hold-lock") == 0 && argc == 3) {
        QLockFile lock(QString::fromLocal8Bit(argv[2]));
        if (!lock.lock())
            return 4;
        fputs("locked\n", stdout);
        fflush(stdout);
        for (;;)
            pause();
    }
    bool asNobody = false;
    for (int i = 2; i < argc; ++i)
        asNobody = asNobody || std::strcmp(argv[i], "--as-nobody") == 0;
    if (asNobody && !dropToNobody()) {
        perror("settings_driver: cannot become nobody");
        return 65;
    }

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    app.setQuitOnLastWindowClosed(false);
    QStringList args;
    for (int i = 2; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    if (std::strcmp(argv[1], "start") == 0)
        return runStart(app, args);
    if (std::strcmp(argv[1], "loop") == 0 && args.size() == 2)
        return runLoop(app, args[0].toInt(), args[1].toInt());
    fputs("usage: settings_driver start|loop|hold-lock ...\n", stderr);
    return 64;
}
