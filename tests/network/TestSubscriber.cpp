#include "TestSubscriber.h"

#include <mosquitto.h>

#include <algorithm>

namespace veska::test {

TestSubscriber::TestSubscriber(int port, std::vector<std::string> topics, std::string clientId, bool cleanSession)
    : m_port(port), m_topics(std::move(topics)) {
    mosquitto_lib_init();
    m_mosq = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), cleanSession, this);
    mosquitto_connect_callback_set(m_mosq, &TestSubscriber::onConnect);
    mosquitto_subscribe_callback_set(m_mosq, &TestSubscriber::onSubscribe);
    mosquitto_message_callback_set(m_mosq, &TestSubscriber::onMessage);
    mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
}

TestSubscriber::~TestSubscriber() {
    if (m_mosq) {
        mosquitto_disconnect(m_mosq);
        if (m_loopRunning) mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    mosquitto_lib_cleanup();
}

bool TestSubscriber::connect(std::string* error) {
    const int rc = mosquitto_connect(m_mosq, "127.0.0.1", m_port, 60);
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = std::string("subscriber cannot connect: ") + mosquitto_strerror(rc);
        return false;
    }
    m_loopRunning = mosquitto_loop_start(m_mosq) == MOSQ_ERR_SUCCESS;
    std::unique_lock lock(m_mutex);
    const int wanted = static_cast<int>(m_topics.size());
    if (!m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_subscriptionsAcknowledged >= wanted; })) {
        *error = "subscriber: subscriptions not acknowledged";
        return false;
    }
    return true;
}

std::vector<TestSubscriber::Message> TestSubscriber::messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<std::string> TestSubscriber::payloadsOn(const std::string& topic) const {
    std::vector<std::string> payloads;
    std::lock_guard lock(m_mutex);
    for (const Message& message : m_messages) {
        if (message.topic == topic) payloads.push_back(message.payload);
    }
    return payloads;
}

bool TestSubscriber::waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                             std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return done(m_messages); });
}

bool TestSubscriber::waitForCount(const std::string& topic, std::size_t count,
                                  std::chrono::milliseconds timeout) const {
    return waitFor(
        [&](const std::vector<Message>& messages) {
            return static_cast<std::size_t>(std::count_if(messages.begin(), messages.end(), [&](const Message& m) {
                       return m.topic == topic;
                   })) >= count;
        },
        timeout);
}

void TestSubscriber::onConnect(mosquitto* mosq, void* self, int rc) {
    if (rc != 0) return;
    auto* subscriber = static_cast<TestSubscriber*>(self);
    for (const std::string& topic : subscriber->m_topics) mosquitto_subscribe(mosq, nullptr, topic.c_str(), 1);
}

void TestSubscriber::onSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* subscriber = static_cast<TestSubscriber*>(self);
    {
        std::lock_guard lock(subscriber->m_mutex);
        ++subscriber->m_subscriptionsAcknowledged;
    }
    subscriber->m_changed.notify_all();
}

void TestSubscriber::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* subscriber = static_cast<TestSubscriber*>(self);
    Message copy;
    copy.topic = message->topic;
    copy.payload.assign(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen));
    copy.retained = message->retain;
    {
        std::lock_guard lock(subscriber->m_mutex);
        subscriber->m_messages.push_back(std::move(copy));
    }
    subscriber->m_changed.notify_all();
}

}  // namespace veska::test
