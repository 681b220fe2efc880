#include "config_check.h"

#include "state_lock.h"

#include "rtl/config_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

// The host section's own keys.
const std::vector<std::string> kHostKeys = {"plugins",   "plugin_dir",      "log",
                                            "log.level", "log.file",        "text_codec",
                                            "state_dir", "allow_no_plugins"};

bool Known(const std::string& key, const std::vector<std::string>& known) {
    for (const auto& k : known) {
        if (k == key || k.rfind(key + ".", 0) == 0)
            return true;
    }
    return false;
}

// The mode bits that count for `user`, as the owner's bits: the owner's,
// the group's or the others' (root may do everything).
mode_t ModeFor(const struct stat& st, const ServiceUser& user) {
    if (user.uid == 0)
        return S_IRWXU;
    if (st.st_uid == user.uid)
        return st.st_mode & S_IRWXU;
    if (std::find(user.groups.begin(), user.groups.end(), st.st_gid) != user.groups.end())
        return (st.st_mode & S_IRWXG) << 3;
    return (st.st_mode & S_IRWXO) << 6;
}

bool MayWrite(const struct stat& st, const ServiceUser& user) {
    return ModeFor(st, user) & S_IWUSR;
}

bool MaySearch(const struct stat& st, const ServiceUser& user) {
    return ModeFor(st, user) & S_IXUSR;
}

std::string Absolute(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
}

} // namespace

ServiceUser ServiceUser::ForCheck() {
    ServiceUser user;
    const passwd* pw = nullptr;
    if (::geteuid() == 0)
        pw = ::getpwnam("pbxhost");
    if (!pw)
        pw = ::getpwuid(::geteuid());
    if (!pw) {
        user.uid = ::geteuid();
        user.name = std::to_string(user.uid);
        user.groups.push_back(::getegid());
        return user;
    }
    user.name = pw->pw_name;
    user.uid = pw->pw_uid;
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count) < 0) {
        groups.resize(size_t(count));
        ::getgrouplist(pw->pw_name, pw->pw_gid, groups.data(), &count);
    }
    groups.resize(size_t(std::max(count, 0)));
    user.groups.push_back(pw->pw_gid);
    user.groups.insert(user.groups.end(), groups.begin(), groups.end());
    return user;
}

std::string WriteProblem(const std::string& path, bool folder, const ServiceUser& user,
                         bool mustExist) {
    const std::string absolute = Absolute(path);
    struct stat st {};
    if (::stat(absolute.c_str(), &st) == 0) {
        if (folder && !S_ISDIR(st.st_mode))
            return absolute + " is not a folder";
        if (!folder && S_ISDIR(st.st_mode))
            return absolute + " is a folder";
        if (!MayWrite(st, user) || (folder && !MaySearch(st, user)))
            return user.name + " cannot write " + absolute;
        return {};
    }
    if (errno != ENOENT)
        return "cannot look at " + absolute + ": " + std::strerror(errno);
    if (mustExist)
        return absolute + " does not exist";
    // Created when missing: the nearest folder that exists must take it.
    std::filesystem::path parent = std::filesystem::path(absolute).parent_path();
    while (::stat(parent.c_str(), &st) != 0 && parent.has_parent_path() &&
           parent != parent.parent_path())
        parent = parent.parent_path();
    if (!S_ISDIR(st.st_mode))
        return parent.string() + " is not a folder";
    if (!MayWrite(st, user) || !MaySearch(st, user))
        return absolute + " does not exist and " + user.name + " cannot create it in " +
               parent.string();
    return {};
}

std::vector<std::string> PasswordsReadableByAll(const std::string& configFile,
                                                rtl::IConfiguration& config) {
    struct stat st {};
    if (::stat(configFile.c_str(), &st) != 0 || !(st.st_mode & S_IROTH))
        return {};
    std::vector<std::string> keys;
    for (const auto& node : config.tree()->descendants()) {
        std::string name = node->name();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (name.find("password") != std::string::npos && !node->value().empty())
            keys.push_back(node->path());
    }
    return keys;
}

std::vector<Finding> CheckConfiguration(const std::string& configFile, rtl::IConfiguration& config,
                                        const HostSettings& settings, TPluginLoader& loader,
                                        bool connect, const ServiceUser& user) {
    std::vector<Finding> findings;
    auto add = [&](Finding::Kind kind, std::string text) {
        findings.push_back({kind, std::move(text)});
    };
    add(Finding::Ok, "syntax: read");

    // The plug-ins: loaded, never started.
    for (size_t i = 0; i < settings.pluginFiles.size(); ++i) {
        const std::string& file = settings.pluginFiles[i];
        const std::string& key = settings.pluginKeys[i];
        if (loader.load(file, false))
            add(Finding::Ok, "plug-in " + loader.pluginNames().back() + " (" + key + "): " + file);
        else
            add(Finding::Error, "plug-in " + key + " " + file + " " + loader.lastError());
    }
    if (settings.pluginFiles.empty() && !settings.allowNoPlugins)
        add(Finding::Error, "no plug-in is named under host.plugins (set "
                            "host.allow_no_plugins = yes for a host without plug-ins)");

    // What the host itself writes.
    if (!settings.logFile.empty()) {
        const std::string problem = WriteProblem(settings.logFile, false, user);
        add(problem.empty() ? Finding::Ok : Finding::Error,
            "log file (host.log.file) " + Absolute(settings.logFile) +
                (problem.empty() ? ": writable by " + user.name : ": " + problem));
    }
    {
        const std::string lockFile = settings.stateDir + "/" + StateLock::kFileName;
        const std::string problem = WriteProblem(lockFile, false, user);
        add(problem.empty() ? Finding::Ok : Finding::Error,
            "state folder (host.state_dir) " + settings.stateDir +
                (problem.empty() ? ": writable by " + user.name : ": " + problem));
    }

    // What each plug-in writes, and its keys.
    const auto names = loader.pluginNames();
    const auto plugins = loader.plugins();
    for (size_t i = 0; i < plugins.size(); ++i) {
        rtl::Ref<rtl::IConfigCheck> check = rtl::Query<rtl::IConfigCheck>(plugins[i]);
        if (!check)
            continue;
        rtl::Ref<rtl::IConfiguration> section = config.sub(names[i]);
        for (const auto& written : check->writtenPaths(*section)) {
            const std::string problem =
                WriteProblem(written.path, written.folder, user, written.mustExist);
            add(problem.empty() ? Finding::Ok : Finding::Error,
                std::string(written.folder ? "folder" : "file") + " (" + written.key + ") " +
                    Absolute(written.path) +
                    (problem.empty() ? ": writable by " + user.name : ": " + problem));
        }
        const std::vector<std::string> known = check->knownKeys();
        for (const auto& node : section->tree()->descendants()) {
            if (!Known(node->path(), known))
                add(Finding::Warning,
                    "key " + names[i] + "." + node->path() + " is not a setting of " + names[i]);
        }
    }
    for (const auto& node : config.tree()->descendants()) {
        const std::string path = node->path();
        if (path.rfind("host.", 0) == 0) {
            if (!Known(path.substr(5), kHostKeys) && path.rfind("host.plugins.", 0) != 0)
                add(Finding::Warning, "key " + path + " is not a setting of the host");
        } else if (path.find('.') == std::string::npos && path != "host" &&
                   std::find(names.begin(), names.end(), path) == names.end()) {
            add(Finding::Warning, "section [" + path + "] belongs to no plug-in that was loaded");
        }
    }

    for (const auto& key : PasswordsReadableByAll(configFile, config))
        add(Finding::Warning,
            "every user of this machine can read " + key + " (chmod 0640 " + configFile + ")");

    if (connect) {
        for (size_t i = 0; i < plugins.size(); ++i) {
            rtl::Ref<rtl::IConfigCheck> check = rtl::Query<rtl::IConfigCheck>(plugins[i]);
            if (!check)
                continue;
            for (const auto& result : check->connectCheck(*config.sub(names[i])))
                add(result.failed ? Finding::Error : Finding::Ok, names[i] + ": " + result.text);
        }
    }
    return findings;
}

std::string FindingLine(const std::string& configFile, const Finding& finding) {
    const char* kind = finding.kind == Finding::Ok        ? "ok"
                       : finding.kind == Finding::Warning ? "warning"
                                                          : "error";
    return configFile + ": " + kind + ": " + finding.text;
}

} // namespace host
