// PNG through zlib alone: the signature, one IHDR chunk, one IDAT chunk with
// the whole image deflated, and IEND. Every row is stored with filter type 0
// (none); each chunk carries its CRC-32 over type and data, as PNG requires.

#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "tools/png_writer.h"

namespace glintworks {

namespace {

void putBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 24));
    out.push_back(static_cast<std::uint8_t>(value >> 16));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

// Length, type, data, CRC-32 of type and data.
bool writeChunk(std::FILE* f, const char (&type)[5], const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> head;
    putBigEndian32(head, static_cast<std::uint32_t>(size));
    head.insert(head.end(), type, type + 4);
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, head.data() + 4, 4);
    if (size > 0) crc = crc32_z(crc, data, size);
    std::vector<std::uint8_t> tail;
    putBigEndian32(tail, static_cast<std::uint32_t>(crc));
    return std::fwrite(head.data(), 1, head.size(), f) == head.size() &&
           (size == 0 || std::fwrite(data, 1, size, f) == size) &&
           std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
}

}  // namespace

bool writePng(const BgraImage& image, std::FILE* f) {
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

    std::vector<std::uint8_t> header;
    putBigEndian32(header, static_cast<std::uint32_t>(image.width));
    putBigEndian32(header, static_cast<std::uint32_t>(image.height));
    header.push_back(8);  // bits per channel
    header.push_back(2);  // colour type: RGB
    header.push_back(0);  // compression: deflate
    header.push_back(0);  // filter method: adaptive (each row names its filter)
    header.push_back(0);  // no interlacing

    // Each row: its filter type byte (0), then red, green, blue per pixel.
    const std::size_t rowBytes = 1 + static_cast<std::size_t>(image.width) * 3;
    std::vector<std::uint8_t> raw;
    raw.reserve(rowBytes * static_cast<std::size_t>(image.height));
    for (std::int32_t y = 0; y < image.height; ++y) {
        raw.push_back(0);
        const auto row = rgbRow(image, y);
        raw.insert(raw.end(), row.begin(), row.end());
    }

    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_DEFAULT_COMPRESSION) !=
        Z_OK) {
        errno = ENOMEM;
        return false;
    }

    return std::fwrite(kSignature, 1, sizeof kSignature, f) == sizeof kSignature &&
           writeChunk(f, "IHDR", header.data(), header.size()) &&
           writeChunk(f, "IDAT", packed.data(), packedSize) && writeChunk(f, "IEND", nullptr, 0);
}

}  // namespace glintworks
