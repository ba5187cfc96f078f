# snkes_embed_resources(<target> <file.rc> [MODULE <file name>] [INTERFACE]
#                       [DEPENDS <file>...])
#
# Gives <target> the resources of <file.rc>, compiled by windres: the one
# source of dialogs, strings and icons for every build.
#
# On Windows the .rc is compiled into an object that is linked into the
# target, so the resources belong to the target's own module.
#
# On the host, x86_64-w64-mingw32-windres makes a .res of it, and an object
# that embeds exactly those bytes registers them with the host layer when the
# program starts: as the module <file name> (what LoadLibraryA finds, e.g.
# "SNKES48.CPL"), or without MODULE as the program's own resources
# (GetModuleHandleA(nullptr)).
#
# INTERFACE hands the object to every target that links <target> instead of
# to <target> itself; the object is linked in directly, so a static library
# cannot drop it. DEPENDS names the files the .rc includes (headers, icons),
# so that a change of them compiles it again.

if(NOT WIN32)
  find_program(SNKES_WINDRES x86_64-w64-mingw32-windres REQUIRED)
endif()

function(snkes_embed_resources target rc)
  cmake_parse_arguments(ARG "INTERFACE" "MODULE" "DEPENDS" ${ARGN})
  get_filename_component(rc ${rc} ABSOLUTE)
  get_filename_component(rc_dir ${rc} DIRECTORY)
  get_filename_component(rc_name ${rc} NAME_WE)
  set(deps)
  foreach(dep IN LISTS ARG_DEPENDS)
    get_filename_component(dep ${dep} ABSOLUTE)
    list(APPEND deps ${dep})
  endforeach()

  # One object per .rc, module and directory, shared by the targets there.
  string(MD5 key "${rc}|${ARG_MODULE}|${CMAKE_CURRENT_BINARY_DIR}")
  string(SUBSTRING ${key} 0 10 key)
  set(objects snkes_res_${rc_name}_${key})
  if(NOT TARGET ${objects})
    if(WIN32)
      add_library(${objects} OBJECT ${rc})
      target_include_directories(${objects} PRIVATE ${rc_dir})
      set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${deps}")
    else()
      set(res ${CMAKE_CURRENT_BINARY_DIR}/resources/${rc_name}_${key}.res)
      add_custom_command(OUTPUT ${res}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/resources
        COMMAND ${SNKES_WINDRES} -I ${rc_dir} -O res -i ${rc} -o ${res}
        DEPENDS ${rc} ${deps}
        COMMENT "windres ${rc_name}.rc"
        VERBATIM)
      set(SNKES_RC_FILE ${rc})
      set(SNKES_RES_FILE ${res})
      if(ARG_MODULE)
        set(SNKES_MODULE_ARG "\"${ARG_MODULE}\"")
        set(SNKES_MODULE_TEXT "the module ${ARG_MODULE}")
      else()
        set(SNKES_MODULE_ARG "nullptr")
        set(SNKES_MODULE_TEXT "the program's main module")
      endif()
      set(source ${CMAKE_CURRENT_BINARY_DIR}/resources/${rc_name}_${key}.cpp)
      configure_file(${CMAKE_SOURCE_DIR}/cmake/embedded_resources.cpp.in ${source} @ONLY)
      add_library(${objects} OBJECT ${source})
      target_include_directories(${objects} PRIVATE ${CMAKE_SOURCE_DIR}/src/platform/host)
      # The object holds the .res bytes: make it again when they change.
      set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${res})
    endif()
  endif()

  if(ARG_INTERFACE)
    target_sources(${target} INTERFACE $<TARGET_OBJECTS:${objects}>)
  else()
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:${objects}>)
  endif()
  add_dependencies(${target} ${objects})
endfunction()
