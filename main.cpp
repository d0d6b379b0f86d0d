#include "desktop_text.h"
#include "display_platform.h"
#include "frm_princ.h"
#include "message_boxes.h"
#include "module1.h"
#include "settings_store.h"
#include "system_power_status.h"

#include <QApplication>

int main(int argc, char** argv)
{
    using namespace tellavo;
    Q_UNUSED(argc);

    preferX11Platform();
    paintWithoutSharedMemory();
    // The program takes no command line: Qt sees the program name only.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    // The welcome box comes before any window; closing it must not end the
    // program. It ends when the battery window closes.
    app.setQuitOnLastWindowClosed(false);
    // Both before any window: Qt's own words in Italian, and the face the
    // windows are drawn in. Either may be missing; the program starts anyway.
    desktop_text::installQtItalian(app);
    desktop_text::registerTahoma();
    desktop_text::useFace();

    SystemPowerStatus powerStatus;
    SettingsStore store;
    Module1 module(
        store, [&powerStatus](Module1& m) { return std::make_unique<FrmPrinc>(m, powerStatus); },
        ui::standardBoxes());
    if (const int status = module.Main())
        return status;
    return app.exec();
}
