// Veskel: start-up and the message loop.
#include "app/appidentity.h"
#include "app/clipboardguard.h"
#include "app/shortcutfilter.h"
#include "app/veskelmain.h"
#include "dialogs/frmpassword.h"
#include "platform/win/process.h"
#include "runtime/coredump.h"
#include "runtime/memory.h"

#include <QApplication>

int main(int argc, char **argv)
{
    veskel::DisableCoreDumps(); // the text and the password never reach a core file
    veskel::WipeFreedMemory();
    veskel::KeepFreedPages();
    QApplication app(argc, argv); // takes the toolkit's own options out of argv
    win::InitCommandLine(argc, argv);
    veskel::SetApplicationIdentity();

    veskel::TForm1 form1;
    veskel::TForm2 form2(&form1);
    form1.setPasswordDialog(&form2);
    form1.WatchDesktopLock(QDBusConnection::sessionBus(), QDBusConnection::systemBus());
    app.installEventFilter(new veskel::MenuShortcutFilter(&form1));

    switch (win::GetStartupShowCommand()) {
    case win::SW_SHOWMAXIMIZED:
        form1.showMaximized();
        break;
    case win::SW_SHOWMINNOACTIVE:
        form1.showMinimized();
        break;
    default:
        form1.show();
        break;
    }
    form1.activateWindow();
    const int code = app.exec();
    // Document text the program copied goes with it: cleared now, the toolkit
    // has nothing to hand to a clipboard manager when the application ends.
    veskel::ClearOwnClipboard();
    return code;
}
