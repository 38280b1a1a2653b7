#pragma once

#include <QString>

#include <cstdio>
#include <string>
#include <string_view>

namespace veska {

// Text gathered for one batch of packets (everything one read brought in) and written out
// with one system call at the batch's end, instead of a write and a flush per line. The
// buffer keeps its capacity, so a run of batches allocates nothing once it has grown.
class BatchedOutput {
public:
    explicit BatchedOutput(std::FILE* file) : m_file(file) {}

    void append(std::string_view text) { m_buffer.append(text); }
    void append(char c) { m_buffer.push_back(c); }
    // As UTF-8.
    void append(const QString& text);

    bool empty() const { return m_buffer.empty(); }
    std::size_t size() const { return m_buffer.size(); }
    // Drops what is gathered (the output failed; nothing more goes there).
    void discard() { m_buffer.clear(); }

    // Writes everything gathered and empties the buffer. False with errno set when the
    // output failed; the text is dropped either way.
    bool flush();

private:
    std::FILE* m_file;
    std::string m_buffer;
};

}  // namespace veska
