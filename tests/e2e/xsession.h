// A private X server for one test, and the few xdotool commands that drive
// the real program's windows in it.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <unistd.h>

namespace veskel::test {

class XSession
{
public:
    XSession()
    {
        // A display number no other server holds, and none this process used
        // before (a stopped server's files may linger a moment).
        static int next = 100 + (::getpid() % 400);
        for (int n = next; n < 1000; ++n) {
            if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) &&
                !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))) {
                m_display = QStringLiteral(":%1").arg(n);
                m_socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
                next = n + 1;
                break;
            }
        }
        m_server.setProgram(QStringLiteral("Xvfb"));
        // -noreset: the server must not reset when its last client (the probe
        // below) leaves, or a program connecting just then is refused.
        m_server.setArguments(
            {m_display, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start();
        m_server.waitForStarted(10000);
        QElapsedTimer timer;
        timer.start();
        // Ready once a client can talk to it.
        while (timer.elapsed() < 10000 && m_server.state() == QProcess::Running) {
            if (QFile::exists(m_socket) && !xdotool({"getmouselocation"}).isEmpty()) {
                m_ready = true;
                break;
            }
            QThread::msleep(20);
        }
    }
    ~XSession()
    {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    bool ready() const { return m_ready; }
    QString display() const { return m_display; }

    // The environment the program under test runs in.
    QProcessEnvironment environment(const QString &runtimeDir) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        return env;
    }

    QString xdotool(const QStringList &arguments) const
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(10000);
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    // The first visible window whose name matches the pattern, waiting up to
    // the timeout; empty when none shows up.
    QString waitForWindow(const QString &pattern, int timeoutMs = 10000) const
    {
        QElapsedTimer timer;
        timer.start();
        do {
            const QString ids = xdotool({"search", "--onlyvisible", "--name", pattern});
            if (!ids.isEmpty()) {
                return ids.split(u'\n').constFirst();
            }
            QThread::msleep(10);
        } while (timer.elapsed() < timeoutMs);
        return {};
    }

    QString windowName(const QString &id) const { return xdotool({"getwindowname", id}); }

    void type(const QString &id, const QString &text) const
    {
        xdotool({"windowfocus", "--sync", id});
        xdotool({"type", "--delay", "20", text});
    }

    // Keys separated by blanks, pressed one after another ("alt+f x").
    void key(const QString &id, const QString &keys) const
    {
        xdotool({"windowfocus", "--sync", id});
        xdotool(QStringList{"key", "--delay", "100"} + keys.split(u' ', Qt::SkipEmptyParts));
    }

private:
    QProcess m_server;
    QString m_display;
    QString m_socket;
    bool m_ready = false;
};

} // namespace veskel::test
