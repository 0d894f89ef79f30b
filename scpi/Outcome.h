// What running one program message unit came to: an error, or success with
// or without an answer.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "scpi/Errors.h"

namespace tpg::scpi {

struct Outcome {
    std::optional<Error> error;
    std::optional<std::string> answer;
    // The answer is arbitrary text (*IDN?): no query may follow it in the
    // same message.
    bool indefinite = false;

    static Outcome done() { return {}; }
    static Outcome failed(Error error) { return {std::move(error), std::nullopt, false}; }
    static Outcome answered(std::string text) { return {std::nullopt, std::move(text), false}; }
};

}  // namespace tpg::scpi
