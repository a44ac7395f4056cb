#include "camera/FrameConversion.h"

#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace FrameConversion {

namespace {

// Chroma products of BT.601 limited range, indexed by the raw byte.
struct ChromaTables
{
    qint32 ug[256]; // -100 (u - 128)
    qint32 ub[256]; //  516 (u - 128)
    qint32 vr[256]; //  409 (v - 128)
    qint32 vg[256]; // -208 (v - 128)
};

// Built once per process by the first caller and never rebuilt.
const ChromaTables &chromaTables()
{
    static const ChromaTables tables = [] {
        ChromaTables t;
        for (int i = 0; i < 256; ++i) {
            t.ug[i] = -100 * (i - 128);
            t.ub[i] = 516 * (i - 128);
            t.vr[i] = 409 * (i - 128);
            t.vg[i] = -208 * (i - 128);
        }
        return t;
    }();
    return tables;
}

inline quint32 clampByte(int v)
{
    return quint32(std::min(255, std::max(0, v)));
}

// A channel is clamp((298 C + 128 + P) >> 8) with C = Y - 16 and P the chroma product from the
// tables. Since 298 C = 256 C + 42 C, splitting P into hi = P >> 8 and lo = P & 255 gives exactly
// C + hi + ((42 C + 128 + lo) >> 8), where every term fits in 16 bits: eight pixels per 128-bit
// register instead of four, and the clamp is the saturating pack to bytes.
inline quint32 channel(int c, int hi, int lo)
{
    return clampByte(c + hi + ((42 * c + 128 + lo) >> 8));
}

// The chroma products of one output row, one R, G, B triple per chroma sample (two pixels).
// The table lookups stay scalar: vector gathers from the tables cost more than they save, and
// 4:2:0 rows share a line, so its lookups are done once for two rows.
class ChromaLine
{
public:
    // The products live in a buffer of the thread, kept between frames: converting a frame
    // allocates nothing but its picture.
    explicit ChromaLine(int width)
        : m_samples((width + 1) / 2)
        , m_paddedSamples((m_samples + 7) & ~7)
    {
        thread_local std::vector<qint32> buffer;
        buffer.assign(3 * size_t(m_paddedSamples), 0);
        m_products = buffer.data();
    }
    ChromaLine(const ChromaLine &) = delete;
    ChromaLine &operator=(const ChromaLine &) = delete;

    int samples() const { return m_samples; }

    // Sample k from its U and V through the tables.
    void set(int k, int u, int v, const ChromaTables &t)
    {
        setProducts(k, t.vr[v], t.ug[u] + t.vg[v], t.ub[u]);
    }
    // Samples from `first` to `end` - 1 through the tables; `uvAt(k, &u, &v)` reads the bytes of
    // sample k.
    template <typename UvAt>
    void setRange(int first, int end, UvAt uvAt, const ChromaTables &t)
    {
        qint32 *__restrict r = m_products;
        qint32 *__restrict g = r + m_paddedSamples;
        qint32 *__restrict b = g + m_paddedSamples;
        for (int k = first; k < end; ++k) {
            int u, v;
            uvAt(k, &u, &v);
            r[k] = t.vr[v];
            g[k] = t.ug[u] + t.vg[v];
            b[k] = t.ub[u];
        }
    }
    void setProducts(int k, qint32 r, qint32 g, qint32 b)
    {
        m_products[k] = r;
        m_products[m_paddedSamples + k] = g;
        m_products[2 * m_paddedSamples + k] = b;
    }

    // Channel 0 is red, 1 green, 2 blue; entries are per sample, padded with zeros to whole
    // blocks of eight samples.
    const qint32 *products(int ch) const { return m_products + size_t(ch) * m_paddedSamples; }

private:
    int m_samples;
    int m_paddedSamples;
    qint32 *m_products; // 3 channels of m_paddedSamples entries
};

// Pixels converted per step of the vector row kernel, and the first chroma sample of a row of
// `width` pixels that the kernel leaves to the per-pixel tail.
constexpr int kBlockPixels = 16;
inline int firstTailSample(int width)
{
#if defined(__SSE2__)
    return width / kBlockPixels * (kBlockPixels / 2);
#else
    Q_UNUSED(width)
    return 0;
#endif
}

// The chroma products of a row taken from a filled line.
struct LineProducts
{
    const ChromaLine &line;

#if defined(__SSE2__)
    // The eight samples from k on, as two vectors of four per channel.
    void block(int k, __m128i (&p)[3][2]) const
    {
        for (int ch = 0; ch < 3; ++ch) {
            const auto *src = reinterpret_cast<const __m128i *>(line.products(ch) + k);
            p[ch][0] = _mm_loadu_si128(src);
            p[ch][1] = _mm_loadu_si128(src + 1);
        }
    }
#endif
    void sample(int k, int *r, int *g, int *b) const
    {
        *r = line.products(0)[k];
        *g = line.products(1)[k];
        *b = line.products(2)[k];
    }
};

// YUY2 in colour: the kernel looks the products of a block up straight from its packed U,V bytes
// and keeps them in registers, which saves writing a line and reading it back; the line holds
// only the samples from firstTailSample() on.
struct Yuy2Products
{
    const uchar *row;
    const ChromaTables &t;
    const ChromaLine &line;

#if defined(__SSE2__)
    void block(int k, __m128i (&p)[3][2]) const
    {
        for (int half = 0; half < 2; ++half) {
            int u[4], v[4];
            for (int s = 0; s < 4; ++s) {
                const quint32 w = qFromLittleEndian<quint32>(row + 4 * (k + 4 * half + s));
                u[s] = int((w >> 8) & 0xFF); // Y0 U Y1 V
                v[s] = int(w >> 24);
            }
            p[0][half] = _mm_set_epi32(t.vr[v[3]], t.vr[v[2]], t.vr[v[1]], t.vr[v[0]]);
            p[1][half] = _mm_set_epi32(t.ug[u[3]] + t.vg[v[3]], t.ug[u[2]] + t.vg[v[2]],
                                       t.ug[u[1]] + t.vg[v[1]], t.ug[u[0]] + t.vg[v[0]]);
            p[2][half] = _mm_set_epi32(t.ub[u[3]], t.ub[u[2]], t.ub[u[1]], t.ub[u[0]]);
        }
    }
#endif
    void sample(int k, int *r, int *g, int *b) const
    {
        LineProducts{line}.sample(k, r, g, b);
    }
};

// One output row from its luma (every `LumaStep`-th byte: 2 in YUY2, 1 in a luma plane) and the
// chroma products of its samples.
template <int LumaStep, typename Products>
void lumaRow(const uchar *__restrict luma, int width, const Products &products,
             quint32 *__restrict out)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128(), sixteen = _mm_set1_epi16(16);
    const __m128i k42 = _mm_set1_epi16(42), k128 = _mm_set1_epi16(128);
    const __m128i lowByte32 = _mm_set1_epi32(0xFF), alpha = _mm_set1_epi8(char(0xFF));
    for (; x + kBlockPixels <= width; x += kBlockPixels) {
        __m128i y0, y1;
        if (LumaStep == 2) {
            const __m128i lowByte16 = _mm_set1_epi16(0xFF);
            const auto *p = reinterpret_cast<const __m128i *>(luma + 2 * x);
            y0 = _mm_and_si128(_mm_loadu_si128(p), lowByte16);
            y1 = _mm_and_si128(_mm_loadu_si128(p + 1), lowByte16);
        } else {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(luma + x));
            y0 = _mm_unpacklo_epi8(bytes, zero);
            y1 = _mm_unpackhi_epi8(bytes, zero);
        }
        __m128i prod[3][2];
        products.block(x / 2, prod);
        const __m128i c0 = _mm_sub_epi16(y0, sixteen), c1 = _mm_sub_epi16(y1, sixteen);
        const __m128i m0 = _mm_add_epi16(_mm_mullo_epi16(c0, k42), k128);
        const __m128i m1 = _mm_add_epi16(_mm_mullo_epi16(c1, k42), k128);
        // The eight products of the block split into hi and lo, each repeated for the two
        // pixels of its sample, then the sixteen channel values saturated to bytes.
        const auto channel16 = [&](const __m128i(&pair)[2]) {
            const __m128i a = pair[0], b = pair[1];
            const __m128i hi = _mm_packs_epi32(_mm_srai_epi32(a, 8), _mm_srai_epi32(b, 8));
            const __m128i lo =
                _mm_packs_epi32(_mm_and_si128(a, lowByte32), _mm_and_si128(b, lowByte32));
            const __m128i v0 =
                _mm_add_epi16(_mm_add_epi16(c0, _mm_unpacklo_epi16(hi, hi)),
                              _mm_srai_epi16(_mm_add_epi16(m0, _mm_unpacklo_epi16(lo, lo)), 8));
            const __m128i v1 =
                _mm_add_epi16(_mm_add_epi16(c1, _mm_unpackhi_epi16(hi, hi)),
                              _mm_srai_epi16(_mm_add_epi16(m1, _mm_unpackhi_epi16(lo, lo)), 8));
            return _mm_packus_epi16(v0, v1);
        };
        const __m128i r = channel16(prod[0]), g = channel16(prod[1]), b = channel16(prod[2]);
        // Memory order of a 0xFFRRGGBB pixel is B, G, R, A.
        const __m128i bgLow = _mm_unpacklo_epi8(b, g), bgHigh = _mm_unpackhi_epi8(b, g);
        const __m128i raLow = _mm_unpacklo_epi8(r, alpha), raHigh = _mm_unpackhi_epi8(r, alpha);
        auto *dst = reinterpret_cast<__m128i *>(out + x);
        _mm_storeu_si128(dst, _mm_unpacklo_epi16(bgLow, raLow));
        _mm_storeu_si128(dst + 1, _mm_unpackhi_epi16(bgLow, raLow));
        _mm_storeu_si128(dst + 2, _mm_unpacklo_epi16(bgHigh, raHigh));
        _mm_storeu_si128(dst + 3, _mm_unpackhi_epi16(bgHigh, raHigh));
    }
#endif
    for (; x < width; ++x) {
        const int c = luma[LumaStep * x] - 16;
        int r, g, b;
        products.sample(x / 2, &r, &g, &b);
        out[x] = 0xFF000000u | (channel(c, r >> 8, r & 0xFF) << 16) |
                 (channel(c, g >> 8, g & 0xFF) << 8) | channel(c, b >> 8, b & 0xFF);
    }
}

// A fresh picture for the result. When `out` already holds a picture of this size and format
// that nobody else shares, its memory is reused: nobody can see the difference, and a decode
// thread converting frame after frame saves an allocation and its page faults per frame.
bool makeImage(int width, int height, QImage *out, QImage *image)
{
    if (!out || width < 1 || height < 1)
        return false;
    if (out->width() == width && out->height() == height && out->format() == QImage::Format_RGB32 &&
        out->isDetached()) {
        std::swap(*image, *out);
        return true;
    }
    *image = QImage(width, height, QImage::Format_RGB32);
    return !image->isNull();
}

std::atomic<int> g_conversionThreads{0}; // 0: the cores of the machine, at most 8

// Worker threads that run the slices of a frame. They are started on first use and kept for the
// life of the process, blocked on a condition variable between frames: an idle camera costs
// nothing, and a frame pays one wake-up per helper instead of starting and joining a thread.
// One frame at a time: a caller that finds the pool busy (a second camera, the capture callback
// while a decoder converts) converts its frame alone instead of waiting.
class SlicePool
{
public:
    static SlicePool &instance()
    {
        static SlicePool pool;
        return pool;
    }

    ~SlicePool()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        for (std::thread &worker : m_workers)
            worker.join();
    }

    // Runs body(s) for every slice s in [0, slices): the last on the calling thread, the others
    // on workers. Returns once every slice is done.
    void run(int slices, const std::function<void(int)> &body)
    {
        std::unique_lock<std::mutex> use(m_use, std::try_to_lock);
        const int helpers = use.owns_lock() ? startWorkers(slices - 1) : 0;
        if (helpers == 0) {
            for (int s = 0; s < slices; ++s)
                body(s);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_body = &body;
            m_helperSlices = helpers;
            m_pending = helpers;
            ++m_generation;
        }
        m_wake.notify_all();
        for (int s = helpers; s < slices; ++s) // what no worker took, here
            body(s);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait(lock, [this] { return m_pending == 0; });
        m_body = nullptr;
    }

private:
    // Makes sure `wanted` workers exist; returns how many do (fewer when the system has no
    // thread to spare). Called with m_use held.
    int startWorkers(int wanted)
    {
        while (int(m_workers.size()) < wanted) {
            const int index = int(m_workers.size());
            try {
                m_workers.emplace_back([this, index] { work(index); });
            } catch (const std::system_error &) {
                break;
            }
        }
        return std::min(wanted, int(m_workers.size()));
    }

    void work(int index)
    {
        quint64 seen = 0;
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
            if (m_stop)
                return;
            seen = m_generation;
            if (index >= m_helperSlices)
                continue;
            const std::function<void(int)> *body = m_body;
            lock.unlock();
            (*body)(index);
            lock.lock();
            if (--m_pending == 0)
                m_done.notify_one();
        }
    }

    std::mutex m_use;   // held by the caller whose frame the workers run
    std::mutex m_mutex; // guards the fields below
    std::condition_variable m_wake, m_done;
    const std::function<void(int)> *m_body = nullptr;
    int m_helperSlices = 0; // workers 0 .. m_helperSlices - 1 take slices 0 .. m_helperSlices - 1
    int m_pending = 0;      // helper slices not finished yet
    quint64 m_generation = 0;
    bool m_stop = false;
    std::vector<std::thread> m_workers;
};

// Runs body(first, last) over the rows [0, height) in slices of whole row pairs, one slice per
// thread, the last on the calling thread.
template <typename Body>
void forEachSlice(int height, const Body &body)
{
    constexpr int kMinRowsPerSlice = 32; // below this a thread costs more than it saves
    const int slices = std::clamp(std::min(conversionThreads(), height / kMinRowsPerSlice), 1, 8);
    if (slices == 1) {
        body(0, height);
        return;
    }
    // Slices start on even rows, so the two rows of a 4:2:0 chroma row stay in one slice.
    const auto start = [&](int s) { return s == slices ? height : (height * s / slices) & ~1; };
    SlicePool::instance().run(slices, [&](int s) { body(start(s), start(s + 1)); });
}

// Converts every row. Row y takes its chroma from chroma row `chromaRowOf(y)`, which
// `fill(chromaRow, line)` puts into a line; each slice keeps its last line, so the two rows of a
// 4:2:0 chroma row share one fill. `convertRow(y, line, out)` then writes the row. Rows are
// independent, so any split gives the same pixels.
template <typename ChromaRowOf, typename Fill, typename ConvertRow>
void convertRows(QImage &image, int width, int height, ChromaRowOf chromaRowOf, Fill fill,
                 ConvertRow convertRow)
{
    chromaTables(); // built before any helper starts
    uchar *bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    forEachSlice(height, [&](int first, int last) {
        ChromaLine line(width);
        int lineRow = -1;
        for (int y = first; y < last; ++y) {
            const int chromaRow = chromaRowOf(y);
            if (chromaRow != lineRow) {
                fill(chromaRow, line);
                lineRow = chromaRow;
            }
            convertRow(y, line, reinterpret_cast<quint32 *>(bits + y * stride));
        }
    });
}

// Where the U and V bytes of one chroma row are, and the distance between samples.
struct ChromaRow
{
    const uchar *u;
    const uchar *v;
    int step;
};

// Monochrome: every channel is clamp((298 C + 128) >> 8), the split form without chroma.
void fillGrey(ChromaLine &line)
{
    for (int k = 0; k < line.samples(); ++k)
        line.setProducts(k, 0, 0, 0);
}

// A frame too small to carry chroma (a one-pixel axis in 4:2:0) converts as neutral chroma.
void fillNeutral(ChromaLine &line, const ChromaTables &t)
{
    for (int k = 0; k < line.samples(); ++k)
        line.set(k, 128, 128, t);
}

} // namespace

void setConversionThreads(int threads)
{
    g_conversionThreads = std::max(0, threads);
}

int conversionThreads()
{
    const int set = g_conversionThreads;
    if (set > 0)
        return std::min(set, 8);
    static const int cores = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
    return cores;
}

QString subtypeName(quint32 code)
{
    switch (code) {
    case kFourccYuyv:
        return QStringLiteral("YUY2");
    case kFourccMjpg:
    case kFourccJpeg:
        return QStringLiteral("MJPG");
    case kFourccH264:
        return QStringLiteral("H264");
    case kFourccHevc:
        return QStringLiteral("H265");
    case kFourccNv12:
        return QStringLiteral("NV12");
    case kFourccBgr24:
        return QStringLiteral("RGB24");
    case kFourccXrgb32:
    case kFourccBgr32:
        return QStringLiteral("RGB32");
    default:
        break;
    }
    QString name;
    for (int i = 0; i < 4; ++i) {
        const char c = char((code >> (8 * i)) & 0xFF);
        if (c == 0)
            break;
        name += QLatin1Char(c);
    }
    return name;
}

bool isH264(quint32 code)
{
    return code == kFourccH264;
}

bool isH265(quint32 code)
{
    return code == kFourccHevc;
}

bool isMjpg(quint32 code)
{
    return code == kFourccMjpg || code == kFourccJpeg;
}

bool isYuy2(quint32 code)
{
    return code == kFourccYuyv;
}

bool isRgb24(quint32 code)
{
    return code == kFourccBgr24;
}

bool convertYuy2ToImage(const uchar *data, int width, int height, QImage *out, bool colour)
{
    QImage image;
    if (!data || !makeImage(width, height, out, &image))
        return false;
    const qsizetype rowBytes = qsizetype(width) * 2;
    if (!colour) {
        convertRows(
            image, width, height, [](int) { return 0; },
            [](int, ChromaLine &line) { fillGrey(line); },
            [&](int y, const ChromaLine &line, quint32 *outRow) {
                lumaRow<2>(data + y * rowBytes, width, LineProducts{line}, outRow);
            });
        *out = image;
        return true;
    }
    const ChromaTables &t = chromaTables();
    const int pairs = width / 2, firstTail = firstTailSample(width);
    convertRows(
        image, width, height, [](int y) { return y; },
        [&](int y, ChromaLine &line) {
            const uchar *row = data + y * rowBytes;
            line.setRange(
                firstTail, pairs,
                [row](int k, int *u, int *v) {
                    const quint32 w = qFromLittleEndian<quint32>(row + 4 * k); // Y0 U Y1 V
                    *u = int((w >> 8) & 0xFF);
                    *v = int(w >> 24);
                },
                t);
            if (width & 1) {
                // The last pair of an odd width has no V byte in the row: the previous pair's V.
                const int x = width - 1;
                line.set(pairs, row[2 * x + 1], x > 0 ? row[2 * x - 1] : 128, t);
            }
        },
        [&](int y, const ChromaLine &line, quint32 *outRow) {
            const uchar *row = data + y * rowBytes;
            lumaRow<2>(row, width, Yuy2Products{row, t, line}, outRow);
        });
    *out = image;
    return true;
}

namespace {

// NV12 and I420 differ only in where a chroma row's U and V bytes are: `chromaRowOf(row)` gives
// the first U, the first V and the distance between samples. Odd sizes reuse the last whole
// chroma row and column.
template <typename ChromaRowAt>
void convert420(const uchar *data, int width, int height, QImage &image, bool colour,
                ChromaRowAt chromaRowAt)
{
    const auto convertRow = [&](int y, const ChromaLine &line, quint32 *outRow) {
        lumaRow<1>(data + qsizetype(y) * width, width, LineProducts{line}, outRow);
    };
    if (!colour) {
        convertRows(
            image, width, height, [](int) { return 0; },
            [](int, ChromaLine &line) { fillGrey(line); }, convertRow);
        return;
    }
    const ChromaTables &t = chromaTables();
    const int pairs = width / 2, lastChromaRow = height / 2 - 1;
    if (pairs == 0 || lastChromaRow < 0) {
        convertRows(
            image, width, height, [](int) { return 0; },
            [&](int, ChromaLine &line) { fillNeutral(line, t); }, convertRow);
        return;
    }
    convertRows(
        image, width, height, [&](int y) { return std::min(y / 2, lastChromaRow); },
        [&](int chromaRow, ChromaLine &line) {
            const ChromaRow c = chromaRowAt(chromaRow);
            line.setRange(
                0, pairs,
                [c](int k, int *u, int *v) {
                    *u = c.u[k * c.step];
                    *v = c.v[k * c.step];
                },
                t);
            if (width & 1)
                line.set(pairs, c.u[(pairs - 1) * c.step], c.v[(pairs - 1) * c.step], t);
        },
        convertRow);
}

} // namespace

bool convertNv12ToImage(const uchar *data, int width, int height, QImage *out, bool colour)
{
    QImage image;
    if (!data || !makeImage(width, height, out, &image))
        return false;
    const uchar *chroma = data + qsizetype(width) * height;
    convert420(data, width, height, image, colour, [&](int row) {
        const uchar *c = chroma + qsizetype(row) * width;
        return ChromaRow{c, c + 1, 2};
    });
    *out = image;
    return true;
}

bool convertI420ToImage(const uchar *data, int width, int height, QImage *out, bool colour)
{
    QImage image;
    if (!data || !makeImage(width, height, out, &image))
        return false;
    const qsizetype lumaSize = qsizetype(width) * height;
    const uchar *uPlane = data + lumaSize;
    const uchar *vPlane = data + lumaSize + lumaSize / 4;
    const int chromaStride = width / 2;
    convert420(data, width, height, image, colour, [&](int row) {
        const qsizetype offset = qsizetype(row) * chromaStride;
        return ChromaRow{uPlane + offset, vPlane + offset, 1};
    });
    *out = image;
    return true;
}

bool convertYuy2ToImageSerial(const uchar *data, int width, int height, QImage *out, bool colour)
{
    const int rows = height < 0 ? -height : height;
    if (!data || !out || width < 1 || rows < 1)
        return false;
    QImage image(width, rows, QImage::Format_RGB32);
    if (image.isNull())
        return false;
    const qsizetype rowBytes = qsizetype(width) * 2;
    for (int y = 0; y < rows; ++y) {
        const uchar *row = data + y * rowBytes;
        auto *dst = reinterpret_cast<quint32 *>(image.scanLine(height < 0 ? rows - 1 - y : y));
        for (int x = 0; x < width; ++x) {
            const qsizetype pair = qsizetype(x / 2) * 4;
            const int c = 298 * (row[2 * x] - 16) + 128;
            if (!colour) {
                const quint32 grey = clampByte(c >> 8);
                dst[x] = 0xFF000000u | (grey << 16) | (grey << 8) | grey;
                continue;
            }
            const int d = row[pair + 1] - 128;
            const int e =
                (pair + 3 < rowBytes ? row[pair + 3] : (pair > 0 ? row[pair - 1] : 128)) - 128;
            const quint32 r = clampByte((c + 409 * e) >> 8);
            const quint32 g = clampByte((c - 100 * d - 208 * e) >> 8);
            const quint32 b = clampByte((c + 516 * d) >> 8);
            dst[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    *out = image;
    return true;
}

QImage convertRgb24ToImage(const uchar *data, long length, int width, int height)
{
    const int rows = height < 0 ? -height : height;
    if (!data || width < 1 || rows < 1 || length < qint64(width) * 3 * rows)
        return QImage();
    QImage wrapped(data, width, rows, width * 3, QImage::Format_RGB888);
    if (height < 0)
        return wrapped.mirrored(false, true).rgbSwapped();
    return wrapped.rgbSwapped(); // rgbSwapped makes a deep copy
}

QImage toSoftwareMonochrome(const QImage &image)
{
    QImage grey = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < grey.height(); ++y) {
        auto *px = reinterpret_cast<quint32 *>(grey.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            const quint32 p = px[x];
            const quint32 v = (11 * qRed(p) + 16 * qGreen(p) + 5 * qBlue(p)) >> 5;
            px[x] = (p & 0xFF000000u) | (v << 16) | (v << 8) | v;
        }
    }
    return grey;
}

QImage applyMirror(const QImage &image, bool horizontal, bool vertical)
{
    if (!horizontal && !vertical)
        return image;
    return image.mirrored(horizontal, vertical);
}

QImage scaleForPreview(const QImage &image)
{
    if (image.width() > 1280 || image.height() > 720)
        return image.scaled(1280, 720, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace FrameConversion
