#pragma once
#include <string>

// How the live show reports the error that ends it: "ERROR: <text>" on stderr,
// and in the window caption while a window is open. The caller then returns
// exitError.
void reportFatalError(const std::string& text);

// The window registers how to show the text in its caption; null when closed.
void setFatalErrorCaption(void (*showInCaption)(const char* text));
