# kestova_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One Qt Test executable registered with CTest. Every test runs on the offscreen
# platform; its data root is a private temporary folder set up by KESTOVA_TEST_MAIN.
function(kestova_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE kestova_test_support Qt6::Test ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_MEDIA_BACKEND=ffmpeg"
    TIMEOUT 300)
endfunction()

# kestova_add_bench(<name> SOURCES <files...> LIBS <targets...>)
# A Google Benchmark executable; built by the normal build, never run as a test.
function(kestova_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE benchmark::benchmark ${ARG_LIBS})
endfunction()
