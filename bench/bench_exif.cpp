// Embedding a 100-shape drawing into a 50 MB TIFF and a 10 MB JPEG: our durable write against
// exiftool on the same files and against the floor, a plain copy of the file followed by fsync.
// The save of a calibrated picture, drawing and pixel size, is timed in one replace of the file
// and, for comparison, as two replaces (the drawing, then the pixel size). A picture an encoder
// has made in memory (a fused picture) is timed as it is written with its pixel size.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "metadata/ExifUserComment.h"

namespace {

// A drawing document of 100 shapes with two to five points each, as the canvas writes it.
std::string drawingText(char variant)
{
    const QJsonObject attribute{{"controlPoint", QJsonObject{{"radius", 6},
                                                             {"color", "#32ffffff"},
                                                             {"borderWidth", 2},
                                                             {"borderColor", "#ff00e5ff"}}},
                                {"imgElement", QJsonObject{{"width", 1},
                                                           {"color", "#ffff0000"},
                                                           {"lineStyle", 1},
                                                           {"fillColor", "#ffff0000"}}},
                                {"textLabel", QJsonObject{{"fontFamily", QString::fromUtf8("宋体")},
                                                          {"fontSize", 12},
                                                          {"bold", false},
                                                          {"italic", false},
                                                          {"underline", false},
                                                          {"color", "#ff1563ab"},
                                                          {"borderColor", "#00869df9"},
                                                          {"backgroundColor", "#00000000"}}}};
    QJsonArray shapes;
    for (int i = 0; i < 100; ++i) {
        QJsonArray points;
        for (int p = 0; p < 2 + i % 4; ++p)
            points.append(QJsonObject{{"x", 120.5 + i * 13 + p * 7}, {"y", 80.25 + i * 5 + p}});
        shapes.append(
            QJsonObject{{"type", 10 + i % 23}, {"attribute", attribute}, {"raw_points", points}});
    }
    const QJsonObject root{
        {"magic", QString("VELK_DRAW_DATA") + variant}, {"version", 2}, {"shapes", shapes}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toBase64().toStdString();
}

struct Files
{
    QTemporaryDir dir;
    QString tiff;
    QString jpeg;
    std::string texts[2];
    std::string encoded[2]; // the TIFF's and the JPEG's bytes, as an encoder hands them over
};

Files *files = nullptr;

// A noisy picture, so that the JPEG reaches its size through real image data.
QImage noise(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < width * 3; ++x)
            line[x] = uchar(random.bounded(256));
    }
    return image;
}

bool prepareFiles()
{
    files = new Files;
    files->tiff = files->dir.filePath("picture.tif");
    files->jpeg = files->dir.filePath("picture.jpg");
    files->texts[0] = drawingText('A');
    files->texts[1] = drawingText('B');
    // 4096 x 4096 RGB, uncompressed: 50 MB of strips.
    if (!noise(4096, 4096).save(files->tiff, "TIFF"))
        return false;
    if (!noise(3600, 3000).save(files->jpeg, "JPG", 90))
        return false;
    const QString paths[] = {files->tiff, files->jpeg};
    for (int i = 0; i < 2; ++i) {
        QFile file(paths[i]);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        files->encoded[i] = file.readAll().toStdString();
    }
    std::fprintf(stderr, "drawing: %zu bytes of Base64; TIFF %lld bytes; JPEG %lld bytes\n",
                 files->texts[0].size(), QFile(files->tiff).size(), QFile(files->jpeg).size());
    return true;
}

void embedOurs(benchmark::State &state, const QString *path)
{
    int i = 0;
    for (auto _ : state) {
        if (!ExifUserComment::writeUserComment(*path, files->texts[i++ % 2]))
            state.SkipWithError("writeUserComment failed");
    }
}

// A calibrated picture's save: the drawing and a pixel size of 0.4 um, in one replace.
void embedWithPixelSize(benchmark::State &state, const QString *path)
{
    int i = 0;
    for (auto _ : state) {
        if (!ExifUserComment::writeCommentAndPixelSize(*path, files->texts[i++ % 2], 2.5e6))
            state.SkipWithError("writeCommentAndPixelSize failed");
    }
}

// The same as two replaces of the file, one per change.
void embedThenPixelSize(benchmark::State &state, const QString *path)
{
    int i = 0;
    for (auto _ : state) {
        if (!ExifUserComment::writeUserComment(*path, files->texts[i++ % 2]) ||
            !ExifUserComment::writePixelSize(*path, 2.5e6))
            state.SkipWithError("writeUserComment or writePixelSize failed");
    }
}

// A picture encoded in memory, written to its file with a pixel size of 0.4 um in one replace.
void writeFromMemory(benchmark::State &state, const QString *path)
{
    const std::string &picture = files->encoded[path == &files->tiff ? 0 : 1];
    for (auto _ : state) {
        if (!ExifUserComment::writePicture(*path, picture.data(), picture.size(), nullptr, 2.5e6))
            state.SkipWithError("writePicture failed");
    }
}

void embedExiftool(benchmark::State &state, const QString *path)
{
    int i = 0;
    for (auto _ : state) {
        const QString text = QString::fromStdString(files->texts[i++ % 2]);
        QProcess process;
        process.start("exiftool", {"-q", "-overwrite_original", "-UserComment=" + text, *path});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            state.SkipWithError("exiftool failed");
    }
}

// The floor: the kernel copies the file, then the copy is made durable.
void copyAndFsync(benchmark::State &state, const QString *path)
{
    const std::string from = path->toStdString();
    const std::string to = from + ".copy";
    for (auto _ : state) {
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
        const int fd = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0)
            state.SkipWithError("copy failed");
        ::close(fd);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!prepareFiles()) {
        std::fprintf(stderr, "could not write the test pictures\n");
        return 1;
    }
    const struct
    {
        const char *name;
        const QString *path;
    } pictures[] = {{"tiff50MB", &files->tiff}, {"jpeg10MB", &files->jpeg}};
    const struct
    {
        const char *name;
        void (*function)(benchmark::State &, const QString *);
    } runs[] = {{"BM_EmbedOurs/", embedOurs},
                {"BM_EmbedWithPixelSize/", embedWithPixelSize},
                {"BM_EmbedThenPixelSizeTwoReplaces/", embedThenPixelSize},
                {"BM_WritePictureFromMemory/", writeFromMemory},
                {"BM_EmbedExiftool/", embedExiftool},
                {"BM_CopyAndFsyncFloor/", copyAndFsync}};
    // Interleaved per picture, so that all of them see the same state of the disk.
    for (const auto &picture : pictures) {
        for (const auto &run : runs) {
            benchmark::RegisterBenchmark((run.name + std::string(picture.name)).c_str(),
                                         run.function, picture.path)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->Iterations(4)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete files;
    return 0;
}
