#pragma once
// Unrecoverable start-up errors: "ERROR: <text>" on stderr (and in the window
// caption while a window is open), then exit code 2.
[[noreturn]] void fatalError(const char* text);

// The window registers how to show the text in its caption; null when closed.
void setFatalErrorCaption(void (*showInCaption)(const char* text));

constexpr int exitFatal = 2;
