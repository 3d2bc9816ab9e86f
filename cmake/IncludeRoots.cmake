# Includes are written from the repository root ("stores/opera/opera_notes.h", "common/byte_io.h"),
# but the root itself is no include directory: each library gets one of its own in the build tree,
# <build>/include/<library>/, holding a link to each header of its folder under the same path, and
# passes it on to what links it. A library thus reaches its own headers and those of the libraries
# it links, and an include of any other layer fails to compile.
#
#   twinlark_include_root(<target> [BASE <folder>] <folder or header>...)
#
# Folders and headers are named from BASE (the repository root unless given), as the includes name
# them. A subfolder with a CMakeLists.txt of its own is another library and stays out. The links
# are made at configure time; the header globs re-run at every build, so a new header is linked
# before anything can include it.
function(twinlark_include_root target)
  cmake_parse_arguments(ROOT "" "BASE" "" ${ARGN})
  if(NOT ROOT_BASE)
    set(ROOT_BASE ${PROJECT_SOURCE_DIR})
  endif()
  set(root ${PROJECT_BINARY_DIR}/include/${target})

  set(wanted)
  foreach(item ${ROOT_UNPARSED_ARGUMENTS})
    if(IS_DIRECTORY ${ROOT_BASE}/${item})
      file(GLOB_RECURSE headers CONFIGURE_DEPENDS RELATIVE ${ROOT_BASE} ${ROOT_BASE}/${item}/*.h)
      file(GLOB_RECURSE lists CONFIGURE_DEPENDS RELATIVE ${ROOT_BASE} ${ROOT_BASE}/${item}/*/CMakeLists.txt)
      foreach(list_file ${lists})
        get_filename_component(sub ${list_file} DIRECTORY)
        list(FILTER headers EXCLUDE REGEX "^${sub}/")
      endforeach()
      list(APPEND wanted ${headers})
    elseif(EXISTS ${ROOT_BASE}/${item})
      list(APPEND wanted ${item})
    else()
      message(FATAL_ERROR "twinlark_include_root(${target}): no ${ROOT_BASE}/${item}")
    endif()
  endforeach()

  # A header moved or removed since the last configure leaves a link behind; it must not stay
  # reachable.
  file(GLOB_RECURSE present LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
  foreach(link ${present})
    if(NOT link IN_LIST wanted)
      file(REMOVE ${root}/${link})
    endif()
  endforeach()
  foreach(header ${wanted})
    get_filename_component(folder ${root}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${ROOT_BASE}/${header} ${root}/${header} SYMBOLIC)
  endforeach()

  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
