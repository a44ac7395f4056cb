# Helpers shared by the module, test and benchmark folders.

# quorix_add_module(<name> SOURCES ... [LIBS ...])
# A static library quorix_<name> whose headers are included as "<name>/Header.h".
function(quorix_add_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(quorix_${name} STATIC ${ARG_SOURCES})
    target_include_directories(quorix_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(quorix_${name} PUBLIC ${ARG_LIBS})
endfunction()

# quorix_add_test(<name> SOURCES ... [LIBS ...] [XVFB] [OPENBOX] [TIMEOUT s] [ENV k=v ...])
# A Qt Test executable registered with CTest. GUI tests run on the offscreen platform;
# XVFB runs the test on a private Xvfb display (tools/with-xvfb.sh) for a real GL context or window
# behaviour; OPENBOX adds openbox as the window manager on that display (tools/with-openbox.sh).
function(quorix_add_test name)
    cmake_parse_arguments(ARG "XVFB;OPENBOX" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE quorix_test_support Qt5::Test ${ARG_LIBS})
    if(ARG_OPENBOX)
        set(ARG_XVFB ON)
        add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tools/with-xvfb.sh
                 ${PROJECT_SOURCE_DIR}/tools/with-openbox.sh $<TARGET_FILE:${name}>)
    elseif(ARG_XVFB)
        add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tools/with-xvfb.sh $<TARGET_FILE:${name}>)
        set(platform xcb)
    else()
        add_test(NAME ${name} COMMAND ${name})
        set(platform offscreen)
    endif()
    if(NOT ARG_TIMEOUT)
        # Only stops a hung test: on a loaded machine a test takes many times its usual time.
        set(ARG_TIMEOUT 900)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=${platform};QUORIX_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUORIX_BIN_DIR=${QUORIX_BIN_DIR};${ARG_ENV}")
endfunction()

# quorix_add_bench(<name> SOURCES ... [LIBS ...]): a Google Benchmark program, not run by CTest.
function(quorix_add_bench name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE benchmark::benchmark ${ARG_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
