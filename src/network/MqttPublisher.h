#pragma once

#include "network/MqttBrokerUrl.h"
#include "network/MqttPublisherOptions.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

struct mosquitto;

namespace veska {

// Publishes readings to an MQTT broker without ever making its caller wait for the network.
//
// A network thread of its own runs libmosquitto's loop and does all network work:
// connecting, TLS, reconnecting with a doubling delay while the broker is away, and
// sending. The caller's thread only hands messages over (a copy and a wake-up). Topics
// under the prefix:
//   <prefix>/reading   every reading, QoS 0, not retained (dropped while disconnected)
//   <prefix>/state     the last reading, retained (sent again after a reconnect)
//   <prefix>/status    "online" retained on connect, "offline" as last will and on stop()
//   <prefix>/recorded  recorded rows, QoS 1; kept in a bounded queue while the broker is
//                      away (oldest dropped and counted) and sent when it returns. At most
//                      20 rows are handed to libmosquitto unacknowledged; it sends those
//                      again after a reconnect, so they count as queued, not dropped.
// plus the Home Assistant discovery config, re-announced whenever the unit changes.
//
// Create, call and destroy it on one thread (normally the UI thread). Its signals are
// emitted on that thread too, whatever thread the network event came from.
class MqttPublisher : public QObject {
    Q_OBJECT
public:
    enum class State { Disconnected, Connecting, Connected };
    Q_ENUM(State)

    struct Counters {
        std::uint64_t readingsPublished = 0;  // handed to the network thread while connected
        std::uint64_t readingsSkipped = 0;    // arrived while not connected
        std::uint64_t recordedPublished = 0;  // acknowledged by the broker
        std::size_t recordedQueued = 0;       // waiting or not yet acknowledged
        std::uint64_t recordedDropped = 0;    // pushed out of the full queue
    };

    explicit MqttPublisher(MqttPublisherOptions options, QObject* parent = nullptr);
    ~MqttPublisher() override;  // stops without waiting for the queue to drain

    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Checks the options and starts connecting in the background. Returns false, with
    // errorText(), only for faults the user must correct (bad URL, unreadable CA file,
    // wildcards in the prefix); an unreachable broker is retried, not an error here.
    bool start();
    // Waits up to drainTimeout for queued recorded rows to be acknowledged, publishes
    // "offline" (waiting for it within the same bound), disconnects and joins the network
    // thread. Safe to call twice, or without start(). Only a host name lookup in progress
    // on the network thread (dead name server) can make it wait longer.
    void stop(std::chrono::milliseconds drainTimeout = std::chrono::milliseconds(2000));

    // Every decoded reading (the JSON reading): to <prefix>/reading and, retained, to
    // <prefix>/state. Only queues.
    void publishReading(const QByteArray& json);
    // A recorded row as JSON: QoS 1 on <prefix>/recorded, queued while disconnected.
    void publishRecorded(const QByteArray& json);
    // The meter's current base unit ("V", "A", "Ω", "F", "Hz", "°C", "°F", "%"). The
    // discovery config is announced on the first call and again whenever it changes.
    void setUnit(const QString& baseUnit);

    State state() const { return m_state.load(); }
    QString lastError() const;  // why the last connection attempt failed or was lost
    QString errorText() const { return m_errorText; }  // why start() returned false
    Counters counters() const;

    QString topicPrefix() const { return m_topicPrefix; }
    QString clientId() const { return m_clientId; }
    QString brokerDisplayText() const { return m_url.displayText(); }
    QString discoveryTopic() const;  // empty when discovery is off

signals:
    void stateChanged(veska::MqttPublisher::State state, const QString& lastError);
    // The counters moved; several changes may arrive as one signal.
    void countersChanged();

private:
    static void onConnect(mosquitto* mosq, void* self, int rc);
    static void onDisconnect(mosquitto* mosq, void* self, int rc);
    static void onPublish(mosquitto* mosq, void* self, int mid);
    static void onLog(mosquitto* mosq, void* self, int level, const char* text);

    void handleConnect(int rc);
    void handleDisconnect(int rc);
    void handlePublished(int mid);
    void handleLog(int level, const char* text);

    void runNetwork(const QByteArray& host, int port);
    void reportFailure(int rc, int savedErrno);

    void setStateLocked(State state, const QString& error);  // m_mutex held
    void notifyCountersChanged();
    // Hands queued rows to libmosquitto while fewer than the in-flight window are
    // unacknowledged. m_mutex held.
    void sendQueuedLocked();
    void publishDiscoveryLocked();
    bool publishRaw(const QByteArray& topic, const QByteArray& payload, int qos, bool retain, int* mid = nullptr);

    MqttPublisherOptions m_options;
    MqttBrokerUrl m_url;
    QString m_clientId;
    QString m_topicPrefix;
    QString m_errorText;

    QByteArray m_readingTopic;
    QByteArray m_stateTopic;
    QByteArray m_statusTopic;
    QByteArray m_recordedTopic;
    QByteArray m_discoveryTopic;
    QString m_objectId;

    mosquitto* m_mosq = nullptr;
    bool m_libraryInitialised = false;
    bool m_stopped = false;
    std::thread m_network;  // connects, reconnects and runs libmosquitto's loop

    // Used by the network thread only (libmosquitto calls back on it).
    std::chrono::seconds m_retryDelay{1};
    bool m_wasConnected = false;
    bool m_attemptRefused = false;

    std::atomic<State> m_state{State::Disconnected};
    std::atomic<bool> m_countersSignalPending{false};
    std::atomic<std::uint64_t> m_readingsPublished{0};
    std::atomic<std::uint64_t> m_readingsSkipped{0};

    mutable std::mutex m_mutex;  // guards everything below
    std::condition_variable m_acknowledged;
    std::condition_variable m_wake;  // ends the network thread's wait between attempts
    std::deque<QByteArray> m_queue;           // recorded rows not yet handed over
    std::map<int, QByteArray> m_inFlight;     // handed over, awaiting the broker's ack
    std::uint64_t m_recordedPublished = 0;
    std::uint64_t m_recordedDropped = 0;
    QByteArray m_lastReading;
    QString m_unit;
    QString m_lastError;
    int m_offlineMid = -1;
    bool m_offlineWritten = false;
    bool m_stopRequested = false;  // the network thread disconnects and ends
    QString m_lastLibraryError;    // libmosquitto's last error log line (TLS reasons)
};

}  // namespace veska
