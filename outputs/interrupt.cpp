#include "outputs/interrupt.h"

#include <unistd.h>

#include <cstdio>

#include "base/exit_codes.h"

namespace {

// Plain words a signal handler may read and write.
volatile sig_atomic_t interruptRequested = 0;
volatile sig_atomic_t encoderPid = 0;
volatile sig_atomic_t placing = 0;
char partialVideo[4096] = "";

void onInterrupt(int) {
    if (!interruptRequested) {
        interruptRequested = 1;
        return;
    }
    if (placing) return;
    if (encoderPid > 0) kill(encoderPid, SIGKILL);
    if (partialVideo[0] != 0) unlink(partialVideo);
    _exit(exitInterrupted);
}

}  // namespace

InterruptGuard::InterruptGuard() {
    interruptRequested = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    encoderPid = 0;
    placing = 0;
    partialVideo[0] = 0;
}

bool InterruptGuard::requested() const {
    return interruptRequested != 0;
}

void InterruptGuard::watchEncoder(pid_t pid, const std::string& partialPath) {
    std::snprintf(partialVideo, sizeof partialVideo, "%s", partialPath.c_str());
    encoderPid = pid;
}

void InterruptGuard::encoderDone() {
    encoderPid = 0;
}

void InterruptGuard::puttingVideoInPlace() {
    placing = 1;
}
