#pragma once

#include "links/MeterScenario.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veska {

// A meter on a pseudo-terminal: the driver opens slavePath() like a serial port, and the
// simulator writes the scenario's packets into the other end, one every 0.4 to 0.5 s as a
// real meter does, or 'rate' packets per second. With odd chunks on, packets are written
// in pieces of 1 to 6 bytes, so the reader sees them cut anywhere.
//
// Writes never block: while nobody reads, the pty fills up and further packets are
// dropped, as a meter's are when no one listens.
class MeterSimulator : public QObject {
    Q_OBJECT
public:
    explicit MeterSimulator(QObject* parent = nullptr);
    ~MeterSimulator() override;

    MeterSimulator(const MeterSimulator&) = delete;
    MeterSimulator& operator=(const MeterSimulator&) = delete;

    // Creates the pseudo-terminal pair. False with errorText() when the system refuses.
    bool open();
    bool isOpen() const { return m_master >= 0; }
    // The device path to give the serial driver, e.g. /dev/pts/3.
    QString slavePath() const { return m_slavePath; }
    QString errorText() const { return m_errorText; }

    // Packets per second; 0 (the default) sends like a real meter.
    void setRate(double packetsPerSecond) { m_rate = packetsPerSecond > 0 ? packetsPerSecond : 0; }
    double rate() const { return m_rate; }
    void setOddChunks(bool on) { m_oddChunks = on; }
    void setScenario(const MeterScenario& scenario) { m_scenario = scenario; }

    void start();
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

    // Writes bytes into the meter's end now, outside the scenario. False when the pty
    // did not take all of them.
    bool writeBytes(const std::uint8_t* data, std::size_t size);

    // Closes the meter's end, as when the cable or the USB adapter is pulled.
    void closeMaster();

    // The line speed the pty is set to (by whoever opened the other end last), 0 if unknown.
    int lineBaudRate() const;

    std::uint64_t stepsSent() const { return m_step; }
    std::uint64_t bytesDropped() const { return m_bytesDropped; }

private:
    void tick();
    void queueDuePackets();
    void flush();
    std::size_t writeSome(std::size_t count);
    std::size_t nextChunkSize();

    MeterScenario m_scenario;
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::vector<std::uint8_t> m_pending;
    QString m_slavePath;
    QString m_errorText;
    double m_rate = 0;
    double m_nextDueMs = 0;
    std::uint64_t m_step = 0;
    std::uint64_t m_chunkCounter = 0;
    std::uint64_t m_bytesDropped = 0;
    int m_master = -1;
    int m_slave = -1;
    bool m_oddChunks = false;
};

}  // namespace veska
