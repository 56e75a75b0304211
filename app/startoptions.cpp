#include "app/startoptions.h"

namespace veskel {

StartOptions ReadStartOptions(const QList<QByteArray> &arguments)
{
    StartOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QByteArray &word = arguments.at(i);
        if (word == "--") {
            options.endOfOptions = static_cast<int>(i);
            break;
        }
        if (word == "--help") {
            options.action = StartOptions::Action::Help;
            break;
        }
        if (word == "--version") {
            options.action = StartOptions::Action::Version;
            break;
        }
    }
    return options;
}

QByteArray StartUsage()
{
    return QByteArrayLiteral(
        "Usage: veskel [FILE...]\n"
        "       veskel -- FILE...\n"
        "       veskel --help | --version\n"
        "\n"
        "Opens the editor window and each FILE in turn: a document asks for its\n"
        "password; any other file opens as a new, untitled document.\n"
        "\n"
        "  --help     show this help and exit\n"
        "  --version  show the version and exit\n"
        "  --         end of the options: every word after it is a file name\n");
}

QByteArray StartVersion()
{
    return QByteArrayLiteral("veskel " VESKEL_VERSION "\n");
}

} // namespace veskel
