# Main window start-up against a minimal Qt window (run under Xvfb), and the canvas with many
# shapes on a 4K picture.
add_executable(bench_startup bench_startup.cpp)
target_link_libraries(bench_startup PRIVATE quorix_mainwindow quorix_resources quorix_app Qt5::Widgets)
set_target_properties(bench_startup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_executable(bench_canvas_shapes bench_canvas_shapes.cpp)
target_link_libraries(bench_canvas_shapes PRIVATE quorix_canvas Qt5::Widgets)
set_target_properties(bench_canvas_shapes PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
