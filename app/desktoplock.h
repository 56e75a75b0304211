// Asks for the window to be locked when the desktop locks the screen, when
// the login manager locks the session, and before the system sleeps.
#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QObject>

namespace veskel {

// Listens on the session bus for the screen saver turning on
// (org.freedesktop.ScreenSaver ActiveChanged(true)) and on the system bus for
// the login manager's session Lock and PrepareForSleep(true), from any sender
// and object path, and emits lockRequested() for each. A bus that is not
// connected is left out.
//
// While the system is awake it also holds the login manager's "delay" sleep
// inhibitor, so the system waits for the lock before it sleeps: the inhibitor
// is let go right after lockRequested() has returned for PrepareForSleep(true)
// and taken again on PrepareForSleep(false). Whoever locks must therefore
// hide the document within the slot, not later from the event loop.
class DesktopLockWatch : public QObject
{
    Q_OBJECT

public:
    DesktopLockWatch(const QDBusConnection &sessionBus, const QDBusConnection &systemBus,
                     QObject *parent = nullptr);
    ~DesktopLockWatch() override;

    // Whether the sleep inhibitor is held now.
    bool holdsSleepDelay() const { return m_sleepDelay.isValid(); }

signals:
    void lockRequested();

private slots:
    void screenSaverActiveChanged(bool active);
    void sessionLocked();
    void prepareForSleep(bool sleeping);
    void sleepDelayTaken(const QDBusMessage &reply);
    void sleepDelayRefused(const QDBusError &error);

private:
    void takeSleepDelay();

    QDBusConnection m_systemBus;
    QDBusUnixFileDescriptor m_sleepDelay;
    bool m_delayAsked = false; // an Inhibit call is on its way
    bool m_sleeping = false;   // between PrepareForSleep(true) and (false)
};

} // namespace veskel
