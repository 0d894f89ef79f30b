// The operating system's own account of the last failed call: errno on
// Linux, GetLastError on Windows. The command line quotes it when a
// platform call fails.
#pragma once

#include <string>

namespace tpg::cli {

class SystemError {
  public:
    virtual ~SystemError() = default;
    // Forgets the last error, before a call whose failure is to be told.
    virtual void clear() = 0;
    // The system's text for the error since the last clear(); empty when
    // the system recorded none.
    virtual std::string text() const = 0;
};

}  // namespace tpg::cli
