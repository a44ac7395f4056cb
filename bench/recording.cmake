# Recording: conversion, encode throughput and real-time recording against the ffmpeg command line.
quorix_add_bench(bench_record SOURCES bench_record.cpp LIBS quorix_recording Qt5::Gui PkgConfig::FFMPEG)
# A 30-second recording of the demo camera, to be checked with ffprobe and ffplay.
quorix_add_bench(bench_record_demo SOURCES bench_record_demo.cpp
                 LIBS quorix_recording quorix_camera Qt5::Gui)
