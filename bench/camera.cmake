# Camera benchmarks and the demo camera's snapshot tool.
quorix_add_bench(bench_camera_convert SOURCES bench_camera_convert.cpp
                 LIBS quorix_camera PkgConfig::FFMPEG)
quorix_add_bench(bench_camera_demo SOURCES bench_camera_demo.cpp LIBS quorix_camera Qt5::Gui)
add_executable(camera_demo_snapshot bench_camera_snapshot.cpp)
target_link_libraries(camera_demo_snapshot PRIVATE quorix_camera Qt5::Gui)
set_target_properties(camera_demo_snapshot PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
