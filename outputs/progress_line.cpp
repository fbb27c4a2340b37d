#include "outputs/progress_line.h"

#include <unistd.h>

#include <algorithm>

namespace {
// A terminal shows the line as it changes; a log only needs a line now and then.
constexpr std::chrono::milliseconds terminalInterval{250};
constexpr std::chrono::seconds logInterval{5};
}  // namespace

std::string clockText(double seconds) {
    if (seconds < 0.0) seconds = 0.0;
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return text;
}

ProgressLine::ProgressLine(int total, int passes, std::FILE* out, bool terminal)
    : total_(total), passes_(passes), out_(out), terminal_(terminal), start_(Clock::now()), lastShown_(start_) {}

ProgressLine::ProgressLine(int total, int passes) : ProgressLine(total, passes, stderr, isatty(STDERR_FILENO) == 1) {}

std::string ProgressLine::text(int done, int pass, Clock::time_point now) const {
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double frames = done + static_cast<double>(pass) / passes_;
    const double rate = elapsed > 0.0 ? frames / elapsed : 0.0;
    const std::string left = rate > 0.0 ? clockText((total_ - frames) / rate) : "?";
    const std::string next = passes_ > 1 && done < total_ ? ", pass " + std::to_string(pass) + "/" +
                                                                std::to_string(passes_) + " of the next"
                                                          : "";
    // Three significant digits: a slow job shows 0.0167, not 0.02.
    char line[160];
    std::snprintf(line, sizeof line, "frame %d/%d%s  %.3g frames/s  %s left", done, total_, next.c_str(), rate,
                  left.c_str());
    return line;
}

void ProgressLine::update(int done, bool force, int pass) {
    const Clock::time_point now = Clock::now();
    if (!force && now - lastShown_ < (terminal_ ? Clock::duration(terminalInterval) : Clock::duration(logInterval)))
        return;
    lastShown_ = now;
    std::string line = text(done, pass, now);
    if (terminal_) {
        // Blanks over whatever a longer line before left on the terminal.
        width_ = std::max(width_, line.size());
        line.resize(width_, ' ');
        std::fprintf(out_, "\r%s", line.c_str());
        open_ = true;
    } else {
        std::fprintf(out_, "%s\n", line.c_str());
    }
    std::fflush(out_);
}

void ProgressLine::close() {
    if (open_) std::fputc('\n', out_);
    open_ = false;
}
