#pragma once

#include <QTemporaryDir>

#include <string>
#include <sys/types.h>

namespace veska::test {

// A real mosquitto broker for one test, on a free port of 127.0.0.1, with a generated
// configuration in its own temporary directory. Stopped (SIGTERM) on destruction.
class MosquittoBroker {
public:
    static constexpr const char* kBinary = "/usr/sbin/mosquitto";
    static bool available();

    // extraConfig is appended to the generated configuration (more listeners, persistence);
    // "BROKER_DIR" in it stands for the broker's temporary directory.
    explicit MosquittoBroker(std::string extraConfig = {});
    ~MosquittoBroker();

    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Starts the broker (on the same port again after stop()) and waits until it accepts
    // connections. False with a reason (and the broker's log) in *error.
    bool start(std::string* error);
    void stop();   // SIGTERM and wait: a clean shutdown (persistence is saved)
    void kill();   // SIGKILL and wait
    void pause();  // SIGSTOP: the broker hangs with its sockets open
    bool running() const { return m_pid > 0; }

    int port() const { return m_port; }
    std::string directory() const;
    std::string path(const std::string& name) const;  // a file in the broker's directory
    std::string log() const;

    static int freePort();

private:
    void signalAndWait(int signal);
    std::string withDirectory(std::string text) const;

    QTemporaryDir m_dir;
    std::string m_extraConfig;
    int m_port = 0;
    pid_t m_pid = -1;
};

}  // namespace veska::test
