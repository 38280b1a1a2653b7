// What publishing costs the thread that hands readings over, and how long a reading takes
// from that hand-over to a subscriber on a local broker. Starts its own mosquitto.
//   bench_mqtt [--benchmark_repetitions=5]
#include "MosquittoBroker.h"

#include "network/MqttPublisher.h"
#include "network/SessionPublisher.h"
#include "session/MeterSession.h"
#include "session/ReadingUpdate.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace veska;
using veska::test::MosquittoBroker;
using Clock = std::chrono::steady_clock;

namespace {

// A JSON reading of the size the data-out format produces.
QByteArray readingJson(int sequence) {
    return QStringLiteral("{\"time\":\"2024-05-01T12:00:00.000Z\",\"value\":\"-01.234\",\"unit\":\"mV\","
                          "\"si_value\":-0.001234,\"base_unit\":\"V\",\"mode\":\"DC\",\"range\":\"AUTO\","
                          "\"overload\":false,\"hold\":false,\"rel\":false,\"low_battery\":false,\"seq\":%1}")
        .arg(sequence)
        .toUtf8();
}

MqttPublisherOptions optionsFor(int port) {
    MqttPublisherOptions options;
    options.brokerUrl = QStringLiteral("mqtt://127.0.0.1:%1").arg(port);
    options.topicPrefix = QStringLiteral("veska/bench");
    return options;
}

bool waitConnected(const MqttPublisher& publisher) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (publisher.state() != MqttPublisher::State::Connected) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Records when each reading arrives, on libmosquitto's thread of the subscriber.
struct LatencyProbe {
    std::mutex mutex;
    std::condition_variable arrived;
    int lastSequence = -1;
    Clock::time_point arrival;

    static void onMessage(mosquitto*, void* self, const mosquitto_message* message) {
        const Clock::time_point now = Clock::now();
        auto* probe = static_cast<LatencyProbe*>(self);
        const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
        const qsizetype at = payload.lastIndexOf("\"seq\":");
        const int sequence = payload.mid(at + 6).chopped(1).toInt();
        {
            std::lock_guard lock(probe->mutex);
            probe->lastSequence = sequence;
            probe->arrival = now;
        }
        probe->arrived.notify_all();
    }
};

void queueingCost(benchmark::State& state, int port, bool brokerUp) {
    MqttPublisherOptions options = optionsFor(brokerUp ? port : MosquittoBroker::freePort());
    MqttPublisher publisher(options);
    publisher.start();
    if (brokerUp && !waitConnected(publisher)) {
        state.SkipWithError("publisher did not connect");
        return;
    }
    const QByteArray json = readingJson(1);
    for (auto _ : state) {
        publisher.publishReading(json);
        if (state.range(0) != 0) publisher.publishRecorded(json);
    }
    state.SetItemsProcessed(state.iterations());
    publisher.stop(std::chrono::milliseconds(0));
}

void BM_QueueReading(benchmark::State& state, int port) { queueingCost(state, port, true); }
void BM_QueueReadingBrokerDown(benchmark::State& state, int port) { queueingCost(state, port, false); }

// The adapter's work per reading on the session's thread: the JSON reading (time, base-unit
// value) formatted and handed to the publisher. Arg 1 also formats and queues the recorded row.
void BM_SessionPublisherReading(benchmark::State& state, int port) {
    MeterSession session;
    SessionPublisher adapter(optionsFor(port), session);
    if (!adapter.start() || !waitConnected(adapter.publisher())) {
        state.SkipWithError("publisher did not connect");
        return;
    }
    ReadingUpdate update;
    update.reading.valueText = "-1.234";
    update.reading.numericValue = -1234.0F;
    update.reading.acDcText = "DC";
    update.reading.unitText = "mV";
    update.reading.rangeText = "AUTO";
    RecordedReading recorded{0, 1796872455123, update.reading};
    for (auto _ : state) {
        if (state.range(0) != 0) {
            ++recorded.no;
            adapter.publishRecorded(recorded);
        }
        adapter.publishReading(update);
    }
    state.SetItemsProcessed(state.iterations());
    adapter.stop(std::chrono::milliseconds(0));
}

// A whole packet through the session (decode, scale, extremes, chart, no recording), without
// (0) and with (1) the adapter attached: the difference is what publishing adds per packet.
void BM_SessionPacket(benchmark::State& state, int port) {
    MeterSession session;
    session.startUp();
    std::unique_ptr<SessionPublisher> adapter;
    if (state.range(0) != 0) {
        adapter = std::make_unique<SessionPublisher>(optionsFor(port), session);
        if (!adapter->start() || !waitConnected(adapter->publisher())) {
            state.SkipWithError("publisher did not connect");
            return;
        }
    }
    const std::string packet = std::string("2D") + "31323334" + "20" + "31" + "30000080" + "00" + "0D";  // -1.234 V DC
    for (auto _ : state) session.handlePacket(packet);
    state.SetItemsProcessed(state.iterations());
    if (adapter) adapter->stop(std::chrono::milliseconds(0));
}

void BM_EndToEndLatency(benchmark::State& state, int port) {
    MqttPublisher publisher(optionsFor(port));
    publisher.start();
    LatencyProbe probe;
    mosquitto* subscriber = mosquitto_new(nullptr, true, &probe);
    mosquitto_message_callback_set(subscriber, &LatencyProbe::onMessage);
    if (!waitConnected(publisher) || mosquitto_connect(subscriber, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS) {
        state.SkipWithError("no connection");
        mosquitto_destroy(subscriber);
        return;
    }
    mosquitto_subscribe(subscriber, nullptr, "veska/bench/reading", 0);
    mosquitto_loop_start(subscriber);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the subscription is in place

    std::vector<double> microseconds;
    int sequence = 0;
    for (auto _ : state) {
        ++sequence;
        const QByteArray json = readingJson(sequence);
        const Clock::time_point sent = Clock::now();
        publisher.publishReading(json);
        std::unique_lock lock(probe.mutex);
        if (!probe.arrived.wait_for(lock, std::chrono::seconds(2), [&] { return probe.lastSequence == sequence; })) {
            state.SkipWithError("a reading did not arrive within 2 s");
            break;
        }
        const double elapsed = std::chrono::duration<double>(probe.arrival - sent).count();
        state.SetIterationTime(elapsed);
        microseconds.push_back(elapsed * 1e6);
    }
    if (!microseconds.empty()) {
        std::sort(microseconds.begin(), microseconds.end());
        const auto at = [&](double q) { return microseconds[static_cast<std::size_t>(q * double(microseconds.size() - 1))]; };
        state.counters["p50_us"] = at(0.50);
        state.counters["p99_us"] = at(0.99);
        state.counters["max_us"] = microseconds.back();
    }
    mosquitto_disconnect(subscriber);
    mosquitto_loop_stop(subscriber, false);
    mosquitto_destroy(subscriber);
    publisher.stop(std::chrono::milliseconds(0));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (!MosquittoBroker::available()) {
        std::fprintf(stderr, "mosquitto is not installed at %s\n", MosquittoBroker::kBinary);
        return 1;
    }
    mosquitto_lib_init();
    int rc = 0;
    {
        MosquittoBroker broker;
        std::string error;
        if (!broker.start(&error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            mosquitto_lib_cleanup();
            return 1;
        }
        const int port = broker.port();
        // Arg 1: a recorded row (QoS 1) with every reading as well.
        benchmark::RegisterBenchmark("BM_QueueReading", BM_QueueReading, port)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("BM_QueueReadingBrokerDown", BM_QueueReadingBrokerDown, port)
            ->Arg(0)
            ->Arg(1)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("BM_SessionPublisherReading", BM_SessionPublisherReading, port)
            ->Arg(0)
            ->Arg(1)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("BM_SessionPacket", BM_SessionPacket, port)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("BM_EndToEndLatency", BM_EndToEndLatency, port)
            ->UseManualTime()
            ->Iterations(2000)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    mosquitto_lib_cleanup();
    return rc;
}
