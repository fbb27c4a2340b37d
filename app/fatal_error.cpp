#include "app/fatal_error.h"

#include <cstdio>
#include <cstdlib>

namespace {
void (*captionHook)(const char*) = nullptr;
}

void setFatalErrorCaption(void (*showInCaption)(const char* text)) {
    captionHook = showInCaption;
}

void fatalError(const char* text) {
    std::fprintf(stderr, "ERROR: %s\n", text);
    std::fflush(stdout);
    if (captionHook) captionHook(text);
    std::exit(exitFatal);
}
