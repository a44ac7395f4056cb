// fuzz_pixel_size.cpp: records a pixel size in arbitrary bytes and checks what the writer promises.
// A refused file must come back unchanged with a reason; an accepted one must stay of its kind
// with its comment readable, read back as the size written (within its format's rounding), and
// take a second, different size as well (or refuse it unchanged). The reader sees every input.
#include "metadata/ExifContainer.h"
#include "metadata/PixelSize.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// Sizes that reach whole and fractional rationals, the JFIF limit and values beyond every format.
const double PixelsPerMetre[] = {1e6, 2.5e6, 1234567.891, 4e7, 0.3, 1e14, 0};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    // The input is the whole file; its size picks the two pixel sizes, so that image files serve
    // as seeds unchanged.
    const std::size_t count = sizeof PixelsPerMetre / sizeof PixelsPerMetre[0];
    const double first = PixelsPerMetre[size % count];
    const double second = PixelsPerMetre[(size / count) % count];
    const std::string original(reinterpret_cast<const char *>(data), size);
    PixelSize::Reading reading;
    if (PixelSize::read(original.data(), original.size(), &reading))
        require(reading.xPerMetre > 0 && reading.yPerMetre > 0);
    std::string comment;
    const bool hadComment = ExifContainer::extractUserComment(original, &comment);

    std::string file = original;
    ExifContainer::EmbedError error;
    if (!PixelSize::embed(file, first, &error)) {
        require(file == original);
        require(error.reason != ExifContainer::EmbedError::None);
        return 0;
    }
    require(ExifContainer::kindOf(file.data(), file.size()) ==
            ExifContainer::kindOf(original.data(), original.size()));
    // A comment stays readable; its bytes may change only where a damaged file lets it overlap
    // the TIFF header or IFD0, which the edit rewrites. A PNG's pHYs never touches it. (A damaged
    // file whose offsets point past its end may gain a readable comment from the bytes appended.)
    std::string after;
    if (hadComment) {
        require(ExifContainer::extractUserComment(file, &after));
        require(after == comment ||
                ExifContainer::kindOf(file.data(), file.size()) != ExifContainer::PngImage);
    }

    // Read back: exact from rationals, rounded to whole pixels per metre in PNG and to whole dots
    // per centimetre in JFIF.
    if (first >= PixelSize::MinMeasuredPixelsPerMetre) {
        require(PixelSize::read(file.data(), file.size(), &reading));
        require(std::fabs(reading.xPerMetre - first) <= 50 + first * 1e-9);
    }

    const std::string once = file;
    if (!PixelSize::embed(file, second))
        require(file == once);
    return 0;
}
