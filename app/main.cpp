// Veskel: start-up and the message loop.
#include "app/appidentity.h"
#include "app/clipboardguard.h"
#include "app/shortcutfilter.h"
#include "app/startoptions.h"
#include "app/veskelmain.h"
#include "dialogs/frmpassword.h"
#include "platform/win/process.h"
#include "runtime/coredump.h"
#include "runtime/memory.h"

#include <QApplication>

#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    QList<QByteArray> words;
    for (int i = 0; i < argc; ++i) {
        words << QByteArray(argv[i]);
    }
    const veskel::StartOptions options = veskel::ReadStartOptions(words);
    if (options.action != veskel::StartOptions::Action::Run) {
        const QByteArray text = options.action == veskel::StartOptions::Action::Help
                                    ? veskel::StartUsage()
                                    : veskel::StartVersion();
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    veskel::DisableCoreDumps(); // the text and the password never reach a core file
    veskel::WipeFreedMemory();
    veskel::KeepFreedPages();
    // The toolkit takes its own options out of the words before "--"; the
    // ones after it are file names as they stand.
    int toolkitArgc = options.endOfOptions < 0 ? argc : options.endOfOptions;
    QApplication app(toolkitArgc, argv);
    std::vector<char *> commandLine(argv, argv + toolkitArgc);
    if (options.endOfOptions >= 0) {
        commandLine.insert(commandLine.end(), argv + options.endOfOptions + 1, argv + argc);
    }
    win::InitCommandLine(static_cast<int>(commandLine.size()), commandLine.data());
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
