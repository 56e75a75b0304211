// What a click on a link in a document may do. The document may come from
// anyone: web and mail links open as they are, anything else is asked
// about first, and a local program, script or launcher never opens.
#pragma once

#include <QString>
#include <QUrl>

namespace veskel {

enum class LinkAction
{
    Open,  // http, https, ftp, and mailto without attachments
    Ask,   // every other target: the question shows it whole
    Refuse // a local file that would run: `reason` says why
};

struct LinkDecision
{
    LinkAction action = LinkAction::Refuse;
    QUrl target;    // what the desktop would be handed
    QString reason; // for Refuse
};

LinkDecision DecideLink(const QString &linkText);

} // namespace veskel
