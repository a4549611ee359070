// scourvane-verify-cost DIR CLI: what the verifier adds to cleaning the models of DIR.
//
// Times, interleaved over 30 rounds, the in-memory pipeline (load from bytes, count, clean, count,
// build the image) and the verifier over the same original and cleaned images; then the whole batch,
// CLI --no-log on a fresh writable copy of DIR, 5 times. Prints the verifier's time against both.
#include "bench/bench_support.h"

#include "clean/part_cleaner.h"
#include "model/model_reader.h"
#include "platform/file_io.h"
#include "support/part_helpers.h"
#include "verify/model_verifier.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace
{

using namespace scourvane;
namespace fs = std::filesystem;

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

bool cleanedImage(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& image)
{
    ObjectPart root;
    if (!root.loadModelBytes(bytes.data(), bytes.size())) return false;
    cleanPart(root);
    return buildModelImage(root, image);
}

// The batch, run on a fresh copy each time: every file is really rewritten.
double batchSeconds(const std::string& folder, const std::string& cli, const fs::path& work)
{
    fs::remove_all(work);
    fs::copy(folder, work);
    for (const auto& entry : fs::directory_iterator(work))
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add);
    std::system("sync");
    const std::string command = "'" + cli + "' --no-log '" + work.string() + "' >/dev/null";
    const double start = bench::nowSeconds();
    const int status = std::system(command.c_str());
    const double took = bench::nowSeconds() - start;
    return status == 0 ? took : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: scourvane-verify-cost DIR CLI\n");
        return 2;
    }
    std::vector<std::vector<uint8_t>> originals, images;
    for (const auto& entry : fs::directory_iterator(argv[1]))
    {
        std::vector<uint8_t> bytes, image;
        if (!entry.is_regular_file() ||
            !platform::readWholeFile(entry.path().string().c_str(), bytes, maxModelFileSize) ||
            !cleanedImage(bytes, image))
            continue;
        originals.push_back(std::move(bytes));
        images.push_back(std::move(image));
    }
    if (originals.empty())
    {
        std::fprintf(stderr, "no models in %s\n", argv[1]);
        return 1;
    }

    constexpr int rounds = 30;
    std::vector<double> pipeline, verifying;
    std::vector<uint8_t> image;
    size_t refused = 0;
    for (int round = 0; round < rounds; ++round)
    {
        double start = bench::nowSeconds();
        for (const std::vector<uint8_t>& bytes : originals)
            cleanedImage(bytes, image);
        pipeline.push_back(bench::nowSeconds() - start);
        start = bench::nowSeconds();
        for (size_t i = 0; i < originals.size(); ++i)
            refused += !verifyCleanedImage(originals[i].data(), originals[i].size(), images[i].data(),
                                           images[i].size());
        verifying.push_back(bench::nowSeconds() - start);
    }
    std::vector<double> batch;
    const fs::path work = fs::temp_directory_path() / "scourvane-verify-cost";
    for (int run = 0; run < 5; ++run)
        batch.push_back(batchSeconds(argv[1], argv[2], work));
    fs::remove_all(work);

    const double verify = median(verifying), memory = median(pipeline), whole = median(batch);
    std::printf("Verifier on %zu models (%zu refused): %.2f ms a pass\n", originals.size(), refused / rounds,
                verify * 1e3);
    std::printf(
        "   in-memory pipeline (load, count, clean, count, build): %.2f ms -> verifier %.1f%% of it\n",
        memory * 1e3, 100 * verify / memory);
    std::printf(
        "   whole batch (scourvane-cli --no-log, fresh copy, median of 5): %.0f ms -> verifier %.1f%% "
        "of it; goal under 10%% %s\n",
        whole * 1e3, 100 * verify / whole, verify < 0.1 * whole && whole > 0 ? "holds" : "MISSED");
    return refused == 0 && whole > 0 ? 0 : 1;
}
