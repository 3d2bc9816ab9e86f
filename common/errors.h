#pragma once
#include <QString>
#include <stdexcept>
#include <string>

// A failure the agent itself detects (bad input from the peer or from a file, a refused
// name, a failed write). Stores may throw anything; the dispatcher catches everything,
// but code of our own throws this so a failure carries a readable reason.
class AgentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit AgentError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

// Bytes from the peer or from a file that do not hold what their counts and lengths claim.
class MalformedData : public AgentError {
public:
    using AgentError::AgentError;
};
