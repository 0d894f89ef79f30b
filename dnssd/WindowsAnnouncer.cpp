// The Windows backend: DnsServiceRegister / DnsServiceDeRegister of
// dnsapi.dll (Windows 10 and later), looked up at run time, so that the .exe
// imports nothing new and starts where they are missing (older Windows,
// Wine), saying so once. Each service is one registration; the system
// completes it on a thread of its own, which only records the outcome.
#include <windows.h>
// windns.h needs the types of windows.h first.
#include <windns.h>

#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <ostream>
#include <utility>

#include "dnssd/Announcer.h"

namespace tpg::dnssd {
namespace {

// DNS_REQUEST_PENDING of winerror.h, which Debian 12's mingw-w64 headers lack:
// the call goes on and its callback tells the outcome.
constexpr DWORD kRequestPending = 9506;

std::wstring wide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            length);
    }
    return out;
}

using ConstructInstance = PDNS_SERVICE_INSTANCE(WINAPI*)(PCWSTR, PCWSTR, PIP4_ADDRESS, PIP6_ADDRESS,
                                                         WORD, WORD, WORD, DWORD, PCWSTR*, PCWSTR*);
using FreeInstance = VOID(WINAPI*)(PDNS_SERVICE_INSTANCE);
using Register = DWORD(WINAPI*)(PDNS_SERVICE_REGISTER_REQUEST, PDNS_SERVICE_CANCEL);

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    // GetProcAddress gives a generic pointer; the declaration in windns.h
    // says what it is.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class WindowsAnnouncer final : public Announcer {
  public:
    WindowsAnnouncer() {
        dnsapi_ = LoadLibraryW(L"dnsapi.dll");
        if (dnsapi_ != nullptr) {
            construct_ = lookUp<ConstructInstance>(dnsapi_, "DnsServiceConstructInstance");
            free_ = lookUp<FreeInstance>(dnsapi_, "DnsServiceFreeInstance");
            register_ = lookUp<Register>(dnsapi_, "DnsServiceRegister");
            deregister_ = lookUp<Register>(dnsapi_, "DnsServiceDeRegister");
        }
        if (construct_ == nullptr || free_ == nullptr || register_ == nullptr ||
            deregister_ == nullptr) {
            news_.emplace_back(
                "not announced on the network: this Windows has no DNS-SD "
                "registration (DnsServiceRegister, Windows 10 and later)");
            construct_ = nullptr;
        }
    }
    WindowsAnnouncer(const WindowsAnnouncer&) = delete;
    WindowsAnnouncer& operator=(const WindowsAnnouncer&) = delete;

    ~WindowsAnnouncer() override {
        withdraw();
        // The system's threads may still complete a call: wait a little for
        // them; what is still pending then stays to the end of the process.
        std::unique_lock lock(mutex_);
        done_.wait_for(lock, std::chrono::seconds(2), [&] { return registrations_.empty(); });
    }

    void announce(const ServiceSet& set) override {
        withdraw();
        if (construct_ == nullptr) {
            return;
        }
        std::vector<std::wstring> keys;
        std::vector<std::wstring> values;
        for (const auto& entry : set.txt) {
            const auto equals = entry.find('=');
            keys.push_back(wide(entry.substr(0, equals)));
            values.push_back(wide(equals == std::string::npos ? "" : entry.substr(equals + 1)));
        }
        std::vector<PCWSTR> keyPointers;
        std::vector<PCWSTR> valuePointers;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            keyPointers.push_back(keys[i].c_str());
            valuePointers.push_back(values[i].c_str());
        }
        const std::wstring host = wide(localHostName() + ".local");
        std::lock_guard lock(mutex_);
        for (const auto& service : set.services) {
            const std::wstring name = wide(set.instanceName + "." + service.type + ".local");
            const auto instance = construct_(name.c_str(), host.c_str(), nullptr, nullptr,
                                             service.port, 0, 0, static_cast<DWORD>(keys.size()),
                                             keyPointers.data(), valuePointers.data());
            if (instance == nullptr) {
                news_.emplace_back(
                    "not announced on the network: DnsServiceConstructInstance "
                    "failed");
                continue;
            }
            auto& registration = registrations_.emplace_back();
            registration.owner = this;
            registration.name = set.instanceName;
            registration.request.Version = DNS_QUERY_REQUEST_VERSION1;
            registration.request.InterfaceIndex = 0;  // every interface
            registration.request.pServiceInstance = instance;
            registration.request.pRegisterCompletionCallback = &WindowsAnnouncer::completed;
            registration.request.pQueryContext = &registration;
            call(registration, register_, "DnsServiceRegister");
        }
    }

    void withdraw() override {
        std::lock_guard lock(mutex_);
        for (auto next = registrations_.begin(); next != registrations_.end();) {
            auto& registration = *next++;  // leave() may remove it
            registration.wanted = false;
            leave(registration);
        }
    }

    void report(std::ostream& log) override {
        std::vector<std::string> news;
        {
            std::lock_guard lock(mutex_);
            news.swap(news_);
        }
        for (const auto& line : news) {
            log << line << "\n";
        }
        if (!news.empty()) {
            log << std::flush;
        }
    }

  private:
    struct Registration {
        WindowsAnnouncer* owner = nullptr;
        std::string name;
        DNS_SERVICE_REGISTER_REQUEST request{};
        bool wanted = true;       // not withdrawn
        bool registered = false;  // the system completed the registration
        bool leaving = false;     // its deregistration was asked for
        int calls = 0;            // calls the system has yet to complete
    };

    // Under the lock: one call for the registration, completed later.
    void call(Registration& registration, Register function, const char* name) {
        ++registration.calls;
        const DWORD status = function(&registration.request, nullptr);
        if (status != kRequestPending) {
            --registration.calls;
            news_.push_back(std::string("not announced on the network: ") + name + ": error " +
                            std::to_string(status));
            forget(registration);
        }
    }

    // Under the lock: deregisters a registration no longer wanted, or lets
    // it go when there is nothing to take back.
    void leave(Registration& registration) {
        if (registration.registered && !registration.leaving) {
            registration.leaving = true;
            call(registration, deregister_, "DnsServiceDeRegister");
        } else {
            forget(registration);
        }
    }

    // Under the lock: frees a registration no call refers to any more.
    void forget(Registration& registration) {
        if (registration.calls > 0 || (registration.registered && !registration.leaving)) {
            return;
        }
        free_(registration.request.pServiceInstance);
        registrations_.remove_if([&](const Registration& r) { return &r == &registration; });
        done_.notify_all();
    }

    static VOID WINAPI completed(DWORD status, PVOID context, PDNS_SERVICE_INSTANCE instance) {
        auto& registration = *static_cast<Registration*>(context);
        registration.owner->complete(registration, status, instance);
    }

    void complete(Registration& registration, DWORD status, PDNS_SERVICE_INSTANCE instance) {
        std::lock_guard lock(mutex_);
        if (instance != nullptr) {
            free_(instance);  // the copy the system hands back
        }
        --registration.calls;
        if (!registration.leaving) {
            registration.registered = status == ERROR_SUCCESS;
            news_.push_back(registration.registered
                                ? "announced on the network as \"" + registration.name + "\""
                                : "not announced on the network: DnsServiceRegister completed "
                                  "with error " +
                                      std::to_string(status));
            if (!registration.wanted) {
                leave(registration);
                return;
            }
        }
        forget(registration);
    }

    HMODULE dnsapi_ = nullptr;
    ConstructInstance construct_ = nullptr;
    FreeInstance free_ = nullptr;
    Register register_ = nullptr;
    Register deregister_ = nullptr;
    // Recursive: the system may complete a call before it returns.
    std::recursive_mutex mutex_;
    std::condition_variable_any done_;
    std::list<Registration> registrations_;  // stable addresses: each is a call's context
    std::vector<std::string> news_;
};

}  // namespace

std::unique_ptr<Announcer> systemAnnouncer() {
    return std::make_unique<WindowsAnnouncer>();
}

std::string localHostName() {
    std::wstring name(256, L'\0');
    DWORD length = static_cast<DWORD>(name.size());
    if (!GetComputerNameExW(ComputerNamePhysicalDnsHostname, name.data(), &length)) {
        return "localhost";
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(length),
                                          nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(length), out.data(), bytes,
                            nullptr, nullptr);
    }
    return out;
}

}  // namespace tpg::dnssd
