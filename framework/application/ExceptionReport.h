#pragma once

#include "core/Exception.h"
#include "core/TEvent.h"

#include <QString>

#include <functional>

class MessageBoxes;

// Where every exception that escapes an event handler ends up: the silent
// one vanishes, one of ours goes to the application's OnException or, without
// a handler, into a box, and anything else is reported by its class name.
class ExceptionReport {
public:
    using TExceptionEvent = TEvent<TObject*, const Exception&>;

    // The title captions the boxes; the executable's name goes into the report
    // of an exception that is not ours.
    ExceptionReport(MessageBoxes& boxes, const TExceptionEvent& onException, std::function<QString()> title,
        std::function<QString()> exeName);

    // Call inside a catch block: reports the exception being handled.
    void HandleCurrent(TObject* sender);
    void Show(const Exception& e);

private:
    void showLowLevelReport(const QString& className);

    MessageBoxes& m_boxes;
    const TExceptionEvent& m_onException;
    std::function<QString()> m_title;
    std::function<QString()> m_exeName;
};
