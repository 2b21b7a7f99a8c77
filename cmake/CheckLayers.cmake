# Fails when a file of the core includes what lies above it: a platform, a
# window toolkit, the command line or a system header. Each core folder may
# include only itself and the folders it builds on; system headers are the
# C++ standard library's alone (no ".h", no path, no Qt), and the compiler's
# own x86 instructions (immintrin.h), which call nothing.
#   cmake -DSOURCE_DIR=... -DSTAMP=... -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)
set(allowed_speed speed shellfiles)
set(allowed_shellfiles shellfiles)
set(allowed_media media shellfiles)
set(allowed_archive archive shellfiles)
set(allowed_window window speed shellfiles media archive)

set(problems "")
foreach(folder speed shellfiles media archive window)
  # Only the window's top level is core; its toolkits live in subfolders.
  file(GLOB sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source ${sources})
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
    file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
    foreach(line ${includes})
      if(line MATCHES "<([^>]*)>")
        set(header "${CMAKE_MATCH_1}")
        if((header MATCHES "[./]" OR header MATCHES "^Q") AND NOT header STREQUAL "immintrin.h")
          string(APPEND problems "  ${shown}: <${header}> is not a C++ standard header\n")
        endif()
      elseif(line MATCHES "\"([^\"]*)\"")
        set(header "${CMAKE_MATCH_1}")
        string(REGEX MATCH "^[^/]+" top "${header}")
        if(NOT header MATCHES "/" OR header MATCHES "^[^/]+/.+/")
          string(APPEND problems "  ${shown}: \"${header}\" lies outside the core\n")
        elseif(NOT top IN_LIST allowed_${folder})
          string(APPEND problems "  ${shown}: ${folder}/ does not build on ${top}/ (\"${header}\")\n")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "The core includes what lies above it:\n${problems}")
endif()
file(TOUCH "${STAMP}")
