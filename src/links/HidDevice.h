#pragma once

#include "links/HidEvents.h"
#include "links/HidReadChannel.h"
#include "links/HidTypes.h"
#include "links/HidPnPInfo.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace veska {

class HidDeviceMonitor;
class HidReaderThread;

// One HID interface. Made only by the controller's scans; the application claims it
// from the controller, reads it through a data handler and hands it back by destroying
// it. Everything runs on the UI thread except the reader.
class HidDevice {
public:
    // Opens the device once to read its attributes. Throws HidDeviceError
    // "device cannot be opened" or "device cannot be identified".
    HidDevice(std::unique_ptr<HidPnPInfo> info, HidDeviceMonitor& controller);
    // Hand-back: stops the reader and, when the controller still lists this object, puts
    // a fresh unclaimed object for a plugged device in its place or drops an unplugged one.
    ~HidDevice();
    HidDevice(const HidDevice&) = delete;
    HidDevice& operator=(const HidDevice&) = delete;

    bool accessible() const { return m_channel->accessible(); }
    bool plugged() const { return m_channel->plugged(); }
    bool claimed() const { return m_channel->claimed(); }
    bool beingEnumerated() const { return m_channel->beingEnumerated(); }
    HidDeviceMonitor* owningMonitor() const { return m_owningController; }
    const HidPnPInfo& pnpInfo() const { return *m_pnpInfo; }

    bool openControlHandle();
    void closeControlHandle();
    bool controlHandleOpen() const { return m_controlHandle != nullptr; }
    bool openReadHandle();
    void closeReadHandle();
    bool readHandleOpen() const { return m_channel->readHandleOpen(); }

    HidCaps capabilities();
    // Asked of the device until it gives a non-empty text, then cached.
    QString productString();
    // Empty when the device's serial number only repeats its language table or the
    // language table cannot be read.
    QString serialString();
    const HidAttributes& attributes() const { return m_attributes; }
    // The last opening for queries obtained read and write access.
    bool canReadWrite() const { return m_canReadWrite; }
    // Why read and write access was refused (an errno value; EACCES: no permission).
    int readWriteOpenError() const { return m_readWriteOpenError; }
    // Why the last feature report was refused (an errno value), 0 after one was sent.
    int featureReportError() const { return m_featureReportError; }

    // No handler stops the reader; a handler starts it on a claimed, plugged device
    // with read and write access. Replacing a handler does not restart the reader.
    void setDataHandler(HidDataEvent handler);
    const HidDataEvent& dataHandler() const { return m_dataHandler; }
    const HidDataErrorEvent& dataErrorHandler() const { return m_dataErrorHandler; }
    const HidPlugEvent& unplugHandler() const { return m_unplugHandler; }
    void startReader();
    // Waits for the reader to end while still running the reports it hands over.
    void stopReader();
    bool readerRunning() const { return m_reader != nullptr; }

    // Takes 10 to 10000 milliseconds; other values change nothing.
    void setReadSleep(int ms);
    int readSleepMs() const { return m_channel->readSleepMs(); }

    // 'data[0]' is the report ID. Leaves the control handle open.
    bool sendFeatureReport(const std::uint8_t* data, std::size_t length);

    // The device is gone: both handles close, the unplug handler runs once. The reader
    // keeps going (and failing) until its holder stops it.
    void markUnplugged();

private:
    friend class HidDeviceMonitor;

    bool openControl();
    bool readString(bool serial, QString& cache);

    HidDeviceMonitor* m_owningController = nullptr;
    std::unique_ptr<HidPnPInfo> m_pnpInfo;
    std::shared_ptr<HidReadChannel> m_channel;
    std::unique_ptr<HidHandle> m_controlHandle;
    HidAttributes m_attributes;
    QString m_productString;
    QString m_serialString;
    bool m_capsFetched = false;
    HidCaps m_caps;
    HidDataEvent m_dataHandler;
    HidDataErrorEvent m_dataErrorHandler;
    HidPlugEvent m_unplugHandler;
    bool m_canReadWrite = false;
    int m_readWriteOpenError = 0;
    int m_featureReportError = 0;
    std::unique_ptr<HidReaderThread> m_reader;
};

}  // namespace veska
