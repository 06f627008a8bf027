#pragma once

#include "core/TEvent.h"

#include <functional>

// The boundary between Qt's event dispatch and our handlers. Nothing of the
// application object is needed here: it installs the reporter that shows what
// escaped, so every class below it can guard its handlers without knowing it.
namespace ExceptionBoundary {

// Called inside a catch block with the object whose handler failed.
using Reporter = std::function<void(TObject* sender)>;

// Installs the reporter; an empty one makes escaped exceptions vanish silently.
void SetReporter(Reporter reporter);

// Hands the exception being handled to the reporter. Call inside a catch block.
void ReportCurrentException(TObject* sender);

} // namespace ExceptionBoundary

// Runs fn and hands anything it throws to the installed reporter with the
// given sender.
template <typename Fn>
void guarded(TObject* sender, Fn&& fn)
{
    try {
        fn();
    } catch (...) {
        ExceptionBoundary::ReportCurrentException(sender);
    }
}
