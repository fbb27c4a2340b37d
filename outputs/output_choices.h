#pragma once
// How a headless job makes its outputs.
#include <string>

struct OutputChoices {
    bool preview = false;    // --preview: the lowest live setting, filtered
    bool overwrite = false;  // --overwrite: replace outputs that exist
    std::string rung;        // --rung S@WxH: the live show's look at that rung; empty: none
};
