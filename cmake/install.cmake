# `cmake --install` and the Debian package (`cpack` in the build folder).
# The layout is fixed because the program finds its data from where it runs:
# <prefix>/bin/template looks in <prefix>/share/template/data.

foreach(spp ${TPL_VARIANTS})
  template_variant_suffix(${spp} suffix)
  install(TARGETS template${suffix} RUNTIME DESTINATION bin)
endforeach()

set(TPL_DATA_FILES
  coding.png greek.png greets.png logo.png quorvaling.png re.png realtime.png title.png
  track.mp3)
list(TRANSFORM TPL_DATA_FILES PREPEND ${PROJECT_SOURCE_DIR}/data/)
install(FILES ${TPL_DATA_FILES} DESTINATION share/template/data)
install(FILES ${PROJECT_SOURCE_DIR}/docs/template.1 DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME template)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-running real-time path-traced demo")
set(CPACK_PACKAGE_DESCRIPTION "For 106 seconds a path tracer renders a small scene of \
spheres and boxes afresh every frame, with title images and music. It renders on an NVIDIA GPU \
through CUDA when one is usable, else on every CPU core, and also writes single frames as PNG \
and the whole show as a video.")
set(CPACK_PACKAGE_CONTACT "Template developers <template@localhost>")
set(CPACK_STRIP_FILES ON)
# <name>_<version>_<arch>.deb
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The library packages come from the programs' own links (dpkg-shlibdeps);
# the CUDA runtime is linked in statically and needs none.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# --video and --capture's encoder.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS ffmpeg)
include(CPack)
