#include "desktoplock.h"

namespace veskel {

namespace {

const QString kLogin1Service = QStringLiteral("org.freedesktop.login1");
const QString kLogin1Path = QStringLiteral("/org/freedesktop/login1");
const QString kLogin1Manager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

DesktopLockWatch::DesktopLockWatch(const QDBusConnection &sessionBus,
                                   const QDBusConnection &systemBus, QObject *parent)
    : QObject(parent)
    , m_systemBus(systemBus)
{
    // An empty service and path match any sender and any object.
    if (QDBusConnection bus = sessionBus; bus.isConnected()) {
        bus.connect(QString(), QString(), QStringLiteral("org.freedesktop.ScreenSaver"),
                    QStringLiteral("ActiveChanged"), QStringLiteral("b"), this,
                    SLOT(screenSaverActiveChanged(bool)));
    }
    if (m_systemBus.isConnected()) {
        m_systemBus.connect(QString(), QString(), QStringLiteral("org.freedesktop.login1.Session"),
                            QStringLiteral("Lock"), this, SLOT(sessionLocked()));
        m_systemBus.connect(QString(), QString(), kLogin1Manager, QStringLiteral("PrepareForSleep"),
                            QStringLiteral("b"), this, SLOT(prepareForSleep(bool)));
        takeSleepDelay();
    }
}

// The buses drop the signal hooks of a destroyed receiver themselves; the
// inhibitor closes with m_sleepDelay.
DesktopLockWatch::~DesktopLockWatch() = default;

void DesktopLockWatch::screenSaverActiveChanged(bool active)
{
    if (active) {
        emit lockRequested();
    }
}

void DesktopLockWatch::sessionLocked()
{
    emit lockRequested();
}

void DesktopLockWatch::prepareForSleep(bool sleeping)
{
    m_sleeping = sleeping;
    if (sleeping) {
        emit lockRequested();
        // Closing the descriptor tells the login manager it may go on.
        m_sleepDelay = QDBusUnixFileDescriptor();
    } else {
        takeSleepDelay();
    }
}

void DesktopLockWatch::takeSleepDelay()
{
    if (m_delayAsked || m_sleepDelay.isValid() || !m_systemBus.isConnected() ||
        !m_systemBus.connectionCapabilities().testFlag(
            QDBusConnection::UnixFileDescriptorPassing)) {
        return;
    }
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        kLogin1Service, kLogin1Path, kLogin1Manager, QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep") << QStringLiteral("Veskel")
            << QStringLiteral("Lock the document before the system sleeps")
            << QStringLiteral("delay");
    // Asynchronous: a slow or missing login manager must not hold up the window.
    m_delayAsked = m_systemBus.callWithCallback(inhibit, this, SLOT(sleepDelayTaken(QDBusMessage)),
                                                SLOT(sleepDelayRefused(QDBusError)));
}

void DesktopLockWatch::sleepDelayTaken(const QDBusMessage &reply)
{
    m_delayAsked = false;
    const QVariantList values = reply.arguments();
    const auto delay = values.isEmpty() ? QDBusUnixFileDescriptor()
                                        : values.constFirst().value<QDBusUnixFileDescriptor>();
    // A reply that comes once sleep is under way is dropped (and so closed):
    // holding it would only keep the system waiting. It is asked for again
    // on waking.
    if (!m_sleeping && delay.isValid()) {
        m_sleepDelay = delay;
    }
}

// No login manager, or it refused: the lock still comes with PrepareForSleep,
// only without the system waiting for it.
void DesktopLockWatch::sleepDelayRefused(const QDBusError &)
{
    m_delayAsked = false;
}

} // namespace veskel
