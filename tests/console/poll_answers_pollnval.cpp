// Preloaded into the program: poll() answers for a terminal as macOS's poll()
// does, POLLNVAL at once, and works as usual on anything else.

// A fortified <poll.h> defines poll() inline, which this file replaces.
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <poll.h>
#include <unistd.h>

extern "C" int poll(pollfd* descriptors, nfds_t count, int timeout_ms) {
    int terminals = 0;
    for (nfds_t i = 0; i < count; ++i) {
        const bool terminal = isatty(descriptors[i].fd);
        descriptors[i].revents = terminal ? POLLNVAL : 0;
        terminals += terminal;
    }
    if (terminals > 0) return terminals;
    using poll_function = int (*)(pollfd*, nfds_t, int);
    const auto real_poll = reinterpret_cast<poll_function>(dlsym(RTLD_NEXT, "poll"));
    return real_poll(descriptors, count, timeout_ms);
}
