#include "tango/Backend.h"

namespace tpg::tango {

Backend& backend() {
    static Backend instance;
    return instance;
}

}  // namespace tpg::tango
