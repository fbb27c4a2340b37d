#include "live/fatal_error.h"

#include <cstdio>

namespace {
void (*captionHook)(const char*) = nullptr;
}

void setFatalErrorCaption(void (*showInCaption)(const char* text)) {
    captionHook = showInCaption;
}

void reportFatalError(const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "ERROR: %s\n", text.c_str());
    if (captionHook) captionHook(text.c_str());
}
