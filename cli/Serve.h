// trelvix-pulse-cli serve: one generator as an SCPI instrument over TCP. The
// network loop is server/, the instrument scpi/, the generator held open
// ServedGenerator; this joins them on one thread until a stop signal.
#pragma once

#include <string>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "lock/GeneratorLock.h"
#include "scpi/Generator.h"
#include "server/LineServer.h"

namespace tpg::cli {

std::string serveHelpText();

// Runs the server until SIGINT or SIGTERM (on Windows also the console's
// close); returns the exit status: 0 when stopped, 1 for a bad --listen,
// 3 when the address cannot be listened on.
int serve(const Invocation& in, hid::HidPlatform& platform, SystemError& errors, Streams io);

// One SCPI instrument per connection, over the one generator.
server::SessionFactory instrumentSessions(scpi::Generator& generator);
// The same, each client seeing the generator through the lock every
// protocol's clients share.
server::SessionFactory instrumentSessions(scpi::Generator& generator, lock::GeneratorLock& lock);

}  // namespace tpg::cli
