// fuzz_exif_write.cpp: embeds a comment into arbitrary bytes and checks what the writer promises.
// A refused file must come back unchanged, with a reason (and, for a full JPEG, its exact room);
// an accepted one must read back the comment exactly, and accept a second, different comment as
// well.
#include "metadata/ExifContainer.h"

#include <cstdlib>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Comment lengths that reach the inline, in-place and appended value paths.
const std::size_t CommentLengths[] = {0, 1, 3, 4, 5, 12, 100, 3000, 65476};

std::string comment(std::size_t length, char fill)
{
    std::string text(length, fill);
    for (std::size_t i = 0; i < length; i += 7)
        text[i] = char('0' + i % 10);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    // The input is the whole file; its size picks the two comment lengths, so that image files
    // serve as seeds unchanged.
    const std::size_t count = sizeof CommentLengths / sizeof CommentLengths[0];
    const std::string first = comment(CommentLengths[size % count], 'a');
    const std::string second = comment(CommentLengths[(size / count) % count], 'b');
    const std::string original(reinterpret_cast<const char *>(data), size);

    std::string file = original;
    ExifContainer::EmbedError error;
    if (!ExifContainer::embedUserComment(file, first, &error)) {
        require(file == original);
        require(error.reason != ExifContainer::EmbedError::None);
        if (error.reason == ExifContainer::EmbedError::JpegSegmentFull) {
            // The room a refused JPEG reports is exact: that much text fits, one byte more not.
            std::string fitting = original;
            require(error.room == 0 ||
                    ExifContainer::embedUserComment(fitting, comment(error.room, 'c')));
            fitting = original;
            require(!ExifContainer::embedUserComment(fitting, comment(error.room + 1, 'c')));
        }
        return 0;
    }
    std::string text;
    require(ExifContainer::extractUserComment(file, &text));
    require(text == first);

    if (ExifContainer::embedUserComment(file, second)) {
        require(ExifContainer::extractUserComment(file, &text));
        require(text == second);
    }
    return 0;
}
