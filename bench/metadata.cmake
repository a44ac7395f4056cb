# Embedding a drawing into large pictures: ours against exiftool and a plain copy with fsync.
quorix_add_bench(bench_exif SOURCES bench_exif.cpp LIBS quorix_metadata Qt5::Gui)
