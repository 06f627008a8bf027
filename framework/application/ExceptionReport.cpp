#include "application/ExceptionReport.h"

#include "application/MessageBoxes.h"
#include "platform/FileNames.h"

#include <QWidget>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define TAMSEL_HAS_CXXABI 1
#endif
#include <cstdlib>
#include <exception>
#include <typeinfo>

namespace {

// The class name of the exception being handled, readable where the
// compiler's run-time library can tell it.
QString currentExceptionTypeName()
{
#ifdef TAMSEL_HAS_CXXABI
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type)
        return QStringLiteral("unknown");
    int status = 0;
    char* demangled = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    const QString name = QString::fromUtf8(status == 0 && demangled ? demangled : type->name());
    std::free(demangled);
    return name;
#else
    return QStringLiteral("unknown");
#endif
}

} // namespace

ExceptionReport::ExceptionReport(MessageBoxes& boxes, const TExceptionEvent& onException,
    std::function<QString()> title, std::function<QString()> exeName)
    : m_boxes(boxes)
    , m_onException(onException)
    , m_title(std::move(title))
    , m_exeName(std::move(exeName))
{
}

void ExceptionReport::HandleCurrent(TObject* sender)
{
    const std::exception_ptr current = std::current_exception();
    if (!current)
        return; // called outside a catch block: nothing to report
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    try {
        std::rethrow_exception(current);
    } catch (const EAbort&) {
        // The silent exception.
    } catch (const Exception& e) {
        if (m_onException)
            m_onException(sender, e);
        else
            Show(e);
    } catch (...) {
        showLowLevelReport(currentExceptionTypeName());
    }
}

void ExceptionReport::showLowLevelReport(const QString& className)
{
    // Where the exception was raised is not known here: the address stays 0.
    const QString text = QStringLiteral("Exception %1 in module %2 at %3.\n")
                             .arg(className, FileNames::ExtractFileName(m_exeName()), QStringLiteral("00000000"));
    m_boxes.Show(text, QStringLiteral("Application Error"),
        MessageBoxes::MB_OK | MessageBoxes::MB_ICONERROR | MessageBoxes::MB_TASKMODAL);
}

void ExceptionReport::Show(const Exception& e)
{
    m_boxes.Show(e.Message() + u'.', m_title(), MessageBoxes::MB_OK | MessageBoxes::MB_ICONERROR);
}
