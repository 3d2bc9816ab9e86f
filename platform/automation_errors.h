#pragma once
#include <QString>
#include <cstdint>
#include <exception>
#include <string>

#include "platform/automation_servers.h"

// The two failures an automation call raises. Callers that must tell Outlook's own errors from
// the automation layer's failures catch them apart; both are std::exceptions, so the request
// handlers' catch-all logs their text.

// A failed call (any status but DISP_E_EXCEPTION) or a result that does not convert to the type
// the caller asked for.
class COleException : public std::exception {
public:
    explicit COleException(ComStatus status);
    ComStatus status() const { return status_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    ComStatus status_;
    std::string text_;
};

// An error the server raised itself (DISP_E_EXCEPTION): Outlook refusing an unknown entry
// identifier, an index out of range, a failing save.
class COleDispatchException : public std::exception {
public:
    explicit COleDispatchException(AutomationExceptionInfo info);
    std::int32_t code() const { return info_.code; }
    const QString& source() const { return info_.source; }
    const QString& description() const { return info_.description; }
    const QString& helpFile() const { return info_.helpFile; }
    std::uint32_t helpContext() const { return info_.helpContext; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    AutomationExceptionInfo info_;
    std::string text_;
};

// "0x80020009", as statuses are written in log lines.
QString ComStatusText(ComStatus status);
