# Memory of the drawing's undo history over 10,000 steps, with the step limit and without it.
add_executable(bench_undo_memory bench_undo_memory.cpp)
target_link_libraries(bench_undo_memory PRIVATE quorix_canvas Qt5::Widgets)
set_target_properties(bench_undo_memory PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
