// A process that runs the hotel-link adapter's out-call ticket pass once, for the
// fault tests: the real adapter module and the real link library, connected to an
// HL driver simulator in the same process that sends nothing, with the queue, cache
// and spool files all in one folder (so a fault library can watch them together).
//
//   ticket-pass-runner FOLDER LIBRARY_FOLDER
//
// The module's log goes to standard error; the exit code is 0 once the pass has run.
#include "varnel_dm.h"

#include "hlsim/simulator.h"
#include "platform/application.h"
#include "rtl/configuration.h"
#include "rtl/log_sinks.h"
#include "rtl/logger.h"

#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv) {
    platform::Application app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: ticket-pass-runner FOLDER LIBRARY_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    rtl::TLogger::addSink(std::make_shared<rtl::ConsoleLogSink>());
    rtl::TLogger::setLevel(rtl::LogLevel::Debug);

    hlsim::Simulator simulator;
    simulator.listen();
    auto config = rtl::MakeRef<rtl::TConfiguration>();
    rtl::Ref<rtl::IConfiguration> section = config->sub("mod_varnel");
    section->set("varnel.path", argv[2]);
    section->set("varnel.driver_ip", "127.0.0.1");
    section->set("varnel.driver_port", simulator.portText());
    section->set("varnel.log_path", folder + "/");
    section->set("out_tickect_scan.cache_file_name", folder + "/cache.dat");
    section->set("out_tickect_scan.spool_file_name", folder + "/spool.dat");
    {
        mod_varnel::TvarnelDM dm(section);
        dm.scanOutCallTickets();
    }
    return 0;
}
