// Tells when the user has left the program alone: no key, mouse, wheel, touch
// or tablet input in any of its windows for a whole interval.
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace veskel {

// How long the window may go without input before it locks itself.
inline constexpr std::chrono::minutes kIdleLockInterval{5};

// Watches every event the application delivers and emits idle() once the
// interval has passed without user input. It then stays quiet until input
// arrives again (or restart() is called), so a lock screen left untouched is
// not locked over and over. Stopped until start(); lives in the main thread.
class IdleWatch : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit IdleWatch(std::chrono::milliseconds interval, QObject *parent = nullptr);
    ~IdleWatch() override;

    // Starts counting from now; does nothing if already running.
    void start();
    void stop();
    // Starts counting from now and re-arms idle(), running or not.
    void restart();
    bool isActive() const { return m_running; }

    // A new interval, counted from the last input.
    void setInterval(std::chrono::milliseconds interval);
    std::chrono::milliseconds interval() const { return m_interval; }

    // Replaces the steady clock the count is read from, counting from the
    // new clock's now (tests drive time with it and call check()).
    void setClock(Clock clock);
    // Emits idle() now if the interval has passed since the last input;
    // otherwise waits for the rest of it. The timer calls this.
    void check();

signals:
    void idle();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void schedule(std::chrono::steady_clock::duration remaining);

    Clock m_clock;
    std::chrono::milliseconds m_interval;
    std::chrono::steady_clock::time_point m_lastInput;
    QTimer m_timer;
    bool m_running = false;
    bool m_armed = false; // idle() not yet emitted since the last input
};

} // namespace veskel
