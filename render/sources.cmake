template_folder(render
  SOURCES
    sampler_table.cpp
    frame_driver.cpp
    cpu_backend.cpp
    denoise.cpp
    filter_setup.cpp
    filter_taps.cpp
    row_pool.cpp
    upscale.cpp
    # without CUDA it only says why there is no CUDA backend
    cuda_backend.cpp
  LIBS Threads::Threads hwy::hwy)
# The filter's loops compare floats; without assuming traps the compiler may
# turn those into vector selects. Its results are the same either way.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/denoise.cpp ${CMAKE_CURRENT_LIST_DIR}/upscale.cpp
  PROPERTIES COMPILE_OPTIONS -fno-trapping-math)
