#include "idlewatch.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>

namespace veskel {

namespace {

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

// QTimer takes an int of milliseconds: longer waits are taken in steps, each
// ending in a check that schedules the rest.
constexpr std::chrono::milliseconds kLongestWait = std::chrono::hours(1);

} // namespace

IdleWatch::IdleWatch(std::chrono::milliseconds interval, QObject *parent)
    : QObject(parent)
    , m_clock([] { return std::chrono::steady_clock::now(); })
    , m_interval(std::max(interval, std::chrono::milliseconds::zero()))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &IdleWatch::check);
    if (QCoreApplication *app = QCoreApplication::instance()) {
        app->installEventFilter(this);
    }
}

IdleWatch::~IdleWatch()
{
    if (QCoreApplication *app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
    }
}

void IdleWatch::start()
{
    if (!m_running) {
        restart();
    }
}

void IdleWatch::stop()
{
    m_running = false;
    m_armed = false;
    m_timer.stop();
}

void IdleWatch::restart()
{
    m_running = true;
    m_armed = true;
    m_lastInput = m_clock();
    schedule(m_interval);
}

void IdleWatch::setInterval(std::chrono::milliseconds interval)
{
    m_interval = std::max(interval, std::chrono::milliseconds::zero());
    if (m_running && m_armed) {
        schedule(m_interval - (m_clock() - m_lastInput));
    }
}

void IdleWatch::setClock(Clock clock)
{
    m_clock = std::move(clock);
    m_lastInput = m_clock();
}

void IdleWatch::check()
{
    if (!m_running || !m_armed) {
        return;
    }
    const auto quiet = m_clock() - m_lastInput;
    if (quiet < m_interval) {
        schedule(m_interval - quiet);
        return;
    }
    m_armed = false;
    m_timer.stop();
    emit idle();
}

void IdleWatch::schedule(std::chrono::steady_clock::duration remaining)
{
    const auto wait = std::clamp(std::chrono::ceil<std::chrono::milliseconds>(remaining),
                                 std::chrono::milliseconds::zero(), kLongestWait);
    m_timer.start(wait);
}

bool IdleWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (m_running && IsUserInput(event->type())) {
        // Only the time is noted here: input comes often, and the timer
        // that is already running reads it when it expires.
        m_lastInput = m_clock();
        if (!m_armed) {
            m_armed = true;
            schedule(m_interval);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace veskel
