#pragma once
// Every window registers how to build it on the demo data; taxferry-screens renders each to a PNG.

#include "support/TestSupport.h"
#include <QWidget>
#include <functional>

// Builds the window (shown or not); the runner grabs it and deletes it.
using ScreenFactory = std::function<QWidget*(TestDatabases& db)>;

struct ScreenRegistrar {
    ScreenRegistrar(const char* fileName, ScreenFactory factory);
};

// In a file tests/screens/screens_<area>.cpp:
//   static ScreenRegistrar s1("MainWindow", [](TestDatabases& db) { ...; return window; });
