// A private X server for one test with a window manager (openbox), so that
// frames, placement, focus and activation behave as on a desktop, and the few
// xdotool commands that drive the real program's windows in it.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTest>

#include <unistd.h>

namespace veskel::test {

class XSession
{
public:
    // dpi, when given, is the screen's resolution and the font resolution
    // (Xft.dpi) that programs in the session scale to.
    explicit XSession(int dpi = 0)
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
        if (dpi > 0) {
            m_server.setArguments(m_server.arguments() << "-dpi" << QString::number(dpi));
        }
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start();
        m_server.waitForStarted(10000);
        // Ready once a client can talk to it.
        const bool listening = QTest::qWaitFor(
            [this] {
                return m_server.state() != QProcess::Running ||
                       (QFile::exists(m_socket) && !xdotool({"getmouselocation"}).isEmpty());
            },
            10000);
        // Qt on X11 takes its resolution from the Xft.dpi resource only (96
        // without it, whatever the screen's size): set it as xrdb would.
        if (dpi > 0 && listening) {
            run("xprop", {"-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
                          QStringLiteral("Xft.dpi:\t%1\n").arg(dpi)});
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        m_manager.setProcessEnvironment(env);
        m_manager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_manager.setStandardOutputFile(QProcess::nullDevice());
        m_manager.start(QStringLiteral("openbox"), {"--sm-disable"});
        // Ready once the manager has announced itself on the root window.
        bool announced = false;
        m_ready =
            listening &&
            QTest::qWaitFor(
                [&] {
                    announced =
                        run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
                    return announced || m_manager.state() == QProcess::NotRunning;
                },
                20000) &&
            announced;
    }
    ~XSession()
    {
        m_manager.terminate();
        m_manager.waitForFinished(5000);
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

    QString xdotool(const QStringList &arguments) const { return run("xdotool", arguments); }

    // An X client's standard output, run against this server.
    QString run(const QString &program, const QStringList &arguments) const
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        tool.setProcessEnvironment(env);
        tool.start(program, arguments);
        tool.waitForFinished(10000);
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    // The outer rectangle of a top-level window: its frame, as the window
    // manager drew it around the client.
    QRect frameOf(const QString &id) const
    {
        const QString extents = run("xprop", {"-id", id, "_NET_FRAME_EXTENTS"});
        const QString info = run("xwininfo", {"-id", id});
        const auto number = [&info](const char *label) {
            const qsizetype at = info.indexOf(QLatin1String(label));
            return at < 0 ? -1
                          : info.mid(at + qsizetype(qstrlen(label)))
                                .section(u'\n', 0, 0)
                                .trimmed()
                                .toInt();
        };
        QList<int> margins; // left, right, top, bottom
        const QString values = extents.section(u'=', 1).trimmed();
        for (const QString &value : values.split(u',', Qt::SkipEmptyParts)) {
            margins << value.trimmed().toInt();
        }
        if (margins.size() != 4) {
            return {};
        }
        return QRect(number("Absolute upper-left X:") - margins[0],
                     number("Absolute upper-left Y:") - margins[2],
                     number("Width:") + margins[0] + margins[1],
                     number("Height:") + margins[2] + margins[3]);
    }

    // The first visible window whose name matches the pattern, waiting up to
    // the timeout; empty when none shows up.
    QString waitForWindow(const QString &pattern, int timeoutMs = 10000) const
    {
        QString ids;
        const bool found = QTest::qWaitFor(
            [&] {
                ids = xdotool({"search", "--onlyvisible", "--name", pattern});
                return !ids.isEmpty();
            },
            timeoutMs);
        return found ? ids.split(u'\n').constFirst() : QString();
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
    QProcess m_manager;
    QString m_display;
    QString m_socket;
    bool m_ready = false;
};

} // namespace veskel::test
