# tools/gpu-check.sh with stand-ins for the GPU machine's tools.
list(APPEND TPL_ENGINE_TESTS_ONCE ${CMAKE_CURRENT_LIST_DIR}/gpu_check_test.cpp)
