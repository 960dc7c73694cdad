// Arbitrary terminal bytes through the decoder, window by window as the key
// wait would hand them over.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "console/terminal_decoder.h"

namespace {

void check(const unsigned char* window, std::size_t length, bool input_idle) {
    // An exact-size copy, so that a read past the end is caught.
    std::unique_ptr<unsigned char[]> bytes(new unsigned char[length]);
    std::memcpy(bytes.get(), window, length);
    const decoded_key decoded = decode_terminal_key(bytes.get(), length, input_idle);
    if (decoded.consumed > length) std::abort();
    switch (decoded.outcome) {
    case decode_outcome::need_more:
        if (input_idle || decoded.consumed != 0) std::abort();
        break;
    case decode_outcome::key:
        if (!decoded.event.key_down) std::abort();
        [[fallthrough]];
    case decode_outcome::not_a_key:
        if (decoded.consumed == 0) std::abort();
        break;
    }
    if (decoded.outcome == decode_outcome::key) {
        const int code = key_event_code(decoded.event);
        if (code < no_key_code || code > 255) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (std::size_t start = 0; start < size; ++start) {
        const std::size_t length = size - start < longest_sequence ? size - start : longest_sequence;
        check(data + start, length, false);
        check(data + start, length, true);
    }
    return 0;
}
