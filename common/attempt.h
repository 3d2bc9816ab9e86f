#pragma once
// Running a step whose failure must not keep the following steps from running (the releases
// of a departing client, the write-backs at the end of a synchronisation).

#include <QString>
#include <QStringList>
#include <exception>
#include <functional>

// The readable reason of a caught failure: what() of a standard exception, else "unknown failure".
QString FailureReason(std::exception_ptr failure);

// Runs the step; a failure it throws is appended to `failures` (its reason) instead of escaping.
// True when the step succeeded.
bool AttemptStep(const std::function<void()>& step, QStringList& failures);
