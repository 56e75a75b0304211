#include "lossquestion.h"

#include <QCoreApplication>
#include <QStringList>

namespace veskel {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LossQuestion", text);
}

QString charactersPart(const OldFormatLoss &loss)
{
    QString part =
        loss.characters == 1 ? tr("1 character") : tr("%1 characters").arg(loss.characters);
    if (loss.examples.isEmpty()) {
        return part;
    }
    QStringList shown = loss.examples;
    if (loss.moreExamples) {
        shown << QStringLiteral("\u2026");
    }
    return part + QStringLiteral(" (") + shown.join(QStringLiteral(", ")) + u')';
}

} // namespace

QString OldFormatLossQuestion(const OldFormatLoss &loss)
{
    QStringList parts;
    if (loss.formatting) {
        parts << tr("the formatting");
    }
    if (loss.objects > 0) {
        parts << (loss.objects == 1 ? tr("1 picture or object")
                                    : tr("%1 pictures or objects").arg(loss.objects));
    }
    if (loss.characters > 0) {
        parts << charactersPart(loss);
    }
    QString list = parts.value(0);
    for (qsizetype i = 1; i < parts.size(); ++i) {
        list += (i + 1 == parts.size() ? tr(" and ") : QStringLiteral(", ")) + parts[i];
    }
    return tr("The old format keeps plain 8-bit text only: saving in it would lose %1. The "
              "strong format keeps all of it. Save in the strong format instead?")
        .arg(list);
}

} // namespace veskel
