#include "outputs/headless_demo.h"

DemoOptions HeadlessDemo::withoutMusic(DemoOptions options) {
    options.music = false;
    return options;
}

HeadlessDemo::HeadlessDemo(const DemoOptions& options)
    : demo_(withoutMusic(options), driver_),
      pixels_(static_cast<size_t>(options.pictureWidth) * options.pictureHeight, 0u),
      surface_(options.pictureWidth, options.pictureHeight, pixels_.data(), options.pictureWidth) {
    demo_.surface = &surface_;
}

bool HeadlessDemo::init(const OutputChoices& output, std::string& error) {
    if (!demo_.init(error)) return false;
    if (output.preview) usePreviewSetting(demo_);
    if (!output.rung.empty()) {
        const RenderSetting* rung = findRung(output.rung, demo_.options().reuse);
        if (!rung) {
            error = "--rung: '" + output.rung + "' is not one of the live show's rungs";
            return false;
        }
        useRung(demo_, *rung);
    }
    return true;
}
