#include "runtime/exceptions.h"

#include <QFileInfo>

#include <cstring>

namespace veskel {

Exception::Exception(QString message)
    : m_message(std::move(message))
    , m_what(m_message.toStdString())
{}

EFCreateError::EFCreateError(const QString &path, const QString &reason)
    : EStreamError(QStringLiteral("Cannot create file \"%1\". %2")
                       .arg(QFileInfo(path).absoluteFilePath(), reason))
{}

EFOpenError::EFOpenError(const QString &path, const QString &reason)
    : EStreamError(QStringLiteral("Cannot open file \"%1\". %2")
                       .arg(QFileInfo(path).absoluteFilePath(), reason))
{}

EWriteError::EWriteError()
    : EStreamError(QStringLiteral("Stream write error"))
{}

EReadError::EReadError()
    : EStreamError(QStringLiteral("Stream read error"))
{}

QString SystemErrorMessage(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

} // namespace veskel
