// Stand-ins for what the program meets outside itself: the desktop that
// opens links, and an OpenSSL without its legacy provider.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QtGlobal>

namespace veskel::test {

// Stands in for the desktop (a QDesktopServices URL handler): records what
// it would have been asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

// Makes OpenSSL's legacy provider unloadable while it lives, as on a
// system whose OpenSSL has none.
class NoLegacyProvider
{
public:
    NoLegacyProvider()
        : m_saved(qgetenv("OPENSSL_MODULES"))
    {
        qputenv("OPENSSL_MODULES", "/nonexistent-openssl-modules");
    }
    ~NoLegacyProvider()
    {
        if (m_saved.isNull()) {
            qunsetenv("OPENSSL_MODULES");
        } else {
            qputenv("OPENSSL_MODULES", m_saved);
        }
    }
    NoLegacyProvider(const NoLegacyProvider &) = delete;
    NoLegacyProvider &operator=(const NoLegacyProvider &) = delete;

private:
    QByteArray m_saved;
};

} // namespace veskel::test
