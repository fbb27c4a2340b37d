template_folder(scene
  SOURCES
    world.cpp
    presets.cpp
    figures.cpp
    bounds.cpp
    sampler_table.cpp
    frame_driver.cpp
    cpu_backend.cpp
    # without CUDA it only says why there is no CUDA backend
    cuda_backend.cpp
  LIBS Threads::Threads)
