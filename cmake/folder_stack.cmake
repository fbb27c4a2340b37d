# The source folders and the folders each stands on. A folder may include and
# link only itself and what it stands on, directly or through another; each is
# one library per samples-per-frame variant whose include path is a folder of
# links to exactly those folders, so an include of anything else does not
# compile. The live show and the outputs stand side by side: neither sees the
# other.
set(TPL_STACK
  "base:"
  "kernel:base"
  "cpu_kernel:kernel"
  "render:kernel,cpu_kernel"
  "scene:kernel"
  "anim:scene"
  "reconstruct:render"
  "demo:anim,render,reconstruct"
  "live:demo"
  "outputs:demo"
  "entry:live,outputs")
set(TPL_VARIANTS 32 64)

set(TPL_FOLDERS "")
foreach(entry ${TPL_STACK})
  string(REPLACE ":" ";" parts "${entry}")
  list(GET parts 0 folder)
  list(LENGTH parts n)
  set(on "")
  if(n GREATER 1)
    list(GET parts 1 on)
    string(REPLACE "," ";" on "${on}")
  endif()
  list(APPEND TPL_FOLDERS ${folder})
  set(TPL_ON_${folder} ${on})
endforeach()

# Every folder NAME stands on, directly or not, in TPL_STACK order.
function(template_folders_below NAME OUT)
  set(reached "")
  set(todo ${TPL_ON_${NAME}})
  while(todo)
    list(POP_FRONT todo folder)
    if(NOT folder IN_LIST reached)
      list(APPEND reached ${folder})
      list(APPEND todo ${TPL_ON_${folder}})
    endif()
  endwhile()
  set(ordered "")
  foreach(folder ${TPL_FOLDERS})
    if(folder IN_LIST reached)
      list(APPEND ordered ${folder})
    endif()
  endforeach()
  set(${OUT} ${ordered} PARENT_SCOPE)
endfunction()

function(template_variant_suffix SPP OUT)
  if(SPP EQUAL 32)
    set(${OUT} "" PARENT_SCOPE)
  else()
    set(${OUT} "-${SPP}" PARENT_SCOPE)
  endif()
endfunction()

# The include root of a folder: links to it and to every folder it stands on.
function(template_include_root NAME OUT)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${NAME})
  template_folders_below(${NAME} below)
  # Links a reused build folder kept from another layout go.
  file(GLOB present RELATIVE ${root} ${root}/*)
  foreach(link ${present})
    if(NOT link IN_LIST below AND NOT link STREQUAL NAME)
      file(REMOVE ${root}/${link})
    endif()
  endforeach()
  foreach(folder ${below} ${NAME})
    if(NOT EXISTS ${root}/${folder})
      file(MAKE_DIRECTORY ${root})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
  endforeach()
  set(${OUT} ${root} PARENT_SCOPE)
endfunction()

# template_folder(NAME [SOURCES f...] [CUDA_SOURCES f...] [LIBS l...] [DEFINES d...])
# makes tpl_NAME (and tpl_NAME-64) linked to the folders it stands on.
function(template_folder NAME)
  cmake_parse_arguments(F "" "" "SOURCES;CUDA_SOURCES;LIBS;DEFINES" ${ARGN})
  if(NOT NAME IN_LIST TPL_FOLDERS)
    message(FATAL_ERROR "${NAME} is not in the folder stack")
  endif()
  template_include_root(${NAME} root)
  list(TRANSFORM F_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  list(TRANSFORM F_CUDA_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
  if(NOT TPL_HAVE_CUDA)
    set(F_CUDA_SOURCES "")
  endif()
  foreach(spp ${TPL_VARIANTS})
    template_variant_suffix(${spp} suffix)
    set(target tpl_${NAME}${suffix})
    if(F_SOURCES OR F_CUDA_SOURCES)
      add_library(${target} STATIC ${F_SOURCES} ${F_CUDA_SOURCES})
      set(scope PUBLIC)
      target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${TPL_WARNINGS}>)
    else()
      add_library(${target} INTERFACE)
      set(scope INTERFACE)
    endif()
    target_include_directories(${target} ${scope} ${root})
    target_compile_definitions(${target} ${scope} TPL_SAMPLES_PER_FRAME=${spp} TEMPLATE_VERSION="${PROJECT_VERSION}")
    foreach(lower ${TPL_ON_${NAME}})
      target_link_libraries(${target} ${scope} tpl_${lower}${suffix})
    endforeach()
    target_link_libraries(${target} ${scope} ${F_LIBS})
    if(F_DEFINES)
      target_compile_definitions(${target} PRIVATE ${F_DEFINES})
    endif()
    if(F_CUDA_SOURCES)
      target_compile_definitions(${target} PUBLIC TPL_HAVE_CUDA=1)
      target_include_directories(${target} PUBLIC ${CUDAToolkit_INCLUDE_DIRS})
      set_target_properties(${target} PROPERTIES CUDA_RUNTIME_LIBRARY Static)
      target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CUDA>:--use_fast_math -lineinfo>)
    endif()
  endforeach()
endfunction()
# An executable of the project: links the given folder library of the variant
# and, in a CUDA build, the CUDA runtime the kernel needs.
function(template_executable TARGET SPP)
  cmake_parse_arguments(E "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${TARGET} ${E_SOURCES})
  target_link_libraries(${TARGET} PRIVATE ${E_LIBS})
  target_compile_options(${TARGET} PRIVATE ${TPL_WARNINGS})
  if(TPL_HAVE_CUDA)
    set_target_properties(${TARGET} PROPERTIES CUDA_RUNTIME_LIBRARY Static LINKER_LANGUAGE CUDA)
  endif()
endfunction()
