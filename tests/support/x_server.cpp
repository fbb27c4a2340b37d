#include "support/x_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

XServer::XServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    if ((pid = fork()) == 0) {
        // A test process that dies without its destructors takes the server with it, not
        // leaving it to hold a display number.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(open("/dev/null", O_WRONLY), 2);
        // -noreset: otherwise the server may reset between two clients and refuse the next.
        execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(fds[1]).c_str(), "-screen", "0", "1024x768x24",
               "-noreset", "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    for (char c; read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
    if (!number.empty()) name = ":" + number;
    close(fds[0]);
}

XServer::~XServer() {
    if (pid > 0 && kill(pid, SIGTERM) == 0) waitpid(pid, nullptr, 0);
}

Pixels grabWindow(const std::string& display, unsigned long window, int width, int height) {
    Pixels pixels;
    ::Display* x = XOpenDisplay(display.c_str());
    if (!x) return pixels;
    // The window may go away between two grabs; that reads as "nothing yet".
    const auto previous = XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
    if (!window) window = DefaultRootWindow(x);
    if (XImage* image = XGetImage(x, window, 0, 0, width, height, AllPlanes, ZPixmap)) {
        pixels.reserve(size_t(width) * height);
        for (int i = 0; i < width * height; ++i) pixels.push_back(XGetPixel(image, i % width, i / width) & 0xffffff);
        XDestroyImage(image);
    }
    XCloseDisplay(x);
    XSetErrorHandler(previous);
    return pixels;
}
