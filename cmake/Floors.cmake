# The floors of the build. Each library is one folder (or, for the job's vocabulary and record,
# named headers of one folder) and sees only what it links: its headers are reached through
# links collected under build/floors/<target>/, never through the source root, so an include
# that runs upward names a file no include path holds and the build stops there.
set(MORVANE_FLOORS_DIR ${CMAKE_BINARY_DIR}/floors)

# morvane_floor(<target> SOURCES <files> EXPOSE <folder or header paths from the root> LINKS <targets>)
function(morvane_floor target)
  cmake_parse_arguments(ARG "" "" "SOURCES;EXPOSE;LINKS" ${ARGN})
  set(dir ${MORVANE_FLOORS_DIR}/${target})
  file(REMOVE_RECURSE ${dir})
  foreach(item ${ARG_EXPOSE})
    get_filename_component(parent ${dir}/${item} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${item} ${dir}/${item} SYMBOLIC)
  endforeach()
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${dir})
  if(ARG_LINKS)
    target_link_libraries(${target} PUBLIC ${ARG_LINKS})
  endif()
endfunction()
