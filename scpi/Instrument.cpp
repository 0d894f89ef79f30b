#include "scpi/Instrument.h"

#include <array>

#include "scpi/CommandTree.h"
#include "scpi/Lexer.h"
#include "scpi/Mnemonic.h"
#include "scpi/StatusCommands.h"
#include "settings/NumberText.h"

namespace tpg::scpi {
namespace {

enum class Common { Cls, Ese, Esr, Idn, Opc, Rst, Sre, Stb, Tst, Wai };

struct CommonCommand {
    std::string_view name;
    Common command;
    bool set;
    bool query;
};

constexpr std::array<CommonCommand, 10> kCommonCommands = {{
    {"CLS", Common::Cls, true, false},
    {"ESE", Common::Ese, true, true},
    {"ESR", Common::Esr, false, true},
    {"IDN", Common::Idn, false, true},
    {"OPC", Common::Opc, true, true},
    {"RST", Common::Rst, true, false},
    {"SRE", Common::Sre, true, true},
    {"STB", Common::Stb, false, true},
    {"TST", Common::Tst, false, true},
    {"WAI", Common::Wai, true, false},
}};

Outcome undefinedHeader(const ProgramUnit& unit) {
    return Outcome::failed(makeError(ErrorCode::UndefinedHeader, unit.header));
}

Outcome integer(long long value) {
    return Outcome::answered(settings::decimalText(value));
}

}  // namespace

Instrument::Instrument(Generator& generator) : generator_(generator) {}

void Instrument::queue(Error error) {
    status_.recordError(error.code);
    if (!errors_.push(std::move(error))) {
        status_.recordError(ErrorCode::QueueOverflow);
    }
}

void Instrument::inputOverrun() {
    queue(makeError(ErrorCode::InputBufferOverrun));
}

std::string Instrument::execute(std::string_view message) {
    begin(message);
    std::optional<std::string> response;
    while (!(response = step())) {
    }
    return *response;
}

void Instrument::begin(std::string_view message) {
    if (!message.empty() && message.back() == '\r') {
        message.remove_suffix(1);
    }
    message_.assign(message);
    lexer_.emplace(message_);
    path_ = &commandRoot();
    response_.clear();
    indefinite_ = false;
}

void Instrument::clear() {
    lexer_.reset();
    message_.clear();
    response_.clear();
}

std::optional<std::string> Instrument::step() {
    if (!lexer_) {
        return std::string();
    }
    bool ended = false;
    for (std::size_t units = 0; units < kUnitsPerStep && !ended;) {
        if (lexer_->atEnd()) {
            ended = true;
            break;
        }
        ProgramUnit unit;
        if (auto error = lexer_->next(unit)) {
            queue(*error);
            ended = true;
            break;
        }
        if (unit.header.empty()) {
            continue;  // an empty unit, as in a ';' at the end
        }
        ++units;
        status_.questionable.look(generator_.isOpen() ? 0 : StatusRegisters::kHardwareMissing);
        if (unit.query && indefinite_) {
            queue(makeError(ErrorCode::QueryUnterminatedAfterIndefinite, unit.header));
            ended = true;
            break;
        }
        Outcome outcome;
        if (unit.common) {
            outcome = runCommon(unit, !response_.empty());
        } else if (const auto found = resolve(unit.rooted ? commandRoot() : *path_, unit.mnemonics);
                   !found || !(unit.query ? found->node->query : found->node->set)) {
            outcome = undefinedHeader(unit);
        } else {
            path_ = found->path;
            outcome = runCommand(*found->node->command, unit);
        }
        if (outcome.error) {
            queue(*outcome.error);
            ended = true;
            break;
        }
        if (outcome.answer) {
            response_ += (response_.empty() ? "" : ";") + *outcome.answer;
            indefinite_ = outcome.indefinite;
        }
    }
    if (!ended && !lexer_->atEnd()) {
        return std::nullopt;
    }
    std::string response = response_.empty() ? std::string() : response_ + "\n";
    clear();
    return response;
}

Outcome Instrument::runCommand(Command command, const ProgramUnit& unit) {
    if (isStatusCommand(command)) {
        return runStatusCommand(command, unit, errors_, status_);
    }
    return unit.query ? generator_.query(command, unit) : generator_.set(command, unit);
}

Outcome Instrument::setRegister(const ProgramUnit& unit,
                                void (StatusRegisters::*set)(std::uint8_t)) {
    std::uint16_t value = 0;
    if (auto error = readRegisterValue(unit, 255, value)) {
        return Outcome::failed(*error);
    }
    (status_.*set)(static_cast<std::uint8_t>(value));
    return Outcome::done();
}

Outcome Instrument::runCommon(const ProgramUnit& unit, bool messageAvailable) {
    const CommonCommand* found = nullptr;
    for (const auto& candidate : kCommonCommands) {
        if (matchesForm(candidate.name, unit.mnemonics.front())) {
            found = &candidate;
        }
    }
    if (found == nullptr || !(unit.query ? found->query : found->set)) {
        return undefinedHeader(unit);
    }
    if (found->command == Common::Ese || found->command == Common::Sre) {
        if (!unit.query) {
            return setRegister(unit, found->command == Common::Ese
                                         ? &StatusRegisters::setEventEnable
                                         : &StatusRegisters::setServiceRequestEnable);
        }
    }
    if (!unit.data.empty()) {
        return Outcome::failed(makeError(ErrorCode::ParameterNotAllowed));
    }
    switch (found->command) {
        case Common::Cls:
            errors_.clear();
            status_.clearEvents();
            return Outcome::done();
        case Common::Ese:
            return integer(status_.eventEnable());
        case Common::Sre:
            return integer(status_.serviceRequestEnable());
        case Common::Esr:
            return integer(status_.takeEventStatus());
        case Common::Stb:
            return integer(status_.statusByte(errors_.size() > 0, messageAvailable));
        case Common::Idn:
            return generator_.identify();
        case Common::Opc:
            if (unit.query) {
                return Outcome::answered("1");
            }
            status_.operationComplete();
            return Outcome::done();
        case Common::Rst:
            return generator_.reset();
        case Common::Tst:
            return generator_.selfTest();
        case Common::Wai:
            break;
    }
    return Outcome::done();
}

}  // namespace tpg::scpi
