// The lane checks compiled for the AVX3 target.
#include "lane_checks-inl.h"

static_assert(HWY_TARGET == HWY_AVX3, "compiled with the AVX3 instruction set");

const LaneChecks laneChecksAvx3 = tpl::HWY_NAMESPACE::theseChecks();
