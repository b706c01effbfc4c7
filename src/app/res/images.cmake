# Draws the resource script's bitmaps and icon at build time from the pixel
# art in make_images.py; only the script is kept in the repository.
#
#   include(src/app/res/images.cmake)
#   zarvo_generate_images(${CMAKE_CURRENT_BINARY_DIR}/res ZARVO_IMAGES)
#   add_executable(zarvo WIN32 ... src/app/res/zarvo.rc ${ZARVO_IMAGES})
#   target_include_directories(zarvo PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/res)
#   set_source_files_properties(src/app/res/zarvo.rc PROPERTIES
#     OBJECT_DEPENDS "${ZARVO_IMAGES}")
#
# Listing the images as sources makes the target build them; OBJECT_DEPENDS
# recompiles the .rc when they change, since CMake does not see BITMAP and
# ICON lines as dependencies. The custom command belongs to the directory
# that calls the function, so the target must be in that same directory.

# Kept here because inside the function CMAKE_CURRENT_LIST_DIR is the caller's.
set(ZARVO_IMAGES_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/make_images.py")

function(zarvo_generate_images OUT_DIR OUT_VAR)
  if(Python3_EXECUTABLE)
    set(python "${Python3_EXECUTABLE}")
  else()
    # The cross toolchain searches only the target root for libraries, but
    # programs come from the host, so this finds the build machine's Python.
    find_program(ZARVO_PYTHON3 NAMES python3 python REQUIRED)
    set(python "${ZARVO_PYTHON3}")
  endif()

  get_filename_component(out_dir "${OUT_DIR}" ABSOLUTE
                         BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")

  # The script names its own outputs, so adding an image means editing the
  # script alone. Re-run configure when it changes so the list stays true.
  execute_process(
    COMMAND "${python}" "${ZARVO_IMAGES_SCRIPT}" --list
    OUTPUT_VARIABLE names
    RESULT_VARIABLE result
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT result EQUAL 0 OR names STREQUAL "")
    message(FATAL_ERROR "${ZARVO_IMAGES_SCRIPT} --list failed: ${result}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${ZARVO_IMAGES_SCRIPT}")
  string(REPLACE "\r" "" names "${names}")
  string(REPLACE "\n" ";" names "${names}")

  set(outputs "")
  foreach(name IN LISTS names)
    list(APPEND outputs "${out_dir}/${name}")
  endforeach()

  add_custom_command(
    OUTPUT ${outputs}
    COMMAND "${python}" "${ZARVO_IMAGES_SCRIPT}" "${out_dir}"
    DEPENDS "${ZARVO_IMAGES_SCRIPT}"
    COMMENT "Drawing tool bar, icon and check box images"
    VERBATIM)

  set(${OUT_VAR} ${outputs} PARENT_SCOPE)
endfunction()
