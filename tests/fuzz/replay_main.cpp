// Replays fuzz inputs through a harness without libFuzzer: every file named
// on the command line, or every file in a folder named there, goes once
// through LLVMFuzzerTestOneInput. The suite runs the committed corpus this
// way in the ordinary build, so every harness and every reproducer is
// exercised without clang.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace
{

bool replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
    {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    int count = 0;
    for (int i = 1; i < argc; ++i)
    {
        const std::filesystem::path path(argv[i]);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(path))
        {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        }
        else
        {
            files.push_back(path);
        }
        // Names sorted, so that a failure names the same input every time.
        std::sort(files.begin(), files.end());
        for (const auto& file : files)
        {
            std::fprintf(stderr, "replaying %s\n", file.c_str());
            if (!replay(file))
                return 1;
            ++count;
        }
    }
    if (count == 0)
    {
        std::fprintf(stderr, "no input to replay\n");
        return 1;
    }
    std::printf("%d inputs replayed\n", count);
    return 0;
}
