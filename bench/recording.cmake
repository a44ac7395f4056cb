# Recording: conversion, encode throughput and real-time recording against the ffmpeg command line.
quorix_add_bench(bench_record SOURCES bench_record.cpp LIBS quorix_recording Qt5::Gui PkgConfig::FFMPEG)
# A 30-second recording of synthetic moving frames, to be checked with ffprobe and ffplay.
quorix_add_bench(bench_record_demo SOURCES bench_record_demo.cpp LIBS quorix_recording Qt5::Gui)
