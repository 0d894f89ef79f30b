// trelvix-pulse-cli serve: one generator as an SCPI instrument over TCP. The
// network loop is server/, the instrument scpi/, the generator held open
// ServedGenerator; this joins them on one thread until a stop signal.
#pragma once

#include <string>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/SimulatedGenerators.h"
#include "lock/GeneratorLock.h"
#include "scpi/Generator.h"
#include "server/LineServer.h"

namespace tpg::cli {

std::string serveHelpText();

// Runs the server until SIGINT or SIGTERM (on Windows also the console's
// close); returns the exit status: 0 when stopped, 1 for a bad --listen,
// 3 when the address cannot be listened on. With simulated (--simulate),
// SIGUSR1 unplugs and plugs in again its first generator.
int serve(const Invocation& in, hid::HidPlatform& platform, SystemError& errors, Streams io,
          SimulatedGenerators* simulated = nullptr);

// One SCPI instrument per connection, over the one generator, each
// connection a client of the generator's lock.
server::SessionFactory instrumentSessions(scpi::Generator& generator, lock::GeneratorLock& lock);

// Whether clients on other machines can reach a server bound to address:
// anything but loopback (an IPv4 loopback address mapped into IPv6 counts
// as loopback). serve warns when they can.
bool reachableFromOtherMachines(const asio::ip::address& address);

}  // namespace tpg::cli
