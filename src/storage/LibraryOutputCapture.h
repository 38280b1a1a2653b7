#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace veska {

// Keeps what a C library writes to standard output and standard error on its own (pxlib
// prints some findings straight to stderr, whatever error handler it was given) out of the
// program's streams while the object lives. Lines that the library is known to print are
// dropped; everything else caught meanwhile (another thread's message, say) is written to
// the stream it was meant for when the capture ends, so nothing is lost. Captures are
// serialised, one at a time per process (the descriptors are the process's). If the streams
// cannot be redirected, nothing is captured and everything prints as before.
class LibraryOutputCapture {
public:
    // `knownPrefixes`: beginnings of the library's own lines, which are dropped.
    explicit LibraryOutputCapture(std::vector<std::string> knownPrefixes);
    ~LibraryOutputCapture();
    LibraryOutputCapture(const LibraryOutputCapture&) = delete;
    LibraryOutputCapture& operator=(const LibraryOutputCapture&) = delete;

    // Ends the capture (the destructor does it otherwise) and gives the library's own lines
    // that were caught, without their line ends.
    std::vector<std::string> finish();

private:
    struct Redirect {
        int target = -1;  // 1 or 2
        int saved = -1;   // the original descriptor, kept aside
        int capture = -1; // the temporary file that catches the output
    };
    static void start(Redirect& r, int target);
    // Puts the stream back and gives what was caught.
    static std::string stop(Redirect& r);
    void sort(const std::string& caught, int target);

    std::unique_lock<std::mutex> m_lock;
    std::vector<std::string> m_knownPrefixes;
    std::vector<std::string> m_known;
    Redirect m_out;
    Redirect m_err;
    bool m_finished = false;
};

}  // namespace veska
