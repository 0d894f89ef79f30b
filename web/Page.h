// The page served at /: the welcome page (maker, product, serial number,
// version, where the instrument is reached) and the window's controls, each
// labelled with the window's caption, in the window's tab order; with its
// style sheet and script, all served from the binary.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "web/Snapshot.h"

namespace tpg::web {

// The page filled with the present settings, so that it reads right before
// its script runs (and without one).
std::string pageHtml(const Snapshot& snapshot, const ServedAt& served,
                     const std::optional<std::string>& readOnly, bool signIn);

std::string_view pageStyle();
std::string_view pageScript();
std::string_view pageIcon();  // SVG

}  // namespace tpg::web
