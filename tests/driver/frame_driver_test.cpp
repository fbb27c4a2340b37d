#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "kernel/build_setting.h"
#include "render/frame_driver.h"
#include "scene/presets.h"
#include "render/sampler_table.h"
#include "support/check.h"

namespace {

// The light scene seen level from in front: light, ground, red and blue balls, back wall.
FrameData testRecord(int width, int height) {
    World w;
    buildSpheresScene(w);
    FrameData& fd = w.frame;
    fd.width = width;
    fd.height = height;
    fd.invWidth = 1.0f / width;
    fd.camForward[2] = fd.camRight[0] = fd.camVertical[1] = -1;
    fd.camPosition[1] = 6;
    fd.camPosition[2] = 30;
    fd.samplesPerFrame = samplesPerFrame;
    return fd;
}

const std::vector<unsigned char>& samplerTable() {
    static const std::vector<unsigned char> table = buildSamplerTable();
    return table;
}

// How the CPU backend names its kernel by default: the simd one where the build has it.
std::string kernelText() {
    return simdKernelAvailable()
               ? "simd kernel " + std::string(simdTargetName()) + " x" + std::to_string(simdLaneCount())
               : "scalar kernel";
}

// Sets the driver up; returns its console output, or "refused: " and the reason.
std::string setUp(FrameDriver& driver, const FrameData& record, BackendChoice choice, int threads) {
    const std::vector<unsigned char>& table = samplerTable();
    std::string why;
    testing::internal::CaptureStdout();
    const bool done = driver.setup(record, table.data(), int(table.size()), DriverOptions{choice, threads}, why);
    return testing::internal::GetCapturedStdout() + (done ? "" : "refused: " + why);
}

std::vector<uint32_t> frameOf(const FrameDriver& driver, int pixels) {
    return std::vector<uint32_t>(driver.frameBuffer(), driver.frameBuffer() + pixels);
}

// One frame from a fresh CPU backend into a buffer fenced by sentinels (no
// packed pixel has its top byte set).
constexpr uint32_t untouched = 0xFFFFFFFFu;

std::vector<uint32_t> renderOnCpu(const FrameData& record, int pass, int threads) {
    const int pixels = record.width * record.height, fence = 64;
    std::unique_ptr<RenderBackend> cpu = makeCpuBackend(threads);
    std::string why;
    EXPECT_TRUE(cpu->upload(samplerTable().data(), static_cast<int>(samplerTable().size()), pixels, why));
    std::vector<uint32_t> fenced(pixels + 2 * fence, untouched);
    EXPECT_TRUE(cpu->render(record, pass, fenced.data() + fence, why)) << why;
    EXPECT_EQ(std::count(fenced.begin(), fenced.begin() + fence, untouched) +
                  std::count(fenced.end() - fence, fenced.end(), untouched),
              2 * fence)
        << "wrote outside the frame";
    return std::vector<uint32_t>(fenced.begin() + fence, fenced.end() - fence);
}

// Stands in for a GPU: fills frames with a marker, then fails.
struct FlakyDevice final : RenderBackend {
    static constexpr uint32_t marker = 0x00ABCDEF;
    int goodFrames;
    explicit FlakyDevice(int good) : goodFrames(good) {}
    std::string describe() const override { return "CUDA, stand-in"; }
    bool upload(const unsigned char*, int, int, std::string&) override { return true; }
    bool render(const FrameData& record, int, uint32_t* out, std::string& why) override {
        std::fill(out, out + record.width * record.height, marker);  // a failed frame may leave garbage behind
        why = "simulated launch failure";
        return goodFrames-- > 0;
    }
};

}  // namespace

TEST(CpuBackend, FramesDependOnlyOnRecordAndPass) {
    // 64 x 40: one whole 2048-pixel run of the thread permutation plus a ragged tail.
    const FrameData record = testRecord(64, 40);
    const std::vector<uint32_t> oneThread = renderOnCpu(record, 5, 1);
    EXPECT_EQ(std::count(oneThread.begin(), oneThread.end(), untouched), 0) << "a pixel was never shaded";
    const int dark = static_cast<int>(std::count(oneThread.begin(), oneThread.end(), 0u));
    EXPECT_LT(dark, 64 * 40 / 2) << "the test scene should be mostly lit";
    EXPECT_EQ(renderOnCpu(record, 5, 2), oneThread);
    EXPECT_NE(renderOnCpu(record, 6, 2), oneThread) << "the pass must change the noise";
}

TEST(BackendChoice, ConsoleNamesTheBackendAndCudaIsRefusedWhereItCannotRun) {
    const FrameData record = testRecord(64, 32);
    FrameDriver cpuDriver, autoDriver, cudaDriver;
    const std::string cpu2 = "CPU, 2 threads, " + kernelText();
    EXPECT_EQ(setUp(cpuDriver, record, BackendChoice::Cpu, 2), "backend: " + cpu2 + "\n");
    EXPECT_EQ(makeCpuBackend(1)->describe(), "CPU, 1 thread, scalar kernel");
    const std::string autoConsole = setUp(autoDriver, record, BackendChoice::Auto, 2);
    const std::string cudaConsole = setUp(cudaDriver, record, BackendChoice::Cuda, 0);
    std::string why;
    if (!makeCudaBackend(why)) {
#ifndef TPL_HAVE_CUDA
        EXPECT_EQ(why, "this build has no CUDA support");
#else
        // No GPU here: the console says so before what the CUDA runtime said.
        EXPECT_EQ(why.rfind(std::string(noCudaDevice) + "; CUDA says: ", 0), 0u) << why;
#endif
        const bool noDevice = why.rfind(noCudaDevice, 0) == 0;
        EXPECT_EQ(autoConsole,
                  "backend: " + cpu2 + " (" + std::string(noDevice ? "" : "CUDA unavailable: ") + why + ")\n");
        EXPECT_EQ(cudaConsole, "refused: the CUDA backend cannot run: " + why);
        return;
    }
    // A GPU: both take it, and its frames match the CPU's up to fast-math rounding.
    ASSERT_EQ(cudaConsole.find("refused"), std::string::npos) << cudaConsole;
    EXPECT_EQ(autoConsole.rfind("backend: CUDA, ", 0), 0u) << autoConsole;
    ASSERT_TRUE(cudaDriver.renderFrame(record, why)) << why;
    ASSERT_TRUE(cpuDriver.renderFrame(record, why)) << why;
    EXPECT_EQ(cudaDriver.backend()->describe().rfind("CUDA, ", 0), 0u) << "no failure, no switch";
    double difference = 0;
    for (int i = 0; i < 64 * 32; ++i)
        for (int shift = 0; shift < 24; shift += 8)
            difference += std::abs(static_cast<int>((cudaDriver.frameBuffer()[i] >> shift) & 255) -
                                   static_cast<int>((cpuDriver.frameBuffer()[i] >> shift) & 255));
    EXPECT_LT(difference / (3 * 64 * 32), 2.0) << "mean byte difference";
}

// Every frame takes the next pass, also one the GPU failed and the CPU redid.
TEST(FrameDriver, PassCounterAndCpuFallbackWhenTheGpuFails) {
    FrameData record = testRecord(32, 16);
    FrameDriver driver;
    setUp(driver, record, BackendChoice::Cpu, 2);
    EXPECT_EQ(driver.passCounter(), 0);
    std::string why;
    ASSERT_TRUE(driver.replaceBackend(std::make_unique<FlakyDevice>(2), why)) << why;
    testing::internal::CaptureStdout();
    for (int frame = 0; frame < 2; ++frame) ASSERT_TRUE(driver.renderFrame(record, why)) << why;
    EXPECT_EQ(frameOf(driver, 512), std::vector<uint32_t>(512, FlakyDevice::marker));
    ASSERT_TRUE(driver.renderFrame(record, why)) << why;  // the device fails here
    EXPECT_EQ(frameOf(driver, 512), renderOnCpu(record, 2, 1));
    ASSERT_TRUE(driver.renderFrame(record, why)) << why;
    EXPECT_EQ(frameOf(driver, 512), renderOnCpu(record, 3, 1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "backend: CUDA failed (simulated launch failure); switching to CPU, 2 threads, " + kernelText() + "\n");
    EXPECT_EQ(driver.passCounter(), 4);

    record.samplesPerFrame = 2 * samplesPerFrame;  // more samples than the table has rows
    EXPECT_FALSE(driver.renderFrame(record, why));
    EXPECT_TRUE(contains(why, "the table holds"));
    EXPECT_EQ(driver.passCounter(), 4) << "a frame not rendered uses up no pass";
}
