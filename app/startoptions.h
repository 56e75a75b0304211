// The options the window's command line takes before any window opens:
// --help and --version print and end the program; "--" ends the options, so
// that every word after it is a file name, even one that begins with a dash.
#pragma once

#include <QByteArray>
#include <QList>

namespace veskel {

struct StartOptions
{
    enum class Action
    {
        Run,     // open the window with the files
        Help,    // print the usage and end
        Version, // print the version and end
    };
    Action action = Action::Run;
    // Where "--" stands in the arguments (argv[0] included), or -1: the
    // toolkit is shown only the arguments before it, and the window gets the
    // files after it as they are.
    int endOfOptions = -1;
};

StartOptions ReadStartOptions(const QList<QByteArray> &arguments);
// The text --help prints, and the one --version prints.
QByteArray StartUsage();
QByteArray StartVersion();

} // namespace veskel
