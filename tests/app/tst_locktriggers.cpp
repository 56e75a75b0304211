// What asks the window to lock: a quiet interval without input, and the
// desktop's screen locker, session lock and sleep on a private D-Bus daemon.
#include "app/desktoplock.h"
#include "app/idlewatch.h"
#include "app/veskelmain.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <poll.h>
#include <unistd.h>

using namespace veskel;
using namespace std::chrono_literals;

namespace {

// The login manager's Inhibit: hands each caller the write end of a pipe and
// keeps the read end, which hangs up once every copy of the write end is gone.
class FakeLogin1 : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QMultiMap<QString, int> readEnds; // by caller, newest first
    QString lastRequest;

    ~FakeLogin1() override
    {
        for (int fd : std::as_const(readEnds)) {
            ::close(fd);
        }
    }
    static bool released(int readEnd)
    {
        pollfd p{readEnd, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why,
                                    const QString &mode)
    {
        lastRequest = QStringList{what, who, why, mode}.join(u'|');
        int ends[2];
        if (::pipe(ends) != 0) {
            return {};
        }
        readEnds.insert(message().service(), ends[0]);
        QDBusUnixFileDescriptor delay(ends[1]); // a duplicate
        ::close(ends[1]);
        return delay;
    }
};

} // namespace

class TestLockTriggers : public QObject
{
    Q_OBJECT

    QProcess m_daemon;
    QString m_address;
    QDBusConnection m_bus{QString()};    // the watch's session and system bus, one per test
    QDBusConnection m_sender{QString()}; // where the signals come from
    FakeLogin1 m_login1;
    int m_barriers = 0;

    // Sends the signal, then a barrier, and waits for the barrier. The round
    // trip to the daemon first puts in force the match rules the watch sent
    // without waiting; signals from one sender arrive in order, so once the
    // barrier is in, the watch has seen the signal.
    void send(const QString &interface, const QString &member, const QVariantList &arguments)
    {
        const auto ping = QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId");
        QCOMPARE(m_bus.call(ping).type(), QDBusMessage::ReplyMessage);
        QDBusMessage signal = QDBusMessage::createSignal("/x", interface, member);
        signal.setArguments(arguments);
        QVERIFY(m_sender.send(signal));
        QVERIFY(m_sender.send(QDBusMessage::createSignal("/x", "org.test.T", "Barrier")));
        QTRY_COMPARE(m_barriers, 1);
        m_barriers = 0;
    }

public slots:
    void barrier() { ++m_barriers; }

private slots:
    void initTestCase()
    {
        m_daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY2(m_daemon.waitForStarted(), "dbus-daemon is not installed");
        QTRY_VERIFY(m_daemon.canReadLine());
        m_address = QString::fromUtf8(m_daemon.readLine().trimmed());
        m_sender = QDBusConnection::connectToBus(m_address, "sender");
        QVERIFY(m_sender.registerService("org.freedesktop.login1"));
        QVERIFY(m_sender.registerObject("/org/freedesktop/login1", &m_login1,
                                        QDBusConnection::ExportAllSlots));
    }

    void init()
    {
        static int count = 0;
        m_bus = QDBusConnection::connectToBus(m_address, "watch" + QString::number(++count));
        QVERIFY(m_bus.connect({}, {}, "org.test.T", "Barrier", this, SLOT(barrier())));
    }

    void cleanup() { QDBusConnection::disconnectFromBus(m_bus.name()); }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus("sender");
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    void idleWatch_data()
    {
        // An interval of 1000 ms on a clock the test moves: "+N" moves it N ms
        // and checks, as the timer would; "=N" expects N idle signals so far.
        QTest::addColumn<QString>("script");
        QTest::newRow("quiet") << "+999 =0 +1 =1";
        QTest::newRow("key") << "+600 key +600 =0 +399 =0 +1 =1";
        QTest::newRow("mouse move") << "+600 move +600 =0 +400 =1";
        QTest::newRow("click") << "+600 click +600 =0 +400 =1";
        QTest::newRow("once until input") << "+1000 =1 +5000 =1 key +999 =1 +1 =2";
        QTest::newRow("restart re-arms") << "+1000 =1 restart +999 =1 +1 =2";
        QTest::newRow("stopped") << "stop +5000 =0 key +5000 =0 start +999 =0 +1 =1";
        QTest::newRow("start keeps the count") << "+600 start +400 =1";
        QTest::newRow("longer interval") << "+600 interval2000 +1000 =0 +400 =1";
        QTest::newRow("shorter interval") << "+600 interval500 +0 =1";
    }

    void idleWatch()
    {
        QFETCH(QString, script);
        QLineEdit input;
        IdleWatch watch(1000ms);
        auto now = std::chrono::steady_clock::time_point();
        watch.setClock([&now] { return now; });
        QSignalSpy idle(&watch, &IdleWatch::idle);
        watch.start();
        for (const QString &step : script.split(u' ')) {
            if (step.startsWith(u'+')) {
                now += std::chrono::milliseconds(step.mid(1).toInt());
                watch.check();
            } else if (step.startsWith(u'=')) {
                QVERIFY2(idle.count() == step.mid(1).toInt(), qPrintable(step));
            } else if (step.startsWith(u"interval")) {
                watch.setInterval(std::chrono::milliseconds(step.mid(8).toInt()));
            } else if (step == u"key") {
                QTest::keyClick(&input, Qt::Key_A);
            } else if (step == u"click") {
                QTest::mouseClick(&input, Qt::LeftButton);
            } else if (step == u"move") {
                QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), input.mapToGlobal(QPointF(3, 3)),
                                 Qt::NoButton, Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(&input, &move);
            } else if (step == u"stop") {
                watch.stop();
            } else if (step == u"start") {
                watch.start();
            } else {
                watch.restart();
            }
        }
    }

    // The real clock and timer, on a short interval.
    void idleWatchTimer()
    {
        IdleWatch watch(50ms);
        QSignalSpy idle(&watch, &IdleWatch::idle);
        watch.start();
        QVERIFY(idle.wait());
        watch.restart();
        QVERIFY(idle.wait());
    }

    void desktopSignals_data()
    {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<int>("locks");
        const QString saver = "org.freedesktop.ScreenSaver";
        const QString manager = "org.freedesktop.login1.Manager";
        QTest::newRow("screen saver on") << saver << "ActiveChanged" << QVariantList{true} << 1;
        QTest::newRow("screen saver off") << saver << "ActiveChanged" << QVariantList{false} << 0;
        QTest::newRow("no argument") << saver << "ActiveChanged" << QVariantList{} << 0;
        QTest::newRow("session lock") << "org.freedesktop.login1.Session"
                                      << "Lock" << QVariantList{} << 1;
        QTest::newRow("sleep") << manager << "PrepareForSleep" << QVariantList{true} << 1;
        QTest::newRow("wake") << manager << "PrepareForSleep" << QVariantList{false} << 0;
        QTest::newRow("other signal") << saver << "WakeUpScreen" << QVariantList{true} << 0;
    }

    void desktopSignals()
    {
        QFETCH(QString, interface);
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        QFETCH(int, locks);
        DesktopLockWatch watch(m_bus, m_bus);
        QSignalSpy lock(&watch, &DesktopLockWatch::lockRequested);
        send(interface, member, arguments);
        QCOMPARE(lock.count(), locks);
    }

    // The window itself locks when the screen locker comes on.
    void windowLocksOnScreenSaver()
    {
        TForm1 form;
        form.WatchDesktopLock(m_bus, m_bus);
        form.show();
        QVERIFY(!form.IsLocked());
        send("org.freedesktop.ScreenSaver", "ActiveChanged", {true});
        QVERIFY(form.IsLocked());
    }

    // The sleep inhibitor is held while awake, let go once the lock has been
    // asked for, and taken again on waking.
    void sleepDelay()
    {
        const QString me = m_bus.baseService();
        {
            DesktopLockWatch watch(m_bus, m_bus);
            QTRY_VERIFY(watch.holdsSleepDelay());
            QCOMPARE(m_login1.lastRequest,
                     "sleep|Veskel|Lock the document before the system sleeps|delay");
            QCOMPARE(m_login1.readEnds.count(me), 1);
            const int first = m_login1.readEnds.value(me);
            bool heldDuringLock = false;
            connect(&watch, &DesktopLockWatch::lockRequested, this,
                    [&] { heldDuringLock = !FakeLogin1::released(first); });
            send("org.freedesktop.login1.Manager", "PrepareForSleep", {true});
            QVERIFY(heldDuringLock);
            QVERIFY(!watch.holdsSleepDelay());
            QVERIFY(FakeLogin1::released(first));
            send("org.freedesktop.login1.Manager", "PrepareForSleep", {false});
            QTRY_VERIFY(watch.holdsSleepDelay());
            QCOMPARE(m_login1.readEnds.count(me), 2);
            QVERIFY(!FakeLogin1::released(m_login1.readEnds.value(me)));
        }
        QTRY_VERIFY(FakeLogin1::released(m_login1.readEnds.value(me)));
    }

    // Without buses, as on machines with no system bus, it stays silent.
    void noBus()
    {
        QTest::failOnWarning(QRegularExpression(".*"));
        DesktopLockWatch watch(QDBusConnection("none"), QDBusConnection("none"));
        QVERIFY(!watch.holdsSleepDelay());
    }
};

QTEST_MAIN(TestLockTriggers)
#include "tst_locktriggers.moc"
