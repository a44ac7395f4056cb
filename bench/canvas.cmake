# The canvas and the measurement table side by side on a demo-camera picture, drawn by
# synthetic mouse input: a program to look at, not a benchmark.
add_executable(canvas_table_demo canvas_table_demo.cpp)
target_link_libraries(canvas_table_demo PRIVATE quorix_panels quorix_canvas quorix_camera quorix_settings_store
                      Qt5::Widgets)
set_target_properties(canvas_table_demo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
