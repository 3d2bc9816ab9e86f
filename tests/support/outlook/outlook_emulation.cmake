# The emulated Outlook object model: built with the tests and the benchmarks, never linked into
# the shipped agent.
if(NOT TARGET twinlark_outlook_emulation)
  file(GLOB OUTLOOK_EMULATION_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  add_library(twinlark_outlook_emulation STATIC ${OUTLOOK_EMULATION_SOURCES})
  # Its own headers ("support/outlook/..."), not the rest of the test support.
  twinlark_include_root(twinlark_outlook_emulation BASE ${PROJECT_SOURCE_DIR}/tests support/outlook)
  target_link_libraries(twinlark_outlook_emulation PUBLIC twinlark_platform nlohmann_json::nlohmann_json)
endif()
