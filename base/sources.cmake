# Helpers that need nothing but the C++ standard library: the command-line
# reader the program and engine-check share, number text, timing statistics.
template_folder(base
  SOURCES
    command_line.cpp
    decimal_text.cpp)
