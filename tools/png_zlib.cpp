// PNG through zlib alone (Windows): the signature, one IHDR chunk, IDAT chunks
// of the rows deflated as they come, and IEND. Every row is stored with filter
// type 0 (none); each chunk carries its CRC-32 over type and data, as PNG
// requires.

#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "tools/png_writer.h"

namespace glintworks {

namespace {

void putBigEndian32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

// Length, type, data, CRC-32 of type and data.
bool writeChunk(std::FILE* f, const char (&type)[5], const std::uint8_t* data, std::size_t size) {
    std::uint8_t head[8];
    putBigEndian32(head, static_cast<std::uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, head + 4, 4);
    if (size > 0) crc = crc32_z(crc, data, size);
    std::uint8_t tail[4];
    putBigEndian32(tail, static_cast<std::uint32_t>(crc));
    return std::fwrite(head, 1, sizeof head, f) == sizeof head &&
           (size == 0 || std::fwrite(data, 1, size, f) == size) && std::fwrite(tail, 1, sizeof tail, f) == sizeof tail;
}

// Deflates `size` bytes into IDAT chunks of up to sizeof out bytes each.
bool deflateInto(z_stream& stream, std::FILE* f, const std::uint8_t* data, std::size_t size, int flush) {
    std::uint8_t out[65536];
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    for (;;) {
        stream.next_out = out;
        stream.avail_out = sizeof out;
        const int result = deflate(&stream, flush);
        if (result == Z_STREAM_ERROR) return false;
        const std::size_t produced = sizeof out - stream.avail_out;
        if (produced > 0 && !writeChunk(f, "IDAT", out, produced)) return false;
        if (flush == Z_FINISH ? result == Z_STREAM_END : stream.avail_out != 0) return true;
    }
}

}  // namespace

bool writePng(const BgraImage& image, std::FILE* f, std::uint8_t* row, bool& outOfMemory) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    outOfMemory = false;

    std::uint8_t header[13];
    putBigEndian32(header, static_cast<std::uint32_t>(image.width));
    putBigEndian32(header + 4, static_cast<std::uint32_t>(image.height));
    header[8] = 8;   // bits per channel
    header[9] = 2;   // colour type: RGB
    header[10] = 0;  // compression: deflate
    header[11] = 0;  // filter method: adaptive (each row names its filter)
    header[12] = 0;  // no interlacing
    if (std::fwrite(kSignature, 1, sizeof kSignature, f) != sizeof kSignature ||
        !writeChunk(f, "IHDR", header, sizeof header))
        return false;

    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) {
        outOfMemory = true;
        return false;
    }
    // Each row: its filter type byte (0), then red, green, blue per pixel.
    bool ok = true;
    const std::size_t rowBytes = 1 + static_cast<std::size_t>(image.width) * 3;
    for (std::int32_t y = 0; y < image.height && ok; ++y) {
        row[0] = 0;
        rgbRow(image, y, row + 1);
        ok = deflateInto(stream, f, row, rowBytes, Z_NO_FLUSH);
    }
    ok = ok && deflateInto(stream, f, nullptr, 0, Z_FINISH);
    deflateEnd(&stream);
    return ok && writeChunk(f, "IEND", nullptr, 0);
}

}  // namespace glintworks
