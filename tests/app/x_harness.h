#pragma once
// A private X server for window tests, the few X requests the tests need, and
// a child process with its own environment and captured output.
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Xvfb on a display number it picks itself; stopped on destruction.
class XServer {
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool running() const { return pid_ > 0 && !name_.empty(); }
    const std::string& name() const { return name_; }  // e.g. ":12"

private:
    pid_t pid_ = -1;
    std::string name_;
};

// First top-level window whose title matches the pattern (xdotool search); 0 if none.
unsigned long findWindow(const std::string& display, const std::string& titlePattern);
// Polls findWindow until the window shows or the time is up.
unsigned long waitForWindow(const std::string& display, const std::string& titlePattern, double seconds);
// The window's pixels as 0x00RRGGBB, row by row; empty when it cannot be read.
std::vector<uint32_t> grabWindow(const std::string& display, unsigned long window, int& width, int& height);
int countLitPixels(const std::vector<uint32_t>& pixels);
// The request a window manager's close button sends (WM_DELETE_WINDOW).
bool requestClose(const std::string& display, unsigned long window);
// Runs a shell command with DISPLAY set; true on exit status 0.
bool runWithDisplay(const std::string& display, const std::string& command);

class ChildProcess {
public:
    // Starts program with args in workDir; env entries with an empty value are removed.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const std::string& workDir);
    ~ChildProcess();  // kills it if still running

    // Exit status, or -1 when it did not end in time (it is then killed), or
    // 128 + signal when a signal ended it.
    int wait(double seconds);
    bool exited() const { return status_ != unknown; }
    std::string output() const;  // stdout
    std::string errors() const;  // stderr

private:
    static constexpr int unknown = -1000;
    pid_t pid_ = -1;
    int status_ = unknown;
    std::string outPath_, errPath_;
};
