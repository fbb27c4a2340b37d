#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "scene/build_setting.h"
#include "scene/frame_driver.h"
#include "scene/sampler_table.h"

namespace {

// A lit test scene: light above, ground, a diffuse and a glass ball, level camera.
FrameData testRecord(int width, int height) {
    FrameData fd{};
    fd.width = width;
    fd.height = height;
    fd.invWidth = 1.0f / width;
    fd.invHeight = 1.0f / height;
    fd.camForward[2] = 1;
    fd.camVertical[1] = -1;
    fd.camRight[0] = 1;
    fd.camPosition[1] = 1.5f;
    fd.camPosition[2] = -6;
    fd.samplesPerFrame = samplesPerFrame;
    fd.sphereCount = 4;
    const float spheres[4][4] = {{0, 6, 0, 1.5f}, {0, -10000, 0, 10000}, {-1.2f, 1, 0, 1}, {1.2f, 1, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        fd.sphereX[i] = spheres[i][0];
        fd.sphereY[i] = spheres[i][1];
        fd.sphereZ[i] = spheres[i][2];
        fd.sphereRadius[i] = spheres[i][3];
        fd.sphereRadius2[i] = spheres[i][3] * spheres[i][3];
        fd.sphereMaterial[i] = i;
    }
    fd.materials[0] = {8, 8, 8, 0};
    fd.materials[1] = {0.6f, 0.6f, 0.6f, 0};
    fd.materials[2] = {0.8f, 0.2f, 0.2f, 0};
    fd.materials[3] = {0.9f, 0.9f, 0.9f, 0.5f};
    return fd;
}

const std::vector<unsigned char>& samplerTable() {
    static const std::vector<unsigned char> table = [] {
        testing::internal::CaptureStdout();
        std::vector<unsigned char> built = buildSamplerTable();
        testing::internal::GetCapturedStdout();
        return built;
    }();
    return table;
}

// Sets the driver up and returns its console output ("" when refused, error set).
std::string setUp(FrameDriver& driver, const FrameData& record, BackendChoice choice, int threads, bool* ok = nullptr,
                  std::string* error = nullptr) {
    DriverOptions options;
    options.backend = choice;
    options.threads = threads;
    std::string why;
    const std::vector<unsigned char>& table = samplerTable();
    testing::internal::CaptureStdout();
    const bool done = driver.setup(record, table.data(), static_cast<int>(table.size()), options, why);
    const std::string console = testing::internal::GetCapturedStdout();
    if (ok) *ok = done;
    if (error) *error = why;
    if (!ok) {
        EXPECT_TRUE(done) << why;
    }
    return console;
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
    for (int i = 0; i < fence; ++i) {
        EXPECT_EQ(fenced[i], untouched) << "wrote before the frame";
        EXPECT_EQ(fenced[fence + pixels + i], untouched) << "wrote past the frame";
    }
    return std::vector<uint32_t>(fenced.begin() + fence, fenced.end() - fence);
}

// Stands in for a GPU: fills frames with a marker, then fails.
class FlakyDevice final : public RenderBackend {
public:
    FlakyDevice(int goodFrames, bool failResize) : goodFrames_(goodFrames), failResize_(failResize) {}
    std::string describe() const override { return "CUDA, stand-in"; }
    bool upload(const unsigned char*, int, int pixelCount, std::string& why) override {
        why = "simulated allocation failure";
        if (pixels_ != 0 && failResize_) return false;
        pixels_ = pixelCount;
        return true;
    }
    bool render(const FrameData&, int, uint32_t* out, std::string& why) override {
        std::fill(out, out + pixels_, marker);  // a failed frame may leave garbage behind
        why = "simulated launch failure";
        return goodFrames_-- > 0;
    }
    static constexpr uint32_t marker = 0x00ABCDEF;

private:
    int goodFrames_;
    bool failResize_;
    int pixels_ = 0;
};

}  // namespace

TEST(CpuBackend, FramesDependOnlyOnRecordAndPass) {
    // 64 x 40: one whole 2048-pixel run of the thread permutation plus a ragged tail.
    const FrameData record = testRecord(64, 40);
    const std::vector<uint32_t> oneThread = renderOnCpu(record, 5, 1);
    int lit = 0;
    for (uint32_t pixel : oneThread) {
        ASSERT_NE(pixel, untouched) << "a pixel was never shaded";
        lit += pixel != 0;
    }
    EXPECT_GT(lit, 64 * 40 / 2) << "the test scene should be mostly lit";
    EXPECT_EQ(renderOnCpu(record, 5, 2), oneThread);
    EXPECT_EQ(renderOnCpu(record, 5, 3), oneThread);
    EXPECT_NE(renderOnCpu(record, 6, 2), oneThread) << "the pass must change the noise";
}

TEST(FrameDriver, PassCounterStartsAtZeroAndAdvancesPerFrame) {
    const FrameData record = testRecord(8, 4);
    FrameDriver driver;
    setUp(driver, record, BackendChoice::Cpu, 2);
    EXPECT_EQ(driver.passCounter(), 0);
    ASSERT_EQ(driver.renderFrame(record), 0);
    EXPECT_EQ(frameOf(driver, 32), renderOnCpu(record, 0, 1));
    for (int frame = 2; frame <= 100; ++frame) ASSERT_EQ(driver.renderFrame(record), 0);
    EXPECT_EQ(driver.passCounter(), 100);
    EXPECT_EQ(frameOf(driver, 32), renderOnCpu(record, 99, 1));
    EXPECT_NE(frameOf(driver, 32), renderOnCpu(record, 98, 1));

    driver.setPassCounter(7);
    ASSERT_EQ(driver.renderFrame(record), 0);
    EXPECT_EQ(frameOf(driver, 32), renderOnCpu(record, 7, 1));
}

TEST(FrameDriver, NeverRendersPastItsBuffersOrTable) {
    FrameData record = testRecord(8, 4);
    FrameDriver driver;
    setUp(driver, record, BackendChoice::Cpu, 2);
    const FrameData bigger = testRecord(40, 20);  // buffers follow a size change
    ASSERT_EQ(driver.renderFrame(bigger), 0);
    EXPECT_EQ(frameOf(driver, 800), renderOnCpu(bigger, 0, 1));

    testing::internal::CaptureStderr();
    record.samplesPerFrame = 2 * samplesPerFrame;  // more samples than the table has rows
    EXPECT_EQ(driver.renderFrame(record), -1);
    record = testRecord(8, 0);
    EXPECT_EQ(driver.renderFrame(record), -1);
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ(driver.passCounter(), 1) << "a frame not rendered uses up no pass";

    FrameDriver unset;
    EXPECT_EQ(unset.frameBuffer(), nullptr);
    EXPECT_EQ(unset.renderFrame(bigger), -1);
}

TEST(BackendChoice, ConsoleNamesTheBackendAndCudaIsRefusedWhereItCannotRun) {
    const FrameData record = testRecord(64, 32);
    FrameDriver cpuDriver, autoDriver, cudaDriver;
    EXPECT_EQ(setUp(cpuDriver, record, BackendChoice::Cpu, 2), "backend: CPU, 2 threads\n");
    EXPECT_EQ(makeCpuBackend(1)->describe(), "CPU, 1 thread");
    const std::string autoConsole = setUp(autoDriver, record, BackendChoice::Auto, 2);
    bool cudaOk = false;
    std::string cudaError;
    const std::string cudaConsole = setUp(cudaDriver, record, BackendChoice::Cuda, 0, &cudaOk, &cudaError);

    std::string why;
    if (!makeCudaBackend(why)) {
        EXPECT_FALSE(why.empty());
#ifndef TPL_HAVE_CUDA
        EXPECT_EQ(why, "this build has no CUDA support");
#endif
        EXPECT_EQ(autoConsole, "backend: CPU, 2 threads (CUDA unavailable: " + why + ")\n");
        EXPECT_FALSE(cudaOk);
        EXPECT_EQ(cudaError, "the CUDA backend cannot run: " + why);
        EXPECT_EQ(cudaConsole, "");
        return;
    }
    // A GPU: both take it, and its frames match the CPU's up to fast-math rounding.
    ASSERT_TRUE(cudaOk) << cudaError;
    EXPECT_EQ(autoConsole.rfind("backend: CUDA, ", 0), 0u) << autoConsole;
    ASSERT_EQ(cudaDriver.renderFrame(record), 0);
    ASSERT_EQ(cpuDriver.renderFrame(record), 0);
    EXPECT_EQ(cudaDriver.backend()->describe().rfind("CUDA, ", 0), 0u) << "no failure, no switch";
    double difference = 0;
    for (int i = 0; i < 64 * 32; ++i)
        for (int shift = 0; shift < 24; shift += 8)
            difference += std::abs(static_cast<int>((cudaDriver.frameBuffer()[i] >> shift) & 255) -
                                   static_cast<int>((cpuDriver.frameBuffer()[i] >> shift) & 255));
    EXPECT_LT(difference / (3 * 64 * 32), 2.0) << "mean byte difference";
}

TEST(BackendChoice, DemoEntryPointsUseTheProcessWideDriver) {
    const FrameData record = testRecord(32, 16);
    const std::vector<unsigned char>& table = samplerTable();
    testing::internal::CaptureStdout();
    ASSERT_EQ(gpuSetup(record, table.data(), static_cast<int>(table.size())), 0);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(gpuRenderFrame(record), 0);
    ASSERT_NE(frameBuffer(), nullptr);
    EXPECT_EQ(frameBuffer(), frameDriver().frameBuffer());
    EXPECT_EQ(frameDriver().passCounter(), 1);
}

TEST(GpuFailure, FailedFrameIsRenderedAgainOnTheCpuWithItsOwnPass) {
    const FrameData record = testRecord(32, 16);
    FrameDriver driver;
    setUp(driver, record, BackendChoice::Cpu, 2);
    std::string why;
    ASSERT_TRUE(driver.replaceBackend(std::make_unique<FlakyDevice>(2, false), why)) << why;
    testing::internal::CaptureStdout();
    for (int frame = 0; frame < 2; ++frame) ASSERT_EQ(driver.renderFrame(record), 0);
    EXPECT_EQ(frameOf(driver, 512), std::vector<uint32_t>(512, FlakyDevice::marker));
    ASSERT_EQ(driver.renderFrame(record), 0);  // the device fails here
    EXPECT_EQ(frameOf(driver, 512), renderOnCpu(record, 2, 1));
    ASSERT_EQ(driver.renderFrame(record), 0);
    EXPECT_EQ(frameOf(driver, 512), renderOnCpu(record, 3, 1));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "backend: CUDA failed (simulated launch failure); switching to CPU, 2 threads\n");
    EXPECT_EQ(driver.passCounter(), 4);

    // An allocation failure when the frame size changes is handled the same way.
    FrameDriver resized;
    setUp(resized, testRecord(8, 4), BackendChoice::Cpu, 1);
    ASSERT_TRUE(resized.replaceBackend(std::make_unique<FlakyDevice>(100, true), why)) << why;
    testing::internal::CaptureStdout();
    ASSERT_EQ(resized.renderFrame(record), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "backend: CUDA failed (simulated allocation failure); switching to CPU, 1 thread\n");
    EXPECT_EQ(frameOf(resized, 512), renderOnCpu(record, 0, 1));
}
