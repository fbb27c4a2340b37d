#pragma once
// How a headless job makes its outputs.
struct OutputChoices {
    bool preview = false;    // --preview: the lowest live setting, filtered
    bool overwrite = false;  // --overwrite: replace outputs that exist
};
