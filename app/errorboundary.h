// The boundary around every event handler: an error that escapes the handler
// ends it and is shown in the error box, and the program carries on.
#pragma once

#include "messageboxes.h"
#include "runtime/exceptions.h"

#include <exception>
#include <new>
#include <utility>

namespace veskel {

// Runs the handler; returns false when an error escaped it (and was shown).
template<typename Handler>
bool RunGuarded(QWidget *owner, Handler &&handler)
{
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (const Exception &error) {
        ShowErrorMessage(owner, error.message());
    } catch (const std::bad_alloc &) {
        ShowErrorMessage(owner, QStringLiteral("Out of memory"));
    } catch (const std::exception &error) {
        ShowErrorMessage(owner, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowErrorMessage(owner, QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace veskel
