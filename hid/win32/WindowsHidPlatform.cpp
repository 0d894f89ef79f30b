#include "hid/win32/WindowsHidPlatform.h"

#include <cstddef>
#include <cstring>

#include "hid/win32/WindowsHidHeaders.h"

namespace tpg::hid::win32 {

namespace {

HANDLE toNative(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}
Handle fromNative(HANDLE handle) {
    return reinterpret_cast<Handle>(handle);
}

SECURITY_ATTRIBUTES nativeSecurity(const SecurityAttributes& security) {
    SECURITY_ATTRIBUTES native{};
    native.nLength = sizeof(SECURITY_ATTRIBUTES);
    native.lpSecurityDescriptor = nullptr;
    native.bInheritHandle = security.inheritHandle ? TRUE : FALSE;
    return native;
}

// The path of the interface at record, or an empty text when the detail
// query fails. The first query yields only the needed size; the detail record
// is then built in a zeroed buffer one byte longer, aligned for its cbSize.
std::string interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& record) {
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &record, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return {};
    }
    const std::size_t bytes = static_cast<std::size_t>(needed) + 1;
    std::vector<std::uint64_t> storage((bytes + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (SetupDiGetDeviceInterfaceDetailA(set, &record, detail, needed, &needed, nullptr) == 0) {
        return {};
    }
    // DevicePath runs from its offset up to the first zero byte; the extra
    // zeroed byte ends it even if the platform filled the whole size.
    const char* path = detail->DevicePath;
    const std::size_t room = bytes - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    return {path, strnlen(path, room)};
}

}  // namespace

std::uint32_t interfaceRecordSize() {
    return sizeof(SP_DEVICE_INTERFACE_DATA);
}
std::uint32_t detailRecordSize() {
    return sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
}

Result WindowsHidPlatform::listInterfaces(std::vector<std::string>& paths) {
    paths.clear();
    GUID hidGuid{};
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return 0;
    }
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA record{};
        record.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (SetupDiEnumDeviceInterfaces(set, nullptr, &hidGuid, index, &record) == 0) {
            break;  // the first index without an interface ends the walk
        }
        std::string path = interfacePath(set, record);
        if (!path.empty()) {
            paths.push_back(std::move(path));
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return 1;
}

Handle WindowsHidPlatform::open(const std::string& path, OpenMode mode,
                                const SecurityAttributes& security) {
    SECURITY_ATTRIBUTES native = nativeSecurity(security);
    const DWORD flags = mode == OpenMode::Overlapped ? FILE_FLAG_OVERLAPPED : 0;
    HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &native, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) {
            denied_.insert(path);
        } else {
            denied_.erase(path);
        }
        SetLastError(error);
        return kNoHandle;
    }
    denied_.erase(path);
    open_.insert(fromNative(handle));
    return fromNative(handle);
}

std::optional<std::pair<std::uint16_t, std::uint16_t>> idsOfInterfacePath(const std::string& path) {
    // "\\?\hid#vid_6c3a&pid_4e19#7&..." : the IDs follow "vid_" and "pid_",
    // four hexadecimal digits each, in either case.
    std::string lower(path);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    const auto hex4 = [&](const char* key) -> std::optional<std::uint16_t> {
        const std::size_t at = lower.find(key);
        if (at == std::string::npos || lower.size() - at < 8) {
            return std::nullopt;
        }
        std::uint16_t value = 0;
        for (std::size_t i = at + 4; i < at + 8; ++i) {
            const char c = lower[i];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) {
                return std::nullopt;
            }
            value = static_cast<std::uint16_t>(value * 16 + digit);
        }
        return value;
    };
    const auto vendor = hex4("vid_");
    const auto product = hex4("pid_");
    if (!vendor || !product) {
        return std::nullopt;
    }
    return std::make_pair(*vendor, *product);
}

Result WindowsHidPlatform::explainRefusal(const std::string& path, Refusal& refusal) {
    const auto ids = idsOfInterfacePath(path);
    if (!ids) {
        return 0;
    }
    refusal.vendorId = ids->first;
    refusal.productId = ids->second;
    refusal.accessDenied = denied_.count(path) != 0;
    return 1;
}

Result WindowsHidPlatform::getAttributes(Handle handle, Attributes& attributes) {
    HIDD_ATTRIBUTES native{};
    native.Size = sizeof(HIDD_ATTRIBUTES);
    const BOOLEAN ok = HidD_GetAttributes(toNative(handle), &native);
    if (ok) {
        attributes.size = native.Size;
        attributes.vendorId = native.VendorID;
        attributes.productId = native.ProductID;
        attributes.versionNumber = native.VersionNumber;
    }
    return ok ? 1 : 0;
}

Result WindowsHidPlatform::getString(Handle handle, StringKind kind,
                                     std::span<std::uint8_t> buffer) {
    if (buffer.size() < kStringQueryBytes) {
        return 0;  // the query is always offered its full 100 bytes
    }
    const HANDLE native = toNative(handle);
    const ULONG length = static_cast<ULONG>(kStringQueryBytes);
    BOOLEAN ok = FALSE;
    switch (kind) {
        case StringKind::Manufacturer:
            ok = HidD_GetManufacturerString(native, buffer.data(), length);
            break;
        case StringKind::Product:
            ok = HidD_GetProductString(native, buffer.data(), length);
            break;
        case StringKind::SerialNumber:
            ok = HidD_GetSerialNumberString(native, buffer.data(), length);
            break;
    }
    return ok ? 1 : 0;
}

Result WindowsHidPlatform::getCapabilities(Handle handle, Capabilities& capabilities) {
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(toNative(handle), &preparsed)) {
        return 0;
    }
    HIDP_CAPS caps{};
    const NTSTATUS status = HidP_GetCaps(preparsed, &caps);
    HidD_FreePreparsedData(preparsed);
    if (status != HIDP_STATUS_SUCCESS) {
        return 0;
    }
    capabilities.inputReportByteLength = caps.InputReportByteLength;
    capabilities.outputReportByteLength = caps.OutputReportByteLength;
    capabilities.featureReportByteLength = caps.FeatureReportByteLength;
    return 1;
}

Result WindowsHidPlatform::setFeature(Handle handle, std::span<const std::uint8_t> report) {
    // The service takes a non-const buffer but does not write a sent report.
    void* bytes = const_cast<std::uint8_t*>(report.data());
    return HidD_SetFeature(toNative(handle), bytes, static_cast<ULONG>(report.size())) ? 1 : 0;
}

Result WindowsHidPlatform::getFeature(Handle handle, std::span<std::uint8_t> report) {
    // The class driver transfers a feature report at its full length.
    return HidD_GetFeature(toNative(handle), report.data(), static_cast<ULONG>(report.size()))
               ? static_cast<Result>(report.size())
               : 0;
}

Handle WindowsHidPlatform::createEvent(const SecurityAttributes& security) {
    SECURITY_ATTRIBUTES native = nativeSecurity(security);
    HANDLE event = CreateEventA(&native, TRUE, TRUE, "");
    if (event == nullptr) {
        return kNoHandle;
    }
    open_.insert(fromNative(event));
    return fromNative(event);
}

Result WindowsHidPlatform::readInputReport(Handle readHandle, std::span<std::uint8_t> buffer,
                                           ReadOverlapped& overlapped) {
    if (!isOpen(readHandle)) {
        return 0;
    }
    // The platform's part of the record (Internal, InternalHigh) lives only
    // for this call: a read is never left running past it.
    OVERLAPPED native{};
    native.Offset = overlapped.offset;
    native.OffsetHigh = overlapped.offsetHigh;
    native.hEvent = isOpen(overlapped.event) ? toNative(overlapped.event) : nullptr;
    const HANDLE handle = toNative(readHandle);
    DWORD count = 0;
    if (ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &count, &native)) {
        return 1;
    }
    if (GetLastError() == ERROR_IO_PENDING) {
        // No report was waiting: cancel the read and wait for its end, so the
        // platform is done with buffer and record before they are reused.
        CancelIo(handle);
        DWORD transferred = 0;
        GetOverlappedResult(handle, &native, &transferred, TRUE);
        ++cancelledReads_;
    }
    return 0;
}

Result WindowsHidPlatform::close(Handle handle) {
    if (!isOpen(handle)) {
        return 0;
    }
    open_.erase(handle);
    return CloseHandle(toNative(handle)) ? 1 : 0;
}

}  // namespace tpg::hid::win32
