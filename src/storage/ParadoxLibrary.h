#pragma once

#include <QString>

// pxlib's header declares C functions without saying so.
extern "C" {
#include <paradox.h>
}

namespace veska {

// pxlib, loaded when a Paradox file is first read (dlopen) instead of at every start: it
// pulls in GLib, GIO and libxml2, which the headless logger and most runs never need. The
// package depends on it all the same (packaging, scripts/check-package). Each object holds
// the library while it lives; it stays mapped once loaded.
class ParadoxLibrary {
public:
    ParadoxLibrary();
    ~ParadoxLibrary();
    ParadoxLibrary(const ParadoxLibrary&) = delete;
    ParadoxLibrary& operator=(const ParadoxLibrary&) = delete;

    bool loaded() const { return m_handle != nullptr; }
    // Why it is not loaded ("pxlib is not installed (...)").
    QString error() const { return m_error; }

    decltype(&PX_new3) newDocument = nullptr;
    decltype(&PX_open_fp) openFile = nullptr;
    decltype(&PX_close) close = nullptr;
    decltype(&PX_delete) deleteDocument = nullptr;
    decltype(&PX_get_num_fields) numFields = nullptr;
    decltype(&PX_get_fields) fields = nullptr;
    decltype(&PX_get_recordsize) recordSize = nullptr;
    decltype(&PX_get_num_records) numRecords = nullptr;
    decltype(&PX_get_record) record = nullptr;
    decltype(&PX_get_data_alpha) alpha = nullptr;
    decltype(&PX_get_data_short) shortValue = nullptr;
    decltype(&PX_get_data_long) longValue = nullptr;
    decltype(&PX_get_data_double) doubleValue = nullptr;
    decltype(&PX_get_data_byte) byteValue = nullptr;

private:
    template <typename F>
    bool bind(F& function, const char* name);

    void* m_handle = nullptr;
    QString m_error;
};

}  // namespace veska
