#pragma once
// The QApplication that widget tests need, on Qt's offscreen platform unless the caller chose
// another. Only one application object can exist per process: when a test before this one
// already made a window-less one, the widget test is skipped (ctest runs every test in a
// process of its own, so there it always runs).

class QApplication;

// The process's QApplication, or nullptr when a window-less application object is in the way.
QApplication* EnsureWidgetApplication();

#define REQUIRE_WIDGET_APPLICATION()                                                   \
    do {                                                                               \
        if (!EnsureWidgetApplication())                                                \
            GTEST_SKIP() << "a window-less application object exists in this process"; \
    } while (false)
