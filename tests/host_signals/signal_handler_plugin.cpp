// mod_sighandler: a plug-in whose start does what some client libraries do when
// they are first used: it installs its own handlers for SIGTERM and SIGINT
// (which end the process at once with exit code 7) and starts a thread of its
// own that lives until stop.
#include "frame/plugin_entry.h"
#include "frame/plugin_int.h"

#include "rtl/logger.h"
#include "rtl/plugin.h"

#include <unistd.h>

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

namespace {

void EndAtOnce(int) {
    ::_exit(7);
}

class TSignalHandlerPlugin : public rtl::TPlugin<rtl::IPlugin, frame::IStartable> {
public:
    TSignalHandlerPlugin() {
        setName("mod_sighandler");
        setDescription("Installs signal handlers of its own");
        setVersion(1);
    }

    void start() override {
        struct sigaction action {};
        action.sa_handler = EndAtOnce;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGINT, &action, nullptr);
        worker_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            stopped_.wait(lock, [this] { return stopping_; });
        });
        rtl::TLogger::debug(this, "Handlers installed, worker running");
    }

    void stop() override {
        if (!worker_.joinable())
            return;
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        stopped_.notify_all();
        worker_.join();
        rtl::TLogger::debug(this, "Worker stopped");
    }

    bool isStarted() override { return worker_.joinable(); }

private:
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
};

} // namespace

rtl::Ref<rtl::IPlugin> frame::CreatePlugin() {
    return rtl::Ref<rtl::IPlugin>(new TSignalHandlerPlugin);
}
