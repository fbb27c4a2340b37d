#include "check_options.h"

#include <iterator>

#include "anim/show_state.h"
#include "base/command_line.h"
#include "render/frame_driver.h"

const char* const checkUsage =
    "usage: engine-check [options]\n"
    "Renders moments of the show with the CPU and the CUDA backend, compares and times them.\n"
    "  --moments A,B,...    seconds into the show (default 0.5,13,30,60,97), 0 to 105.99\n"
    "  --size WxH[,WxH...]  frame sizes (default 640x480), each side 16 to 16384, at most 67108864\n"
    "                       pixels; every moment is rendered at each size in turn by the same backends\n"
    "  --layers             also compare the light before the tone curve and the guide layer\n"
    "  --runs N             timed CUDA frames per moment and size after the checked one (default 30)\n"
    "  --cpu-runs N         timed CPU frames per moment and size after the checked one (default 3)\n"
    "  --threads N          CPU backend threads, 1 to 256 (default: one per core)\n"
    "  --min-margin DB      how much higher a CUDA frame's PSNR against the CPU frame must be than\n"
    "                       the PSNR of the CPU's next pass against it (default 10)\n"
    "  --min-psnr DB        least PSNR of a CUDA frame against the CPU frame (default 30)\n"
    "  --device cuda|cpu    what is checked: the CUDA backend (default), or a second CPU backend\n"
    "                       running the scalar kernel, which tries the check where there is no GPU\n"
    "  --ppm DIR            write DIR/cpu_<t>.ppm and DIR/cuda_<t>.ppm (cpu_<t>_<W>x<H>.ppm at other sizes)\n"
    "  --allow-no-gpu       without a usable CUDA device, exit 0 after the CPU frames\n"
    "  --help               this text\n"
    "A CUDA frame passes when its PSNR against the CPU frame of the same pass clears both marks and\n"
    "every pixel was written: the device buffers are filled with 0xFF bytes before each frame, so a\n"
    "pixel the kernel skips keeps its top byte set. The CPU frame of the next pass gives the noise a\n"
    "wrong seed, pass number or sampler table would show. With --layers the light's error must be\n"
    "the same margin below the next pass's, each pixel must be the tone curve of its own light, and\n"
    "the guide must match the CPU's but for a few pixels on edges. The checked frame of each backend\n"
    "is rendered first (with the layers when asked for) and not timed; the timed frames that follow\n"
    "are packed frames as the show renders them, and each must equal the checked one.\n"
    "Exit codes: 0 every moment passed; 1 a check failed (the marks above, a backend giving different\n"
    "frames for one moment, a CUDA device that fails to set up or render); 2 bad options or an error\n"
    "(an unwritable PPM); 3 no CUDA device or no CUDA in this build (the CPU frames were still\n"
    "rendered and timed; 0 with --allow-no-gpu).\n";

namespace {

constexpr double lastMoment = showLengthSeconds - 0.01;

struct CheckOption {
    OptionSyntax syntax;
    void (*store)(CheckOptions& o, const OptionValue& v);
};

// The program's reader and number syntax (base/command_line.h): plain decimal
// for seconds and dB, digits only for counts and sides.
const CheckOption checkOptions[] = {
    {{"--moments", ValueKind::DecimalList, "A,B,...", 0, lastMoment},
     [](CheckOptions& o, const OptionValue& v) { o.moments = v.numbers; }},
    {{"--size", ValueKind::SizeList, "WxH[,WxH...]", minFrameSide, maxFrameSide},
     [](CheckOptions& o, const OptionValue& v) {
         o.sizes.clear();
         for (const auto& [width, height] : v.sizes) o.sizes.push_back({width, height});
     }},
    {{"--layers", ValueKind::None, "", 0, 0}, [](CheckOptions& o, const OptionValue&) { o.layers = true; }},
    {{"--runs", ValueKind::Count, "N", 0, 1000},
     [](CheckOptions& o, const OptionValue& v) { o.runs = static_cast<int>(v.number); }},
    {{"--cpu-runs", ValueKind::Count, "N", 0, 1000},
     [](CheckOptions& o, const OptionValue& v) { o.cpuRuns = static_cast<int>(v.number); }},
    {{"--threads", ValueKind::Count, "N", 1, maxCpuThreads},
     [](CheckOptions& o, const OptionValue& v) { o.threads = static_cast<int>(v.number); }},
    {{"--min-margin", ValueKind::Decimal, "DB", 0, 1000},
     [](CheckOptions& o, const OptionValue& v) { o.minMargin = v.number; }},
    {{"--min-psnr", ValueKind::Decimal, "DB", 0, 1000},
     [](CheckOptions& o, const OptionValue& v) { o.minPsnr = v.number; }},
    {{"--device", ValueKind::Choice, "cuda|cpu", 0, 0},
     [](CheckOptions& o, const OptionValue& v) { o.cpuDevice = v.text == "cpu"; }},
    {{"--ppm", ValueKind::Folder, "DIR", 0, 0}, [](CheckOptions& o, const OptionValue& v) { o.ppmDir = v.text; }},
    {{"--allow-no-gpu", ValueKind::None, "", 0, 0}, [](CheckOptions& o, const OptionValue&) { o.allowNoGpu = true; }},
    {{"--help", ValueKind::None, "", 0, 0}, [](CheckOptions& o, const OptionValue&) { o.help = true; }},
    {{"-h", ValueKind::None, "", 0, 0}, [](CheckOptions& o, const OptionValue&) { o.help = true; }},
};

}  // namespace

bool parseCheckOptions(int argc, const char* const* argv, CheckOptions& o, std::string& error) {
    const auto take = [&](const CheckOption& option, const OptionValue& value, bool&, std::string&) {
        option.store(o, value);
        return true;
    };
    if (!readCommandLine<CheckOption>(argc, argv, checkOptions, std::size(checkOptions), take, error)) return false;
    for (const FrameSize& size : o.sizes)
        if (static_cast<long long>(size.width) * size.height > maxFramePixels) {
            error = "--size: " + std::to_string(size.width) + "x" + std::to_string(size.height) + " is more than " +
                    std::to_string(maxFramePixels) + " pixels";
            return false;
        }
    return true;
}
