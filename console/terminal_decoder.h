// Turns the bytes a terminal sends for one key into the console's key identity.
// Pure: no reads, no clock; the reader says when no further byte came in time.
#ifndef TANDREL_CONSOLE_TERMINAL_DECODER_H
#define TANDREL_CONSOLE_TERMINAL_DECODER_H

#include <cstddef>

#include "extended_keys.h"

enum class decode_outcome {
    key,        // event holds the key; consumed is the length of its bytes
    need_more,  // the bytes so far begin a key; consumed is 0
    not_a_key,  // consumed bytes form no key the wait knows: skip them
};

struct decoded_key {
    decode_outcome outcome;
    std::size_t consumed;
    key_event event;
};

// Longest sequence a reader needs to hold. A longer one is known to be junk;
// the reader keeps its start and lets later bytes overwrite its last byte
// until the final byte comes.
constexpr std::size_t longest_sequence = 32;

// Decodes the key at the start of bytes[0, length). input_idle says that no
// further byte arrived within the short wait: a lone Escape is then the Escape
// key and a cut-off sequence is skipped, so need_more is never the answer.
decoded_key decode_terminal_key(const unsigned char* bytes, std::size_t length, bool input_idle);

#endif
