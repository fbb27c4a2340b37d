// The lane checks compiled for the AVX2 target.
#include "lane_checks-inl.h"

static_assert(HWY_TARGET == HWY_AVX2, "compiled with the AVX2 instruction set");

const LaneChecks laneChecksAvx2 = tpl::HWY_NAMESPACE::theseChecks();
