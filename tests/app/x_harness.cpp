#include "app/x_harness.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void pause(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int errorsSeen = 0;
int countError(Display*, XErrorEvent*) {
    ++errorsSeen;
    return 0;
}

// An X connection whose errors are counted instead of ending the process.
class Connection {
public:
    explicit Connection(const std::string& name)
        : display_(XOpenDisplay(name.c_str())), previous_(XSetErrorHandler(countError)) {
        errorsSeen = 0;
    }
    ~Connection() {
        if (display_) {
            XSync(display_, False);
            XCloseDisplay(display_);
        }
        XSetErrorHandler(previous_);
    }
    Display* get() const { return display_; }
    bool ok() {
        if (display_) XSync(display_, False);
        return display_ && errorsSeen == 0;
    }

private:
    Display* display_;
    XErrorHandler previous_;
};

}  // namespace

XServer::XServer() {
    int channel[2];
    if (pipe(channel) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        close(channel[0]);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        const std::string fd = std::to_string(channel[1]);
        // -noreset: without it the server may reset between two clients and
        // refuse the next connection.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-noreset", "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(channel[1]);
    if (pid_ < 0) {
        close(channel[0]);
        return;
    }
    // The server writes its display number once it accepts connections.
    std::string number;
    const auto start = Clock::now();
    pollfd wanted{channel[0], POLLIN, 0};
    while (secondsSince(start) < 20.0 && poll(&wanted, 1, 200) >= 0) {
        if (!(wanted.revents & (POLLIN | POLLHUP))) continue;
        char c;
        if (read(channel[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(channel[0]);
    if (!number.empty()) name_ = ":" + number;
}

XServer::~XServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

unsigned long findWindow(const std::string& display, const std::string& titlePattern) {
    const std::string command =
        "DISPLAY=" + display + " xdotool search --name " + quoted(titlePattern) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return 0;
    unsigned long window = 0;
    if (std::fscanf(pipe, "%lu", &window) != 1) window = 0;
    pclose(pipe);
    return window;
}

unsigned long waitForWindow(const std::string& display, const std::string& titlePattern, double seconds) {
    const auto start = Clock::now();
    for (;;) {
        if (unsigned long window = findWindow(display, titlePattern)) return window;
        if (secondsSince(start) > seconds) return 0;
        pause(0.1);
    }
}

std::vector<uint32_t> grabWindow(const std::string& display, unsigned long window, int& width, int& height) {
    width = height = 0;
    Connection x(display);
    if (!x.get()) return {};
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(x.get(), window, &attributes)) return {};
    XImage* image = XGetImage(x.get(), window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!x.ok() || !image) return {};
    std::vector<uint32_t> pixels;
    pixels.reserve(static_cast<size_t>(attributes.width) * attributes.height);
    for (int y = 0; y < attributes.height; ++y)
        for (int x0 = 0; x0 < attributes.width; ++x0)
            pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x0, y)) & 0xffffffu);
    XDestroyImage(image);
    width = attributes.width;
    height = attributes.height;
    return pixels;
}

int countLitPixels(const std::vector<uint32_t>& pixels) {
    int lit = 0;
    for (uint32_t p : pixels) lit += p != 0;
    return lit;
}

bool requestClose(const std::string& display, unsigned long window) {
    Connection x(display);
    if (!x.get()) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x.get(), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x.get(), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x.get(), window, False, NoEventMask, &event);
    return x.ok();
}

bool runWithDisplay(const std::string& display, const std::string& command) {
    const std::string line = "DISPLAY=" + display + " " + command + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env, const std::string& workDir)
    : outPath_(workDir + "/stdout.txt"), errPath_(workDir + "/stderr.txt") {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (!env.count(text.substr(0, text.find('=')))) environment.push_back(text);
    }
    for (const auto& [key, value] : env)
        if (!value.empty()) environment.push_back(key + "=" + value);

    pid_ = fork();
    if (pid_ != 0) return;
    if (chdir(workDir.c_str()) != 0) _exit(126);
    const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exited()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

int ChildProcess::wait(double seconds) {
    if (exited()) return status_;
    if (pid_ <= 0) return -1;
    const auto start = Clock::now();
    for (;;) {
        int raw = 0;
        if (waitpid(pid_, &raw, WNOHANG) == pid_) {
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            return status_;
        }
        if (secondsSince(start) > seconds) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            status_ = -1;
            return status_;
        }
        pause(0.05);
    }
}

std::string ChildProcess::output() const {
    return readFile(outPath_);
}
std::string ChildProcess::errors() const {
    return readFile(errPath_);
}
