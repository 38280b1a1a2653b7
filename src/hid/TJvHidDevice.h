#pragma once

#include "hid/HidEvents.h"
#include "hid/HidReadChannel.h"
#include "hid/HidTypes.h"
#include "hid/TJvHidPnPInfo.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace veska {

class TJvHidDeviceController;
class TJvHidDeviceReadThread;

// One HID interface. Made only by the controller's scans; the application claims it
// from the controller, reads it through a data handler and hands it back by destroying
// it. Everything runs on the UI thread except the reader.
class TJvHidDevice {
public:
    // Opens the device once to read its attributes. Throws EControllerError
    // "device cannot be opened" or "device cannot be identified".
    TJvHidDevice(std::unique_ptr<TJvHidPnPInfo> info, TJvHidDeviceController& controller);
    // Hand-back: stops the reader and, when the controller still lists this object, puts
    // a fresh unclaimed object for a plugged device in its place or drops an unplugged one.
    ~TJvHidDevice();
    TJvHidDevice(const TJvHidDevice&) = delete;
    TJvHidDevice& operator=(const TJvHidDevice&) = delete;

    bool Accessible() const { return m_channel->accessible(); }
    bool Plugged() const { return m_channel->plugged(); }
    bool Claimed() const { return m_channel->claimed(); }
    bool BeingEnumerated() const { return m_channel->beingEnumerated(); }
    TJvHidDeviceController* OwningController() const { return m_owningController; }
    const TJvHidPnPInfo& PlugAndPlayInfo() const { return *m_pnpInfo; }

    bool OpenControlHandle();
    void CloseControlHandle();
    bool ControlHandleOpen() const { return m_controlHandle != nullptr; }
    bool OpenReadHandle();
    void CloseReadHandle();
    bool ReadHandleOpen() const { return m_channel->readHandleOpen(); }

    HidCaps Capabilities();
    // Asked of the device until it gives a non-empty text, then cached.
    QString ProductString();
    // Empty when the device's serial number only repeats its language table or the
    // language table cannot be read.
    QString SerialString();
    const HidAttributes& DeviceAttributes() const { return m_attributes; }
    // The last opening for queries obtained read and write access.
    bool CanReadWrite() const { return m_canReadWrite; }
    // Why read and write access was refused (an errno value; EACCES: no permission).
    int ReadWriteOpenError() const { return m_readWriteOpenError; }
    // Why the last feature report was refused (an errno value), 0 after one was sent.
    int FeatureReportError() const { return m_featureReportError; }

    // No handler stops the reader; a handler starts it on a claimed, plugged device
    // with read and write access. Replacing a handler does not restart the reader.
    void SetDataHandler(TJvHidDataEvent handler);
    const TJvHidDataEvent& DataHandler() const { return m_dataHandler; }
    const TJvHidDataErrorEvent& DataErrorHandler() const { return m_dataErrorHandler; }
    const TJvHidPlugEvent& UnplugHandler() const { return m_unplugHandler; }
    void StartReader();
    // Waits for the reader to end while still running the reports it hands over.
    void StopReader();
    bool ReaderRunning() const { return m_reader != nullptr; }

    // Takes 10 to 10000 milliseconds; other values change nothing.
    void SetReadSleep(int ms);
    int ReadSleepMs() const { return m_channel->readSleepMs(); }

    // 'data[0]' is the report ID. Leaves the control handle open.
    bool SendFeatureReport(const std::uint8_t* data, std::size_t length);

    // The device is gone: both handles close, the unplug handler runs once. The reader
    // keeps going (and failing) until its holder stops it.
    void MarkUnplugged();

private:
    friend class TJvHidDeviceController;

    bool openControl();
    bool readString(bool serial, QString& cache);

    TJvHidDeviceController* m_owningController = nullptr;
    std::unique_ptr<TJvHidPnPInfo> m_pnpInfo;
    std::shared_ptr<HidReadChannel> m_channel;
    std::unique_ptr<HidHandle> m_controlHandle;
    HidAttributes m_attributes;
    QString m_productString;
    QString m_serialString;
    bool m_capsFetched = false;
    HidCaps m_caps;
    TJvHidDataEvent m_dataHandler;
    TJvHidDataErrorEvent m_dataErrorHandler;
    TJvHidPlugEvent m_unplugHandler;
    bool m_canReadWrite = false;
    int m_readWriteOpenError = 0;
    int m_featureReportError = 0;
    std::unique_ptr<TJvHidDeviceReadThread> m_reader;
};

}  // namespace veska
