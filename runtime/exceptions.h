// The error classes the program raises. Each carries the message that the
// error box shows; they are caught at the boundary of every event handler.
#pragma once

#include <QString>

#include <exception>
#include <string>

namespace veskel {

class Exception : public std::exception
{
public:
    explicit Exception(QString message);
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_what.c_str(); }

private:
    QString m_message;
    std::string m_what;
};

// Stream and file errors.
class EStreamError : public Exception
{
    using Exception::Exception;
};
class EFCreateError : public EStreamError
{
public:
    // "Cannot create file "<absolute path>". <reason>"
    EFCreateError(const QString &path, const QString &reason);
};
class EFOpenError : public EStreamError
{
public:
    // "Cannot open file "<absolute path>". <reason>"
    EFOpenError(const QString &path, const QString &reason);
};
class EWriteError : public EStreamError
{
public:
    // "Stream write error"
    EWriteError();
};
class EReadError : public EStreamError
{
public:
    // "Stream read error"
    EReadError();
};

class EOutOfResources : public Exception
{
    using Exception::Exception;
};
class EEditorError : public Exception
{
    using Exception::Exception;
};
class EConvertError : public Exception
{
    using Exception::Exception;
};
class EOleSysError : public Exception
{
    using Exception::Exception;
};

// The system's text for an errno value, without a trailing full stop.
QString SystemErrorMessage(int errorNumber);

} // namespace veskel
