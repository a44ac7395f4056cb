// VideoFileWriter.h: one H.264 video file written with libavformat and libx264.
#pragma once

#include "recording/Nv12Convert.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

// The container follows the file name's extension (".mp4" MP4, ".avi" AVI). MP4 is written as
// fragments of at most half a second (a key frame at least every second), handed to the file and
// on towards the disk as they complete, so that a crash, a kill or a power cut keeps everything
// up to the last fragment playable; a closed file is synced to the disk. Time stamps are
// given in 100-ns units and placed on the grid of the nominal frame rate (the nearest frame
// time; a frame whose place is taken moves to the next one).
// Used by one thread at a time (the recorder's worker).
class VideoFileWriter
{
public:
    enum class Input {
        Nv12, // our own NV12 planes, filled through nv12Planes()
        Rgb32 // 32-bit images converted by libswscale; odd sizes padded to even
    };

    // Chosen with bench_record: with the 8x8 transform added (High profile) it needs about 0.6
    // of a core for 1920x1080 at 30 fps, leaving room for the camera's full-resolution MJPG decode
    // (about half a core) on two cores; "superfast" alone needs two cores for the same.
    static constexpr char kDefaultPreset[] = "ultrafast";

    struct Options
    {
        QString path;
        QSize size;
        int fps = 30;
        Input input = Input::Nv12;
        bool highDefinition = true; // BT.709 matrix, else BT.601
        QByteArray preset = kDefaultPreset;
        int threads = 2; // encoder threads; 0 lets the encoder decide
    };

    enum class OpenResult { Ok, Nv12Rejected, Failed };

    VideoFileWriter() = default;
    VideoFileWriter(const VideoFileWriter &) = delete;
    VideoFileWriter &operator=(const VideoFileWriter &) = delete;
    // Finishes an open file.
    ~VideoFileWriter();

    // Creates the file and begins writing. Nv12Rejected: the encoder refused NV12 input (a
    // warning is logged, nothing is reported); Failed: *error holds the user-visible text.
    OpenResult open(const Options &options, QString *error);
    bool isOpen() const { return m_format != nullptr; }
    Input input() const { return m_options.input; }
    // The size of the encoded pictures: the requested size, padded to even for RGB32 input.
    QSize encodedSize() const;

    // NV12 input: the planes of the next frame, to be filled and then sent with writeNv12().
    bool nv12Planes(Nv12::Planes *planes, QString *error);
    bool writeNv12(int64_t time100ns, QString *error);
    // RGB32 input: a Format_RGB32 image of the requested size.
    bool writeRgb32(const QImage &image, int64_t time100ns, QString *error);

    // Drains the encoder, writes the trailer and closes the file. Returns false and sets *warning
    // when any of it fails; the writer is closed either way.
    bool close(QString *warning);

private:
    bool openCodec(bool withProfile, int *code);
    bool encode(AVFrame *frame, int *code);
    // Flushes and closes the file (after syncing it to the disk when asked); returns the first
    // error met, 0 when none.
    int closeFile(bool sync);
    void release(bool removeFile);

    Options m_options;
    AVFormatContext *m_format = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVStream *m_stream = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    SwsContext *m_sws = nullptr;
    int m_fd = -1;          // the file, written through m_format->pb
    QImage m_padded;        // RGB32 input of odd size, padded to even
    int64_t m_lastPts = -1; // in frames of the nominal rate
};
