# One static library per store, so that only the stores that need a format library (pugixml,
# libgsf, SQLite, nlohmann_json) link it. A store folder's CMakeLists.txt calls
#   twinlark_add_store(NAME chrome_bookmarks SOURCES chrome_bookmarks.cpp LIBS nlohmann_json::nlohmann_json)
# and the stores layer (twinlark_stores) links the result, privately: a family's headers reach
# the catalogue alone, never the layers above it. Tests and benchmarks that read a family's
# headers take its include root themselves (twinlark_include_store_families); nothing
# central changes. Every CMakeLists.txt below stores/ is found by itself: a folder does not add
# its subfolders.

define_property(GLOBAL PROPERTY TWINLARK_STORE_SOURCES
  BRIEF_DOCS "Sources claimed by twinlark_add_store" FULL_DOCS "Absolute paths")
define_property(GLOBAL PROPERTY TWINLARK_STORE_FAMILIES
  BRIEF_DOCS "The store families' libraries" FULL_DOCS "Target names")

function(twinlark_add_store)
  cmake_parse_arguments(STORE "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT STORE_NAME OR NOT STORE_SOURCES)
    message(FATAL_ERROR "twinlark_add_store needs NAME and SOURCES")
  endif()
  set(target twinlark_store_${STORE_NAME})
  set(absolute)
  foreach(source ${STORE_SOURCES})
    get_filename_component(path ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND absolute ${path})
  endforeach()
  add_library(${target} STATIC ${absolute})
  # A store builds on the layers below it; its format libraries stay its own. It exports its own
  # folder alone: another family's headers are out of its reach, as is the catalogue above it.
  target_link_libraries(${target} PUBLIC twinlark_store_base PRIVATE ${STORE_LIBS})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  twinlark_include_root(${target} ${folder})
  # Whole: a family registers itself with a static object that nothing else refers to.
  target_link_libraries(twinlark_stores PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}>")
  set_property(GLOBAL APPEND PROPERTY TWINLARK_STORE_SOURCES ${absolute})
  set_property(GLOBAL APPEND PROPERTY TWINLARK_STORE_FAMILIES ${target})
  set_property(GLOBAL APPEND PROPERTY TWINLARK_LAYER_LIBRARIES ${target})
endfunction()

# For a test or benchmark that works a store directly: every family's include root. Their code
# comes whole through the catalogue, which it links; linking them once more, whole or not, would
# define everything twice or clash with the catalogue's whole link.
function(twinlark_include_store_families target scope)
  get_property(families GLOBAL PROPERTY TWINLARK_STORE_FAMILIES)
  foreach(family ${families})
    target_include_directories(${target} ${scope} $<TARGET_PROPERTY:${family},INTERFACE_INCLUDE_DIRECTORIES>)
  endforeach()
endfunction()

# Adds every store folder, then builds what no twinlark_add_store claimed into one library that
# links every format library, with a warning naming it, so that a store in the making still
# builds until its folder has its CMakeLists.txt.
function(twinlark_add_store_folders)
  file(GLOB_RECURSE lists CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/stores/*/CMakeLists.txt)
  list(SORT lists)
  foreach(list_file ${lists})
    get_filename_component(folder ${list_file} DIRECTORY)
    file(RELATIVE_PATH binary ${PROJECT_SOURCE_DIR} ${folder})
    add_subdirectory(${folder} ${PROJECT_BINARY_DIR}/${binary})
  endforeach()

  file(GLOB_RECURSE all CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/stores/*/*.cpp)
  list(FILTER all EXCLUDE REGEX "^${PROJECT_SOURCE_DIR}/stores/(base|catalog)/")
  get_property(claimed GLOBAL PROPERTY TWINLARK_STORE_SOURCES)
  set(unclaimed)
  foreach(source ${all})
    if(NOT source IN_LIST claimed)
      list(APPEND unclaimed ${source})
    endif()
  endforeach()
  if(unclaimed)
    list(TRANSFORM unclaimed REPLACE "^${PROJECT_SOURCE_DIR}/" "" OUTPUT_VARIABLE shown)
    message(AUTHOR_WARNING "Store sources that no twinlark_add_store names (built with every "
      "format library linked; give their folder a CMakeLists.txt): ${shown}")
    add_library(twinlark_store_unclaimed STATIC ${unclaimed})
    set(folders)
    foreach(source ${shown})
      get_filename_component(folder ${source} DIRECTORY)
      list(APPEND folders ${folder})
    endforeach()
    list(REMOVE_DUPLICATES folders)
    twinlark_include_root(twinlark_store_unclaimed ${folders})
    target_link_libraries(twinlark_store_unclaimed PUBLIC twinlark_store_base
      PRIVATE PkgConfig::PUGIXML PkgConfig::GSF PkgConfig::SQLITE3 nlohmann_json::nlohmann_json)
    target_link_libraries(twinlark_stores PRIVATE twinlark_store_unclaimed)
    set_property(GLOBAL APPEND PROPERTY TWINLARK_LAYER_LIBRARIES twinlark_store_unclaimed)
    set_property(GLOBAL APPEND PROPERTY TWINLARK_STORE_FAMILIES twinlark_store_unclaimed)
  endif()
endfunction()
