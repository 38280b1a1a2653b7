#include "network/MqttPublisher.h"

#include "network/HomeAssistantDiscovery.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace veska {

namespace {

// Unacknowledged recorded rows handed to libmosquitto at once; the rest wait in our own
// bounded queue, where the oldest can still be dropped.
constexpr std::size_t kInFlightWindow = 20;

QString systemErrorText(int error) {
    char buffer[256] = {};
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

// libmosquitto logs why TLS failed ("OpenSSL Error[0]: error:0A000086:SSL
// routines::certificate verify failed", "Error: host name verification failed.").
QString tlsReason(QString logLine) {
    const qsizetype colons = logLine.lastIndexOf(QStringLiteral("::"));
    if (colons >= 0) logLine = logLine.mid(colons + 2);
    if (logLine.startsWith(QStringLiteral("Error: "))) logLine = logLine.mid(7);
    while (logLine.endsWith('.')) logLine.chop(1);
    return logLine.trimmed();
}

QString connectErrorText(int rc, int savedErrno, const QString& libraryError) {
    switch (rc) {
    case MOSQ_ERR_ERRNO:
        if (savedErrno == EPROTO && !libraryError.isEmpty()) break;  // a TLS failure underneath
        return QStringLiteral("Cannot reach the broker: %1.").arg(systemErrorText(savedErrno));
    case MOSQ_ERR_EAI:
        return QStringLiteral("The broker's host name could not be resolved.");
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("The connection to the broker was lost.");
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("The broker stopped answering.");
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        break;
    default:
        return QStringLiteral("Connection to the broker failed: %1").arg(QString::fromUtf8(mosquitto_strerror(rc)));
    }
    const QString reason = tlsReason(libraryError);
    return QStringLiteral("The TLS connection to the broker failed%1: check the CA file and the broker's "
                          "certificate.")
        .arg(reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
}

QString hostName() {
    QString name = QSysInfo::machineHostName();
    return name.isEmpty() ? QStringLiteral("localhost") : name;
}

}  // namespace

MqttPublisher::MqttPublisher(MqttPublisherOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {
    m_clientId = m_options.clientId.isEmpty()
                     ? QStringLiteral("veska-%1-%2").arg(hostName()).arg(QCoreApplication::applicationPid())
                     : m_options.clientId;
    m_topicPrefix = m_options.topicPrefix.isEmpty() ? QStringLiteral("veska/") + hostName() : m_options.topicPrefix;
    while (m_topicPrefix.endsWith('/')) m_topicPrefix.chop(1);
    m_readingTopic = (m_topicPrefix + QStringLiteral("/reading")).toUtf8();
    m_stateTopic = (m_topicPrefix + QStringLiteral("/state")).toUtf8();
    m_statusTopic = (m_topicPrefix + QStringLiteral("/status")).toUtf8();
    m_recordedTopic = (m_topicPrefix + QStringLiteral("/recorded")).toUtf8();
    // Derived from the prefix rather than the client id, so Home Assistant keeps the same
    // entity from one run to the next.
    m_objectId = HomeAssistantDiscovery::objectIdFrom(m_topicPrefix);
    if (!m_options.discoveryPrefix.isEmpty())
        m_discoveryTopic = HomeAssistantDiscovery::configTopic(m_options.discoveryPrefix, m_objectId).toUtf8();
}

MqttPublisher::~MqttPublisher() {
    stop(std::chrono::milliseconds(0));
    if (m_mosq) mosquitto_destroy(m_mosq);
    if (m_libraryInitialised) mosquitto_lib_cleanup();
}

QString MqttPublisher::discoveryTopic() const { return QString::fromUtf8(m_discoveryTopic); }

bool MqttPublisher::start() {
    if (m_mosq) {
        m_errorText = QStringLiteral("The publisher has already been started.");
        return false;
    }
    QString error;
    const std::optional<MqttBrokerUrl> url = MqttBrokerUrl::parse(m_options.brokerUrl, &error);
    if (!url) {
        m_errorText = error;
        return false;
    }
    m_url = *url;
    if (!m_options.user.isEmpty()) {
        m_url.user = m_options.user;
        m_url.password = m_options.password;
        m_url.hasPassword = !m_options.password.isEmpty();
    }
    if (m_topicPrefix.isEmpty() || m_topicPrefix.contains('+') || m_topicPrefix.contains('#') ||
        m_topicPrefix.contains(QChar(0))) {
        m_errorText = QStringLiteral("The topic prefix \"%1\" is not usable: it must not be empty or contain + or #.")
                          .arg(m_topicPrefix);
        return false;
    }
    if (m_url.tls && !m_options.caFile.isEmpty()) {
        const QFileInfo ca(m_options.caFile);
        if (!ca.isFile() || !ca.isReadable()) {
            m_errorText = QStringLiteral("The CA file \"%1\" cannot be read.").arg(m_options.caFile);
            return false;
        }
    }
    if (m_options.keepAliveSeconds < 5 && m_options.keepAliveSeconds != 0) m_options.keepAliveSeconds = 5;

    if (mosquitto_lib_init() != MOSQ_ERR_SUCCESS) {
        m_errorText = QStringLiteral("The MQTT library could not be initialised.");
        return false;
    }
    m_libraryInitialised = true;
    m_mosq = mosquitto_new(m_clientId.toUtf8().constData(), true, this);
    if (!m_mosq) {
        m_errorText = QStringLiteral("The MQTT client could not be created: %1").arg(systemErrorText(errno));
        return false;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Readings are small and a few per second: send each at once instead of letting Nagle
    // hold it for the ACK of the one before (up to 40 ms with delayed ACKs).
    mosquitto_int_option(m_mosq, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_mosq, &MqttPublisher::onConnect);
    mosquitto_disconnect_callback_set(m_mosq, &MqttPublisher::onDisconnect);
    mosquitto_publish_callback_set(m_mosq, &MqttPublisher::onPublish);
    mosquitto_log_callback_set(m_mosq, &MqttPublisher::onLog);
    mosquitto_will_set(m_mosq, m_statusTopic.constData(), 7, "offline", 1, true);
    if (!m_url.user.isEmpty()) {
        const QByteArray user = m_url.user.toUtf8();
        const QByteArray password = m_url.password.toUtf8();
        mosquitto_username_pw_set(m_mosq, user.constData(), m_url.hasPassword ? password.constData() : nullptr);
    }
    if (m_url.tls) {
        const QByteArray caFile = QFile::encodeName(m_options.caFile);
        const int rc = mosquitto_tls_set(m_mosq, caFile.isEmpty() ? nullptr : caFile.constData(),
                                         caFile.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            m_errorText = QStringLiteral("TLS could not be set up: %1").arg(QString::fromUtf8(mosquitto_strerror(rc)));
            return false;
        }
    }
    mosquitto_threaded_set(m_mosq, true);
    {
        std::lock_guard lock(m_mutex);
        setStateLocked(State::Connecting, QString());
    }
    m_network = std::thread([this, host = m_url.host.toUtf8(), port = m_url.port] { runNetwork(host, port); });
    return true;
}

// The network thread. It owns every connect, including the first, whose host name lookup
// can take seconds with a dead name server. libmosquitto's own loop_forever is not used:
// it ends for good after a TLS failure, and it reports failed reconnects to nobody.
void MqttPublisher::runNetwork(const QByteArray& host, int port) {
    const auto minimumDelay = std::chrono::seconds(std::max(1, m_options.reconnectDelayMinSeconds));
    const auto maximumDelay =
        std::chrono::seconds(std::max(m_options.reconnectDelayMinSeconds, m_options.reconnectDelayMaxSeconds));
    m_retryDelay = minimumDelay;
    m_attemptRefused = false;
    int rc = mosquitto_connect_async(m_mosq, host.constData(), port, m_options.keepAliveSeconds);
    bool socketOpen = rc == MOSQ_ERR_SUCCESS;
    if (!socketOpen) reportFailure(rc, errno);

    bool disconnectSent = false;
    std::chrono::steady_clock::time_point giveUpAt{};
    for (;;) {
        bool stopRequested = false;
        {
            std::lock_guard lock(m_mutex);
            stopRequested = m_stopRequested;
        }
        if (stopRequested) {
            if (!socketOpen) break;
            if (!disconnectSent) {
                // Goes out after everything queued before it ("offline" included).
                mosquitto_disconnect(m_mosq);
                disconnectSent = true;
                giveUpAt = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            } else if (std::chrono::steady_clock::now() > giveUpAt) {
                break;  // a hung broker does not hold up the stop
            }
        }
        if (socketOpen) {
            // Publishes from other threads wake the wait at once; the timeout bounds how
            // long a stop request waits to be seen.
            rc = mosquitto_loop(m_mosq, 100, 1);
            if (rc == MOSQ_ERR_SUCCESS) continue;
            const int savedErrno = errno;
            socketOpen = false;
            if (stopRequested) break;
            reportFailure(rc, savedErrno);
            if (m_wasConnected) m_retryDelay = minimumDelay;
            m_wasConnected = false;
        }
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_for(lock, m_retryDelay, [this] { return m_stopRequested; });
            if (m_stopRequested) break;
        }
        m_attemptRefused = false;
        rc = mosquitto_reconnect_async(m_mosq);
        socketOpen = rc == MOSQ_ERR_SUCCESS;
        if (!socketOpen) reportFailure(rc, errno);
        m_retryDelay = std::min(m_retryDelay * 2, maximumDelay);
    }
}

void MqttPublisher::reportFailure(int rc, int savedErrno) {
    QString detail;
    {
        std::lock_guard lock(m_mutex);
        detail = m_lastLibraryError;
        m_lastLibraryError.clear();
        // A refusal in the CONNACK says more than the closed socket that follows it.
        if (m_attemptRefused) return;
        setStateLocked(m_stopRequested ? State::Disconnected : State::Connecting,
                       connectErrorText(rc, savedErrno, detail));
    }
    m_acknowledged.notify_all();
}

void MqttPublisher::stop(std::chrono::milliseconds drainTimeout) {
    if (!m_mosq || m_stopped) return;
    m_stopped = true;
    const auto deadline = std::chrono::steady_clock::now() + drainTimeout;
    {
        std::unique_lock lock(m_mutex);
        m_acknowledged.wait_until(lock, deadline, [this] {
            return m_state.load() != State::Connected || (m_queue.empty() && m_inFlight.empty());
        });
        if (m_state.load() == State::Connected) {
            // QoS 0 goes out ahead of the DISCONNECT queued after it, whatever the QoS 1
            // window holds; its publish callback says it has been written.
            int mid = 0;
            if (publishRaw(m_statusTopic, QByteArrayLiteral("offline"), 0, true, &mid)) {
                m_offlineMid = mid;
                m_acknowledged.wait_until(lock, deadline, [this] {
                    return m_offlineWritten || m_state.load() != State::Connected;
                });
            }
        }
        m_stopRequested = true;
    }
    m_wake.notify_all();
    if (m_network.joinable()) m_network.join();
    std::lock_guard lock(m_mutex);
    setStateLocked(State::Disconnected, m_lastError);
}

void MqttPublisher::publishReading(const QByteArray& json) {
    {
        std::lock_guard lock(m_mutex);
        m_lastReading = json;
    }
    if (m_state.load() != State::Connected || m_stopped) {
        m_readingsSkipped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    // QoS 0: libmosquitto copies the payload and wakes its loop thread; nothing waits.
    if (publishRaw(m_readingTopic, json, 0, false)) {
        m_readingsPublished.fetch_add(1, std::memory_order_relaxed);
    } else {
        m_readingsSkipped.fetch_add(1, std::memory_order_relaxed);
    }
    publishRaw(m_stateTopic, json, 0, true);
}

void MqttPublisher::publishRecorded(const QByteArray& json) {
    {
        std::lock_guard lock(m_mutex);
        if (m_options.recordedQueueLimit == 0) {
            ++m_recordedDropped;
        } else {
            if (m_queue.size() >= m_options.recordedQueueLimit) {
                m_queue.pop_front();
                ++m_recordedDropped;
            }
            m_queue.push_back(json);
            sendQueuedLocked();
        }
    }
    notifyCountersChanged();
}

void MqttPublisher::setUnit(const QString& baseUnit) {
    std::lock_guard lock(m_mutex);
    if (baseUnit == m_unit) return;
    m_unit = baseUnit;
    if (m_state.load() == State::Connected) publishDiscoveryLocked();
}

QString MqttPublisher::lastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

MqttPublisher::Counters MqttPublisher::counters() const {
    Counters counters;
    counters.readingsPublished = m_readingsPublished.load(std::memory_order_relaxed);
    counters.readingsSkipped = m_readingsSkipped.load(std::memory_order_relaxed);
    std::lock_guard lock(m_mutex);
    counters.recordedPublished = m_recordedPublished;
    counters.recordedQueued = m_queue.size() + m_inFlight.size();
    counters.recordedDropped = m_recordedDropped;
    return counters;
}

void MqttPublisher::onConnect(mosquitto*, void* self, int rc) { static_cast<MqttPublisher*>(self)->handleConnect(rc); }

void MqttPublisher::onDisconnect(mosquitto*, void* self, int rc) {
    static_cast<MqttPublisher*>(self)->handleDisconnect(rc);
}

void MqttPublisher::onLog(mosquitto*, void* self, int level, const char* text) {
    static_cast<MqttPublisher*>(self)->handleLog(level, text);
}

void MqttPublisher::onPublish(mosquitto*, void* self, int mid) {
    static_cast<MqttPublisher*>(self)->handlePublished(mid);
}

void MqttPublisher::handleConnect(int rc) {
    std::lock_guard lock(m_mutex);
    if (rc != 0) {
        // Refused (bad credentials, unacceptable client id): retried with backoff.
        m_attemptRefused = true;
        setStateLocked(m_stopRequested ? State::Disconnected : State::Connecting,
                       QStringLiteral("The broker refused the connection: %1")
                           .arg(QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    if (m_stopRequested) return;  // a connect that completed during stop() says nothing
    m_wasConnected = true;
    publishRaw(m_statusTopic, QByteArrayLiteral("online"), 1, true);
    publishDiscoveryLocked();
    // The broker may have lost its retained messages while it was away.
    if (!m_lastReading.isEmpty()) publishRaw(m_stateTopic, m_lastReading, 0, true);
    setStateLocked(State::Connected, QString());
    sendQueuedLocked();
}

void MqttPublisher::handleDisconnect(int) {
    // The network thread reports why (reportFailure); here only the state moves on at once,
    // so nothing more is handed over to a closed connection.
    {
        std::lock_guard lock(m_mutex);
        if (m_state.load() == State::Connected)
            setStateLocked(m_stopRequested ? State::Disconnected : State::Connecting, m_lastError);
    }
    m_acknowledged.notify_all();
}

void MqttPublisher::handleLog(int level, const char* text) {
    if (level != MOSQ_LOG_ERR || !text) return;
    // The first line names the cause ("host name verification failed"); OpenSSL's
    // generic "certificate verify failed" follows it.
    std::lock_guard lock(m_mutex);
    if (m_lastLibraryError.isEmpty()) m_lastLibraryError = QString::fromUtf8(text);
}

void MqttPublisher::handlePublished(int mid) {
    bool recorded = false;
    {
        std::lock_guard lock(m_mutex);
        if (mid == m_offlineMid) m_offlineWritten = true;
        const auto it = m_inFlight.find(mid);
        if (it != m_inFlight.end()) {
            m_inFlight.erase(it);
            ++m_recordedPublished;
            recorded = true;
            sendQueuedLocked();
        }
    }
    m_acknowledged.notify_all();
    if (recorded) notifyCountersChanged();
}

void MqttPublisher::sendQueuedLocked() {
    if (m_state.load() != State::Connected) return;
    while (!m_queue.empty() && m_inFlight.size() < kInFlightWindow) {
        int mid = 0;
        if (!publishRaw(m_recordedTopic, m_queue.front(), 1, false, &mid)) return;  // retried on the next ack or connect
        m_inFlight.emplace(mid, std::move(m_queue.front()));
        m_queue.pop_front();
    }
}

void MqttPublisher::publishDiscoveryLocked() {
    if (m_discoveryTopic.isEmpty() || m_unit.isEmpty()) return;
    HomeAssistantDiscovery::Sensor sensor;
    sensor.objectId = m_objectId;
    sensor.name = m_options.sensorName;
    sensor.deviceName =
        m_options.deviceName.isEmpty() ? QStringLiteral("Veska ") + hostName() : m_options.deviceName;
    sensor.softwareVersion = m_options.softwareVersion;
    sensor.stateTopic = QString::fromUtf8(m_stateTopic);
    sensor.availabilityTopic = QString::fromUtf8(m_statusTopic);
    sensor.siValueField = m_options.siValueField;
    publishRaw(m_discoveryTopic, HomeAssistantDiscovery::configPayload(sensor, m_unit), 1, true);
}

bool MqttPublisher::publishRaw(const QByteArray& topic, const QByteArray& payload, int qos, bool retain, int* mid) {
    return mosquitto_publish(m_mosq, mid, topic.constData(), static_cast<int>(payload.size()), payload.constData(),
                             qos, retain) == MOSQ_ERR_SUCCESS;
}

void MqttPublisher::setStateLocked(State state, const QString& error) {
    const bool errorChanged = error != m_lastError;
    m_lastError = error;
    const State previous = m_state.exchange(state);
    if (previous == state && !errorChanged) return;
    // Posted, so receivers run on this object's thread, never on the network thread.
    QMetaObject::invokeMethod(
        this, [this, state, error] { emit stateChanged(state, error); }, Qt::QueuedConnection);
}

void MqttPublisher::notifyCountersChanged() {
    if (m_countersSignalPending.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_countersSignalPending = false;
            emit countersChanged();
        },
        Qt::QueuedConnection);
}

}  // namespace veska
