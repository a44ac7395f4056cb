# The camera's decode threads: a live-view program and a benchmark that replays camera packets.
add_executable(quorix_liveview ${CMAKE_CURRENT_LIST_DIR}/liveview.cpp)
target_link_libraries(quorix_liveview PRIVATE quorix_preview quorix_camera Qt5::Widgets)
set_target_properties(quorix_liveview PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
quorix_add_bench(bench_decode_replay SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_decode_replay.cpp
                 LIBS quorix_camera Qt5::Gui)
