#include "storage/ParadoxLibrary.h"

#include <dlfcn.h>

namespace veska {

template <typename F>
bool ParadoxLibrary::bind(F& function, const char* name) {
    function = reinterpret_cast<F>(::dlsym(m_handle, name));
    if (function == nullptr) m_error = QStringLiteral("pxlib lacks %1").arg(QLatin1String(name));
    return function != nullptr;
}

ParadoxLibrary::ParadoxLibrary() {
    // Never unloaded: GLib beneath it does not survive that.
    m_handle = ::dlopen("libpx.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (m_handle == nullptr) {
        m_error = QStringLiteral("pxlib is not installed (%1)").arg(QString::fromLocal8Bit(::dlerror()));
        return;
    }
    decltype(&PX_boot) boot = nullptr;
    const bool all = bind(boot, "PX_boot") && bind(newDocument, "PX_new3") && bind(openFile, "PX_open_fp") &&
                     bind(close, "PX_close") && bind(deleteDocument, "PX_delete") &&
                     bind(numFields, "PX_get_num_fields") && bind(fields, "PX_get_fields") &&
                     bind(recordSize, "PX_get_recordsize") && bind(numRecords, "PX_get_num_records") &&
                     bind(record, "PX_get_record") && bind(alpha, "PX_get_data_alpha") &&
                     bind(shortValue, "PX_get_data_short") && bind(longValue, "PX_get_data_long") &&
                     bind(doubleValue, "PX_get_data_double") && bind(byteValue, "PX_get_data_byte");
    if (!all) {
        ::dlclose(m_handle);
        m_handle = nullptr;
        return;
    }
    boot();  // sets up the library's own state; harmless again
}

ParadoxLibrary::~ParadoxLibrary() {
    if (m_handle != nullptr) ::dlclose(m_handle);
}

}  // namespace veska
