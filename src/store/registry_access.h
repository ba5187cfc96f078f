// The five registry operations between the applet's logic and the registry.
// Each opens (or creates) the key it needs, does one thing and closes the key
// again; no handle survives a call. Reads and writes report 1 or 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win.h"

int WriteTextValue(HKEY root, const char* key_path, const char* value_name, const char* text);
int WriteNumberValue(HKEY root, const char* key_path, const char* value_name, uint32_t number);

// Reads a value of any type into `buffer` of `capacity` bytes and makes it a
// terminated text. A value that is missing or does not fit together with its
// terminator is a failed read, and the buffer keeps what it held.
int ReadTextValue(HKEY root, const char* key_path, const char* value_name, char* buffer, size_t capacity);

template <size_t N>
int ReadTextValue(HKEY root, const char* key_path, const char* value_name, char (&buffer)[N]) {
    return ReadTextValue(root, key_path, value_name, buffer, N);
}

// Reads a number stored as REG_DWORD (or any binary form: its first four
// bytes) or as decimal text. A missing value, or one longer than 32 bytes,
// is a failed read and leaves the number alone.
int ReadNumberValue(HKEY root, const char* key_path, const char* value_name, uint32_t* number);

// The decimal value of a stored text: leading white space, one optional
// sign, digits up to the first non-digit. `length` bounds the text.
uint32_t DecimalTextValue(const char* text, size_t length);

// Deletes a key with everything below it; returns a Windows error code.
LONG DeleteKeyTree(HKEY parent, const char* key_path);
