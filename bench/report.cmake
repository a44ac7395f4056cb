# A Word and an Excel report of a measured demo-camera picture, to be checked by eye.
add_executable(report_demo ${CMAKE_CURRENT_LIST_DIR}/report_demo.cpp)
target_link_libraries(report_demo PRIVATE quorix_report quorix_panels quorix_canvas quorix_shapes
                      quorix_calibration quorix_camera Qt5::Widgets)
set_target_properties(report_demo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(report_demo report_templates)
