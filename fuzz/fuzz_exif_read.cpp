// fuzz_exif_read.cpp: feeds arbitrary bytes to the UserComment reader as a whole file.
#include "metadata/ExifContainer.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    const std::string file(reinterpret_cast<const char *>(data), size);
    std::string text;
    ExifContainer::kindOf(file.data(), file.size());
    ExifContainer::extractUserComment(file, &text);
    // The same bytes as a bare TIFF structure, as found inside JPEG and PNG files.
    ExifContainer::userComment(file.data(), file.size(), &text);
    return 0;
}
