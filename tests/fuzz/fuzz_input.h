#pragma once
// Reads fuzzer input as a stream of little fields; past the end every read is 0.

#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return pos_ >= size_; }

    template <typename T>
    T read() {
        T value{};
        const std::size_t n = size_ - pos_ < sizeof(T) ? size_ - pos_ : sizeof(T);
        std::memcpy(&value, data_ + pos_, n);
        pos_ += n;
        return value;
    }

    // A value from lo to hi inclusive.
    std::int64_t range(std::int64_t lo, std::int64_t hi) {
        const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
        return lo + static_cast<std::int64_t>(read<std::uint32_t>() % span);
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};
