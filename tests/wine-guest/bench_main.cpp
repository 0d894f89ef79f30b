// tpg_wine_bench [--hidraw-nodes] FOLDER [REQUEST...]: the generator bench of
// the Wine guest.
// Makes, removes and reports on HID devices on the real kernel as the driver
// program under Wine asks through FOLDER (BenchProtocol.h), until it is told
// to quit. The requests given on the command line are carried out first, so
// that their devices are there before Wine starts. With --hidraw-nodes it
// also keeps the hidraw nodes of a /dev without udev (HidrawNodes.h). Prints
// one line per request.
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "BenchDevices.h"
#include "BenchProtocol.h"
#include "HidrawNodes.h"
#include "RequestChannel.h"

namespace {

using namespace tpg::guestbench;

class Bench {
  public:
    // The reply to one request; quit is set by the request to quit.
    std::string handle(const std::string& request, bool& quit) {
        const auto w = words(request);
        if (w.empty()) {
            return "error empty request\n";
        }
        if (w[0] == "plug") {
            std::string error;
            const auto plug = parsePlug(w, error);
            if (!plug) {
                return "error " + error + "\n";
            }
            if (devices_.count(plug->serial) != 0) {
                return "error " + plug->serial + " is plugged in already\n";
            }
            auto device = makeBenchDevice(*plug, error);
            if (!device) {
                return "error " + error + "\n";
            }
            const std::string node = device->node();
            devices_[plug->serial] = {plug->kind, std::move(device)};
            return "ok " + node + "\n";
        }
        if ((w[0] == "unplug" || w[0] == "take") && w.size() == 2) {
            const auto found = devices_.find(w[1]);
            if (found == devices_.end()) {
                return "error no device " + w[1] + "\n";
            }
            if (w[0] == "take") {
                return formatReceived(found->second.device->takeReceived());
            }
            devices_.erase(found);  // the kernel removes its node
            return "ok\n";
        }
        if (w[0] == "list" && w.size() == 1) {
            std::vector<PlugRequest> listed;
            for (const auto& [serial, plugged] : devices_) {
                listed.push_back({plugged.kind, serial, plugged.device->state()});
            }
            return formatList(listed);
        }
        if (w[0] == "quit" && w.size() == 1) {
            quit = true;
            return "ok\n";
        }
        return "error unknown request: " + request + "\n";
    }

  private:
    struct Plugged {
        std::string kind;
        std::unique_ptr<BenchDevice> device;
    };
    std::map<std::string, Plugged> devices_;
};

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    HidrawNodes nodes("/sys/class/hidraw", "/dev");
    if (argc > 1 && std::string(argv[1]) == "--hidraw-nodes") {
        nodes.keep(std::chrono::milliseconds(20));
        ++first;
    }
    if (argc <= first) {
        std::cerr << "usage: tpg_wine_bench [--hidraw-nodes] FOLDER [REQUEST...]\n";
        return 2;
    }
    const char* folder = argv[first];
    RequestChannel channel{std::filesystem::path(folder)};
    channel.clear();
    Bench bench;
    for (int i = first + 1; i < argc; ++i) {
        bool quit = false;
        const std::string reply = bench.handle(argv[i], quit);
        std::cout << "bench: " << argv[i] << " -> " << reply.substr(0, reply.find('\n'))
                  << std::endl;
        if (reply.rfind("ok", 0) != 0) {
            return 1;
        }
    }
    std::cout << "bench: waiting for requests in " << folder << std::endl;
    for (bool quit = false; !quit;) {
        const auto request = channel.takeRequest();
        if (!request) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        const std::string reply = bench.handle(*request, quit);
        std::cout << "bench: " << *request << " -> " << reply.substr(0, reply.find('\n'))
                  << std::endl;
        if (!channel.answer(reply)) {
            std::cerr << "bench: cannot write the reply into " << folder << std::endl;
            return 1;
        }
    }
    return 0;
}
