#pragma once
// Qt's event loop for tests of socket and timer code that runs on the calling thread.
//
//   EnsureCoreApplication();                       // once, before any QObject needs the loop
//   ASSERT_TRUE(ProcessEventsUntil([&] { return peer.Connected(); }));
//
// No sleeps: the loop runs until the condition holds or the time limit passes.

#include <functional>

class QCoreApplication;

// The process's QCoreApplication (made on first use when none exists yet).
QCoreApplication& EnsureCoreApplication();

// Runs the event loop until `done` returns true (true) or `timeoutMs` passes (false).
bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000);
