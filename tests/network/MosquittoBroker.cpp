#include "MosquittoBroker.h"

#include <QFile>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace veska::test {

namespace {

bool canConnect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool MosquittoBroker::available() { return ::access(kBinary, X_OK) == 0; }

int MosquittoBroker::freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

MosquittoBroker::MosquittoBroker(std::string extraConfig) : m_extraConfig(std::move(extraConfig)) {}

MosquittoBroker::~MosquittoBroker() { stop(); }

std::string MosquittoBroker::directory() const { return m_dir.path().toStdString(); }

std::string MosquittoBroker::path(const std::string& name) const { return directory() + "/" + name; }

std::string MosquittoBroker::log() const {
    std::ifstream in(path("broker.log"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool MosquittoBroker::start(std::string* error) {
    if (m_pid > 0) return true;
    if (!m_dir.isValid()) {
        *error = "cannot create a temporary directory";
        return false;
    }
    if (m_port == 0) m_port = freePort();
    {
        std::ofstream config(path("mosquitto.conf"));
        // Started as root, mosquitto would switch to its own user and then fail to read
        // the test's private directory.
        if (::getuid() == 0) config << "user root\n";
        config << "per_listener_settings false\n"
               << "allow_anonymous true\n"
               << "persistence false\n"
               << "log_dest stderr\n"
               << "log_type error\nlog_type warning\nlog_type notice\n"
               << "listener " << m_port << " 127.0.0.1\n"
               << withDirectory(m_extraConfig) << "\n";
    }
    const std::string logPath = path("broker.log");
    const std::string configPath = path("mosquitto.conf");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::string binary = kBinary;
    std::string dashC = "-c";
    char* argv[] = {binary.data(), dashC.data(), const_cast<char*>(configPath.c_str()), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, kBinary, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        *error = std::string("cannot start mosquitto: ") + std::strerror(rc);
        return false;
    }
    m_pid = pid;
    for (int i = 0; i < 500; ++i) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            *error = "mosquitto exited at start; its log:\n" + log();
            return false;
        }
        if (canConnect(m_port)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    *error = "mosquitto did not accept connections within 5 s; its log:\n" + log();
    kill();
    return false;
}

std::string MosquittoBroker::withDirectory(std::string text) const {
    const std::string placeholder = "BROKER_DIR";
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at)) {
        text.replace(at, placeholder.size(), directory());
        at += directory().size();
    }
    return text;
}

void MosquittoBroker::stop() { signalAndWait(SIGTERM); }

void MosquittoBroker::kill() { signalAndWait(SIGKILL); }

void MosquittoBroker::pause() {
    if (m_pid > 0) ::kill(m_pid, SIGSTOP);
}

void MosquittoBroker::signalAndWait(int signal) {
    if (m_pid <= 0) return;
    ::kill(m_pid, signal);
    ::kill(m_pid, SIGCONT);  // a paused broker handles SIGTERM only once it runs again
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

}  // namespace veska::test
