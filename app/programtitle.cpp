#include "programtitle.h"

#include "cmdline/cmdlinehelper.h"
#include "platform/win/process.h"

namespace veskel {

QString ProgramTitleFor(const QString &executablePath)
{
    QString name = executablePath.mid(executablePath.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0) {
        name.truncate(dot);
    }
    if (name.size() > 1) {
        QString rest = name.mid(1);
        win::CharLowerW(reinterpret_cast<win::LPWSTR>(rest.data()));
        name = name.left(1) + rest;
    }
    return name;
}

QString ProgramTitle()
{
    return ProgramTitleFor(cmdline::CmdLineParamStr(0));
}

} // namespace veskel
