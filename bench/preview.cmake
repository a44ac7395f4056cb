# Decode cost per frame of the camera's MJPG and H.264 paths against the ffmpeg program.
quorix_add_bench(bench_decode SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_decode.cpp
                 LIBS quorix_camera Qt5::Gui)
