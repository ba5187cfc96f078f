// Helpers of the fuzz targets: reading the input front to back, and checks
// that stop the run with a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A failed check is a finding: print it with `what` (anything a std::string
// can be made from) and crash, so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition, what)                                                               \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n%s\n", __FILE__, __LINE__, #condition, \
                         std::string(what).c_str());                                              \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

// Reads the input in order; past its end every read gives zeros, so any
// input is a complete one.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | static_cast<uint32_t>(U16()) << 16; }
    // Up to n bytes (fewer at the end of the input).
    std::string Bytes(size_t n) {
        if (n > size_ - pos_) n = size_ - pos_;
        std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }
    std::string Rest() { return Bytes(size_ - pos_); }
    size_t Left() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
