// JpegHuffmanTables.h: Huffman tables of MJPG camera frames, which often leave them out.
#pragma once

#include <QByteArray>

// Most UVC cameras send MJPG frames without a DHT segment: the decoder is expected to use the
// standard tables of the JPEG standard (Annex K.3), as Motion-JPEG prescribes. These helpers find
// the tables of a frame, add the standard ones to a frame that has none, and take them out (what
// the demo and test cameras do to send frames as a real camera does).
//
// Every function walks the marker segments from the start-of-image marker up to the first
// start-of-scan marker. Bytes that are not such a well-formed JPEG come back unchanged.
namespace JpegHuffmanTables {

// Whether the frame defines at least one Huffman table before its first scan.
bool hasTables(const QByteArray &jpeg);

// The frame with one DHT segment holding the four standard tables (luminance and chrominance,
// DC and AC) inserted before its first scan, when it defines no table of its own.
QByteArray withStandardTables(const QByteArray &jpeg);

// The frame without its DHT segments. Only right for frames encoded with the standard tables.
QByteArray withoutTables(const QByteArray &jpeg);

// The DHT segment (marker included) that withStandardTables() inserts.
QByteArray standardSegment();

} // namespace JpegHuffmanTables
