#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace veska::test {

// An MQTT subscriber on its own libmosquitto loop thread that records every message.
// It subscribes again on each (re)connect, so it survives a broker restart; with
// cleanSession false the broker keeps its messages while it is away.
class TestSubscriber {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retained = false;
    };

    TestSubscriber(int port, std::vector<std::string> topics, std::string clientId = {}, bool cleanSession = true);
    ~TestSubscriber();

    TestSubscriber(const TestSubscriber&) = delete;
    TestSubscriber& operator=(const TestSubscriber&) = delete;

    // Connects and waits until the subscriptions are acknowledged.
    bool connect(std::string* error);

    std::vector<Message> messages() const;
    std::vector<std::string> payloadsOn(const std::string& topic) const;
    // Waits until the predicate holds over the messages so far.
    bool waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    bool waitForCount(const std::string& topic, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    static void onConnect(mosquitto* mosq, void* self, int rc);
    static void onSubscribe(mosquitto* mosq, void* self, int mid, int count, const int* granted);
    static void onMessage(mosquitto* mosq, void* self, const mosquitto_message* message);

    int m_port;
    std::vector<std::string> m_topics;
    mosquitto* m_mosq = nullptr;
    bool m_loopRunning = false;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Message> m_messages;
    int m_subscriptionsAcknowledged = 0;
};

}  // namespace veska::test
