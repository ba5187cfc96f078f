// Texts in fixed buffers: copying and formatting that never pass the buffer.
#pragma once

#include <cstddef>
#include <cstdio>

// Copies a text into a fixed buffer, truncating to fit; always terminates.
template <size_t N>
void CopyText(char (&dest)[N], const char* src) {
    size_t i = 0;
    for (; i + 1 < N && src[i] != '\0'; ++i) dest[i] = src[i];
    dest[i] = '\0';
}

// Formats into a fixed buffer; false when the whole text did not fit (the
// buffer then holds a cut, terminated text that callers treat as unusable).
template <size_t N, typename... Args>
bool FormatText(char (&buffer)[N], const char* format, Args... args) {
    const int n = std::snprintf(buffer, N, format, args...);
    return n >= 0 && static_cast<size_t>(n) < N;
}
