#pragma once

#include "links/HidTypes.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace veska {

// One simulated HID interface. The default is the meter's "USB to Serial" bridge: 8-byte
// input reports without report ID, the first byte 0xF0 | n followed by n stream bytes
// (at most seven), an empty report about every 12 ms while the meter is silent, and a
// feature report that sets the bit rate. Thread-safe: the meter side may feed bytes from
// any thread while a reader thread reads.
class SimulatedHidDevice {
public:
    struct Spec {
        std::u16string product = u"USB to Serial";
        std::u16string serial;
        std::uint16_t vendorId = 0x1209;
        std::uint16_t productId = 0xB0A1;
        std::uint16_t version = 0x0100;
        std::uint16_t inputReportLength = 9;  // report ID byte included
        bool bridge = true;                   // false: a device that never sends reports
        bool readWrite = true;                // false: may be opened for queries only
        bool openable = true;
        bool identifiable = true;
        int emptyReportIntervalMs = 12;       // 0: no reports while nothing is queued
        std::string portPath;                 // empty: the platform gives it a port of its own
    };
    // Called on the reader thread about every empty-report interval; returns the meter
    // bytes that arrived since (may be none).
    using ByteSource = std::function<std::vector<std::uint8_t>()>;

    SimulatedHidDevice(Spec spec, std::string path, std::string identity);

    const Spec& spec() const { return m_spec; }
    const std::string& path() const { return m_path; }
    const std::string& identity() const { return m_identity; }
    HidAttributes attributes() const;
    bool plugged() const;

    // Meter side.
    void feed(const std::vector<std::uint8_t>& meterBytes);
    void pushEmptyReports(int count);
    // One read exactly as given: report ID byte first; an empty vector is a 0-byte read.
    void pushRead(std::vector<std::uint8_t> read);
    void setByteSource(ByteSource source);
    void setEmptyReportInterval(int ms);

    // From now on feature reports fail with 'error' (an errno value); 0 accepts them again.
    void refuseFeatureReports(int error);

    std::uint32_t bitRate() const;
    std::vector<std::vector<std::uint8_t>> featureReports() const;
    int pendingReads() const;

    // Platform side.
    void setPlugged(bool plugged);
    // Result as HidHandle::readReport; 'error' set on failure.
    int read(std::uint8_t* buffer, std::size_t length, int timeoutMs, int& error);
    bool sendFeatureReport(const std::uint8_t* data, std::size_t length, int& error);

private:
    using Clock = std::chrono::steady_clock;

    void queueStream(const std::vector<std::uint8_t>& bytes);  // m_mutex held
    std::vector<std::uint8_t> emptyReport() const;
    bool nextRead(std::vector<std::uint8_t>& out, std::unique_lock<std::mutex>& lock);

    const Spec m_spec;
    const std::string m_path;
    const std::string m_identity;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_plugged = true;
    std::deque<std::vector<std::uint8_t>> m_reads;
    ByteSource m_source;
    int m_intervalMs;
    Clock::time_point m_nextTick = Clock::now();
    std::uint32_t m_bitRate = 0;
    int m_featureRefusal = 0;
    std::vector<std::vector<std::uint8_t>> m_featureReports;
};

}  // namespace veska
