#pragma once
// Ctrl-C and SIGTERM for the headless jobs that encode a video. The first
// asks for a clean stop after the current frame; a second gives up at once,
// killing the encoder and removing its unfinished file, unless the video is
// already being cut and put in place (a moment).
#include <signal.h>
#include <sys/types.h>

#include <string>

class InterruptGuard {
public:
    // Installs the handlers and forgets any earlier request.
    InterruptGuard();
    // Puts the previous handlers back.
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // Whether a first signal asked for a stop.
    bool requested() const;
    // What a second signal must clean up: the encoder and its unfinished file.
    void watchEncoder(pid_t pid, const std::string& partialPath);
    // The encoder has ended: nothing left to kill.
    void encoderDone();
    // From here on the file is only cut and renamed: a second signal waits for it.
    void puttingVideoInPlace();

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};
