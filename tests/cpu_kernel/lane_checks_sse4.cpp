// The lane checks compiled for the SSE4 target.
#include "lane_checks-inl.h"

static_assert(HWY_TARGET == HWY_SSE4, "compiled with the SSE4 instruction set");

const LaneChecks laneChecksSse4 = tpl::HWY_NAMESPACE::theseChecks();
