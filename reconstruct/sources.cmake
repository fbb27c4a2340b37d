template_folder(reconstruct
  SOURCES
    clamped_light.cpp
    history_break.cpp
    history_range.cpp
    image_plane.cpp
    light_change.cpp
    motion.cpp
    reconstruction.cpp
    spatial_variance.cpp
    temporal_accumulation.cpp
    temporal_upsample.cpp
  LIBS Threads::Threads hwy::hwy)
