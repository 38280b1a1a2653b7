// Framing plus decoding of a realistic serial stream: the meter's packets with drifting
// values and changing units, cut into the chunks one 100 ms poll at 2400 baud reads.
#include "protocol/PacketDecoder.h"
#include "protocol/VeskaSerialFraming.h"

#include "AllocationCounter.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

std::vector<std::uint8_t> RealisticStream(int packets) {
    static const std::uint8_t kStatus[][4] = {
        {0x30, 0x00, 0x00, 0x80},  // DC V, AUTO
        {0x28, 0x00, 0x40, 0x80},  // AC mV, AUTO
        {0x20, 0x00, 0x20, 0x20},  // kOhm
        {0x00, 0x00, 0x00, 0x08},  // Hz
        {0x00, 0x00, 0x00, 0x02},  // Celsius
    };
    std::vector<std::uint8_t> s;
    s.reserve(static_cast<std::size_t>(packets) * 14);
    for (int i = 0; i < packets; ++i) {
        const int v = (i * 37) % 6000;
        const auto* st = kStatus[(i / 50) % 5];
        s.push_back(0x0A);
        s.push_back(i % 7 == 0 ? 0x2D : 0x2B);
        s.push_back(static_cast<std::uint8_t>(i % 97 == 0 ? 0x3F : 0x30 + v / 1000));
        s.push_back(static_cast<std::uint8_t>(0x30 + v / 100 % 10));
        s.push_back(static_cast<std::uint8_t>(0x30 + v / 10 % 10));
        s.push_back(static_cast<std::uint8_t>(0x30 + v % 10));
        s.push_back(0x20);
        s.push_back(static_cast<std::uint8_t>("0124"[i % 4]));
        s.insert(s.end(), st, st + 4);
        s.push_back(0x00);
        s.push_back(0x0D);
    }
    return s;
}

void BM_FrameAndDecode(benchmark::State& state) {
    constexpr int kPackets = 10000;
    const std::vector<std::uint8_t> stream = RealisticStream(kPackets);
    veska::DecodeResult result;
    std::int64_t decoded = 0;
    veska::VeskaSerialFraming framing([&](std::string_view packet) {
        veska::decodePacket(packet, 6000, result);
        decoded += result.ok ? 1 : 0;
    });
    constexpr std::size_t kChunk = 24;
    const std::int64_t allocationsBefore = veska::bench::heapAllocations.load();
    for (auto _ : state) {
        for (std::size_t pos = 0; pos < stream.size(); pos += kChunk) {
            framing.feed(stream.data() + pos, std::min(kChunk, stream.size() - pos));
        }
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations() * kPackets);
    state.counters["decoded"] = static_cast<double>(decoded);
    state.counters["allocs_per_packet"] =
        static_cast<double>(veska::bench::heapAllocations.load() - allocationsBefore) / static_cast<double>(state.iterations() * kPackets);
}
BENCHMARK(BM_FrameAndDecode);

}  // namespace

BENCHMARK_MAIN();
