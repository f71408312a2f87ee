// UTF-8 as the registry's text calls take it.
#pragma once
#include <cstddef>

namespace pellix {

// True when the `length` bytes are well-formed UTF-8: no stray or missing continuation
// bytes, no overlong forms, no surrogates, nothing past U+10FFFF (what Windows refuses to
// convert).
bool IsUtf8(const char* text, size_t length);

}  // namespace pellix
