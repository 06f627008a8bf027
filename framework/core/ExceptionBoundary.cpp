#include "core/ExceptionBoundary.h"

namespace {

ExceptionBoundary::Reporter& installedReporter()
{
    static ExceptionBoundary::Reporter reporter;
    return reporter;
}

} // namespace

void ExceptionBoundary::SetReporter(Reporter reporter)
{
    installedReporter() = std::move(reporter);
}

void ExceptionBoundary::ReportCurrentException(TObject* sender)
{
    if (const Reporter& report = installedReporter())
        report(sender);
}
