template_folder(anim
  SOURCES
    camera.cpp
    choreography.cpp
    show_state.cpp
    show_clock.cpp
    show_replay.cpp)
