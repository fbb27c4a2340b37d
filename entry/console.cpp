#include "entry/console.h"

#include <cstdio>
#include <iostream>

void initConsole() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::ios::sync_with_stdio(true);
}
