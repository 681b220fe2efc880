// The driver of a fuzz target outside libFuzzer: runs the target once on every
// file named on the command line or found in a folder named there (sorted, so
// a failure is reproducible), and fails when there was none. Options in
// libFuzzer's form (-runs=0) are ignored, so one command line serves both.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<char> ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.starts_with("-"))
            continue;
        std::error_code error;
        if (std::filesystem::is_directory(arg, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else {
            inputs.emplace_back(arg);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no input files\n");
        return 2;
    }
    for (const auto& file : inputs) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) {
            std::fprintf(stderr, "%s: not a file\n", file.c_str());
            return 2;
        }
        std::fprintf(stderr, "replaying %s\n", file.c_str());
        const std::vector<char> bytes = ReadFile(file);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return 0;
}
