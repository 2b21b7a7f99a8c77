# What vellora.exe, vellora-cli.exe and the installer show of themselves in
# Explorer, Task Manager and Settings: the program's icon, drawn from the
# vector icon at every size Windows asks for, and the version resource.
enable_language(RC)

# The committed renderings of data/icons/vellora.svg; the two largest are
# stored as PNG, as Windows reads them, the others as bitmaps.
find_program(VELLORA_ICOTOOL icotool REQUIRED)
set(VELLORA_WINDOWS_ICON ${CMAKE_BINARY_DIR}/vellora-icon.ico)
set(icon_pngs)
set(icon_arguments)
foreach(size ${VELLORA_ICON_SIZES})
  set(png ${PROJECT_SOURCE_DIR}/data/icons/${size}/vellora.png)
  list(APPEND icon_pngs ${png})
  if(size GREATER_EQUAL 128)
    list(APPEND icon_arguments --raw=${png})
  else()
    list(APPEND icon_arguments ${png})
  endif()
endforeach()
add_custom_command(OUTPUT ${VELLORA_WINDOWS_ICON}
  COMMAND ${VELLORA_ICOTOOL} -c -o ${VELLORA_WINDOWS_ICON} ${icon_arguments}
  DEPENDS ${icon_pngs}
  VERBATIM)
add_custom_target(vellora_icon ALL DEPENDS ${VELLORA_WINDOWS_ICON})

# version.rc: the version resource, which each program's .rc includes after
# defining VELLORA_FILE_DESCRIPTION and VELLORA_FILE_NAME.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE VELLORA_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
set(VELLORA_VERSION_NUMBERS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)

# Gives a program target its resource script, which finds the icon and
# version.rc in the build directory.
function(vellora_windows_resources target rc)
  target_sources(${target} PRIVATE ${rc})
  target_include_directories(${target} PRIVATE ${CMAKE_BINARY_DIR})
  add_dependencies(${target} vellora_icon)
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS
    ${VELLORA_WINDOWS_ICON} ${CMAKE_BINARY_DIR}/version.rc ${ARGN})
endfunction()
