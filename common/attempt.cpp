#include "common/attempt.h"

#include "common/diagnostics.h"

QString FailureReason(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown failure");
    }
}

bool AttemptStep(const std::function<void()>& step, QStringList& failures)
{
    try {
        step();
        return true;
    } catch (...) {
        failures.append(FailureReason(std::current_exception()));
        qCDebug(lcCommon) << "a step failed and the next ones run:" << failures.last();
    }
    return false;
}
