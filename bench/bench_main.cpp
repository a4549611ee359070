// scourvane-bench: the in-memory figures, each measured side by side with its yardstick in one run.
//
//   scourvane-bench pipeline DIR        load, count, clean and build every model of DIR from memory
//   scourvane-bench merge [--subset N]  worst cases of the vertex merge against the quadratic merge
//   scourvane-bench peer                dedup and renumbering against meshoptimizer
//   scourvane-bench make-model PATH MB  writes a seeded synthetic model of at least MB megabytes
//   scourvane-bench make-chain PATH sibling|child  writes a chain of a million empty parts
//
// Every input is fixed (the corpus, or a seed), so runs on one machine can be compared.
#include "bench/bench_support.h"

#include "clean/part_cleaner.h"
#include "model/model_reader.h"
#include "model/model_writer.h"
#include "platform/file_io.h"
#include "support/part_helpers.h"
#include "support/reference_cleaner.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace
{

using namespace scourvane;
using namespace scourvane::bench;

constexpr uint64_t benchSeed = 0x5C0B7A4E2026ull;

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    return n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

double best(const std::vector<double>& samples)
{
    return *std::min_element(samples.begin(), samples.end());
}

const char* verdict(bool holds)
{
    return holds ? "holds" : "MISSED";
}

// Keeps the optimiser from dropping work whose result is otherwise unused.
volatile uint64_t sink = 0;

// Heap allocations made through operator new since the start (counted by the replacement below).
uint64_t allocationCount = 0;

// ---- 1. the in-memory pipeline on real models ----

int benchPipeline(const char* folder)
{
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    std::vector<std::vector<uint8_t>> files(paths.size());
    uint64_t totalBytes = 0;
    for (size_t i = 0; i < paths.size(); ++i)
    {
        if (!platform::readWholeFile(paths[i].c_str(), files[i], maxModelFileSize))
        {
            std::fprintf(stderr, "cannot read %s\n", paths[i].c_str());
            return 1;
        }
        totalBytes += files[i].size();
    }
    if (files.empty())
    {
        std::fprintf(stderr, "no files in %s\n", folder);
        return 1;
    }

    constexpr int rounds = 30;
    std::vector<double> whole, loading, cleaning, building, copying;
    std::vector<uint8_t> copy(static_cast<size_t>(totalBytes));
    uint64_t allocationsInPass = 0;
    uint64_t faceTotal = 0, partTotal = 0;
    std::vector<uint8_t> image;
    size_t failures = 0;
    uint64_t outputBytes = 0;
    for (int round = 0; round < rounds; ++round)
    {
        // The yardstick, in the same round: a plain copy of the same bytes.
        const double copyStart = nowSeconds();
        size_t at = 0;
        for (const std::vector<uint8_t>& bytes : files)
        {
            std::memcpy(copy.data() + at, bytes.data(), bytes.size());
            at += bytes.size();
        }
        sink = sink + copy[static_cast<size_t>(round) % copy.size()];
        copying.push_back(nowSeconds() - copyStart);

        double load = 0, clean = 0, build = 0;
        const uint64_t allocationsBefore = allocationCount;
        const double start = nowSeconds();
        outputBytes = 0;
        for (const std::vector<uint8_t>& bytes : files)
        {
            const double t0 = nowSeconds();
            ObjectPart root;
            if (!root.loadModelBytes(bytes.data(), bytes.size()))
            {
                ++failures;
                continue;
            }
            const double t1 = nowSeconds();
            if (round == 0)
            {
                faceTotal += root.countFaces();
                walkParts(root, [&](const ObjectPart&) { ++partTotal; });
            }
            uint64_t counts = root.countVertexes() + uint64_t{root.countFaces()};
            cleanPart(root);
            counts += root.countVertexes() + uint64_t{root.countFaces()};
            const double t2 = nowSeconds();
            buildModelImage(root, image);
            const double t3 = nowSeconds();
            outputBytes += image.size();
            sink = sink + counts;
            load += t1 - t0;
            clean += t2 - t1;
            build += t3 - t2;
        }
        whole.push_back(nowSeconds() - start);
        allocationsInPass = allocationCount - allocationsBefore;
        loading.push_back(load);
        cleaning.push_back(clean);
        building.push_back(build);
    }
    const double megabytes = static_cast<double>(totalBytes) / 1e6;
    const double rate = megabytes / median(whole);
    std::printf("1. In-memory pipeline (load from bytes, count, clean, count, build image), one core\n");
    std::printf("   input: %zu models, %.2f MB; output %.2f MB; %zu failed to load; %d rounds\n",
                files.size(), megabytes, static_cast<double>(outputBytes) / 1e6, failures / rounds, rounds);
    std::printf("   median %.2f ms per pass = %.0f MB/s (best %.0f MB/s)\n", median(whole) * 1e3, rate,
                megabytes / best(whole));
    std::printf("   share of the time: load %.0f%%, count+clean %.0f%%, build %.0f%%\n",
                100 * median(loading) / median(whole), 100 * median(cleaning) / median(whole),
                100 * median(building) / median(whole));
    const double copyRatio = median(whole) / median(copying);
    std::printf(
        "   memcpy of the same bytes in the same rounds: median %.3f ms = %.0f MB/s; the pipeline takes "
        "%.1f times as long\n",
        median(copying) * 1e3, megabytes / median(copying), copyRatio);
    std::printf("   heap allocations in the last pass: %" PRIu64 " (%.2f a face, %.2f a part; %" PRIu64
                " faces, %" PRIu64 " parts)\n",
                allocationsInPass, static_cast<double>(allocationsInPass) / static_cast<double>(faceTotal),
                static_cast<double>(allocationsInPass) / static_cast<double>(partTotal), faceTotal,
                partTotal);
    std::printf("   goal at least 1200 MB/s and within 12 times the memcpy -> goal %s\n",
                verdict(rate >= 1200 && copyRatio <= 12));
    return failures ? 1 : 0;
}

// ---- 3. worst cases of the merge ----

int benchMerge(uint32_t baselineSubset)
{
    constexpr uint32_t triangles = 100000;
    constexpr int ourRounds = 15;
    std::printf("3. Merge worst cases: one part of %u vertexes and %u triangles\n", fullPartVertexes,
                triangles);
    if (baselineSubset < fullPartVertexes)
        std::printf("   the quadratic merge runs on the first %u vertexes only and is EXTRAPOLATED\n",
                    baselineSubset);
    for (MergeCase mergeCase : {MergeCase::allDifferent, MergeCase::allEqual, MergeCase::fewPositions})
    {
        const ObjectPart input = makeMergePart(mergeCase, fullPartVertexes, triangles, benchSeed);

        std::vector<double> ours;
        ObjectPart ourResult;
        for (int round = 0; round < ourRounds; ++round)
        {
            ObjectPart part = copyTree(input);
            const double start = nowSeconds();
            cleanSinglePart(part);
            ours.push_back(nowSeconds() - start);
            if (round == 0) ourResult = std::move(part);
        }

        double baseline = 0;
        const char* how = "measured in full";
        if (baselineSubset >= fullPartVertexes)
        {
            ObjectPart part = copyTree(input);
            const double start = nowSeconds();
            reference::quadraticMerge(part);
            baseline = nowSeconds() - start;
            reference::cleanAfterMerge(part);
            if (!sameTree(part, ourResult))
            {
                std::fprintf(stderr, "%s: the cleaning differs from the quadratic merge\n",
                             mergeCaseName(mergeCase));
                return 1;
            }
        }
        else
        {
            // The same shape at a smaller size; the search grows with the square of the vertexes
            // when none is equal, and each duplicate costs one pass over all the indexes otherwise.
            ObjectPart part = makeMergePart(mergeCase, baselineSubset, triangles, benchSeed);
            const double start = nowSeconds();
            reference::quadraticMerge(part);
            const double measured = nowSeconds() - start;
            const double scale = static_cast<double>(fullPartVertexes) / baselineSubset;
            baseline = mergeCase == MergeCase::allDifferent ? measured * scale * scale : measured * scale;
            how = "extrapolated";
        }
        const double ourTime = median(ours);
        const double speedup = baseline / ourTime;
        const bool holds = ourTime < 0.010 && speedup >= 100;
        std::printf("   (%s) ours %.2f ms (best %.2f), quadratic %.2f s (%s): %.0fx faster -> goal %s\n",
                    mergeCaseName(mergeCase), ourTime * 1e3, best(ours) * 1e3, baseline, how, speedup,
                    verdict(holds));
    }
    std::printf("   results equal to the quadratic merge's: %s\n",
                baselineSubset >= fullPartVertexes ? "checked" : "not checked (subset run)");
    return 0;
}

// ---- 4. dedup and renumbering against meshoptimizer ----

struct PeerInput
{
    std::vector<std::vector<unsigned int>> indexes; // one buffer per part
    std::vector<std::vector<Vertex>> vertexes;
};

PeerInput flatten(const ObjectPart& root)
{
    PeerInput input;
    walkParts(root,
              [&](const ObjectPart& part)
              {
                  input.indexes.emplace_back(part.indexes().begin(), part.indexes().end());
                  input.vertexes.emplace_back(part.vertexes().begin(), part.vertexes().end());
              });
    return input;
}

bool sameAsPeer(const ObjectPart& cleaned, const std::vector<std::vector<unsigned int>>& indexes,
                const std::vector<std::vector<Vertex>>& vertexes, const std::vector<size_t>& uniqueCounts)
{
    size_t p = 0;
    bool same = true;
    walkParts(cleaned,
              [&](const ObjectPart& part)
              {
                  if (part.vertexes().size() != uniqueCounts[p] ||
                      !std::equal(part.vertexes().begin(), part.vertexes().end(), vertexes[p].begin()))
                      same = false;
                  if (!std::equal(part.indexes().begin(), part.indexes().end(), indexes[p].begin(),
                                  indexes[p].end()))
                      same = false;
                  ++p;
              });
    return same;
}

int benchPeer()
{
    constexpr uint32_t parts = 64;
    constexpr int rounds = 7;
    std::printf("4. Vertex dedup + renumbering against meshoptimizer %d.%d, %u parts of %u vertexes\n",
                MESHOPTIMIZER_VERSION / 1000, MESHOPTIMIZER_VERSION % 1000 / 10, parts, fullPartVertexes);
    for (uint32_t distinct : {16384u, 1u << 24})
    {
        const ObjectPart model = makeSoupModel(parts, fullPartVertexes, distinct, benchSeed + distinct);
        const PeerInput input = flatten(model);
        const double vertexCount = static_cast<double>(parts) * fullPartVertexes;

        // Output buffers and the remap table are made before the clock starts, which favours the peer.
        std::vector<std::vector<unsigned int>> outIndexes(input.indexes);
        std::vector<std::vector<Vertex>> outVertexes(input.vertexes);
        std::vector<unsigned int> remap(fullPartVertexes);
        size_t uniqueTotal = 0;
        auto runPeer = [&]
        {
            uniqueTotal = 0;
            for (size_t p = 0; p < input.indexes.size(); ++p)
            {
                const size_t count = input.vertexes[p].size();
                uniqueTotal += meshopt_generateVertexRemap(remap.data(), input.indexes[p].data(),
                                                           input.indexes[p].size(), input.vertexes[p].data(),
                                                           count, sizeof(Vertex));
                meshopt_remapIndexBuffer(outIndexes[p].data(), input.indexes[p].data(),
                                         input.indexes[p].size(), remap.data());
                meshopt_remapVertexBuffer(outVertexes[p].data(), input.vertexes[p].data(), count,
                                          sizeof(Vertex), remap.data());
            }
        };

        // Side by side in each round, so both see the same load on a shared machine.
        std::vector<double> ours, peer, ratios;
        for (int round = 0; round < rounds; ++round)
        {
            ObjectPart copy = copyTree(model); // building the tree is not part of the work measured
            double start = nowSeconds();
            cleanPart(copy);
            ours.push_back(nowSeconds() - start);
            start = nowSeconds();
            runPeer();
            peer.push_back(nowSeconds() - start);
            ratios.push_back(peer.back() / ours.back());
        }
        sink = sink + uniqueTotal;

        // Both must give the same vertexes in the same first-use order and the same indexes.
        ObjectPart cleaned = copyTree(model);
        cleanPart(cleaned);
        std::vector<size_t> uniqueCounts;
        for (size_t p = 0; p < input.indexes.size(); ++p)
            uniqueCounts.push_back(meshopt_generateVertexRemap(
                remap.data(), input.indexes[p].data(), input.indexes[p].size(), input.vertexes[p].data(),
                input.vertexes[p].size(), sizeof(Vertex)));
        if (!sameAsPeer(cleaned, outIndexes, outVertexes, uniqueCounts))
        {
            std::fprintf(stderr, "our cleaning and meshoptimizer disagree\n");
            return 1;
        }

        const double ourRate = vertexCount / median(ours);
        const double peerRate = vertexCount / median(peer);
        const double ratio = median(ratios);
        std::printf("   %.1f M vertexes, %.0f%% kept after the merge: ours %.1f M vertexes/s (%.1f ms), "
                    "meshoptimizer %.1f M vertexes/s (%.1f ms)\n",
                    vertexCount / 1e6, 100.0 * static_cast<double>(uniqueTotal) / vertexCount, ourRate / 1e6,
                    median(ours) * 1e3, peerRate / 1e6, median(peer) * 1e3);
        std::printf("     ours / meshoptimizer speed, median of %d paired rounds: %.2f -> goal %s\n", rounds,
                    ratio, verdict(ratio >= 1));
    }
    std::printf("   results identical to meshoptimizer's (vertexes and indexes): checked\n");
    return 0;
}

// ---- 5. the large synthetic model ----

int makeModel(const char* path, double megabytes)
{
    const ObjectPart model = makeLargeModel(static_cast<uint64_t>(megabytes * 1e6), benchSeed);
    SaveError error;
    if (!model.saveModelFile(path, &error))
    {
        std::fprintf(stderr, "cannot write %s: %s\n", path, describeSaveError(error));
        return 1;
    }
    std::printf("%s: %" PRIu64 " bytes, %u vertexes, %u faces\n", path, modelImageSize(model),
                model.countVertexes(), model.countFaces());
    return 0;
}

// A root with a chain of a million empty parts below it, as siblings (the root's child and its
// siblings) or each the child of the one before: the hostile files' chains, laid out by the writer.
int makeChain(const char* path, bool asSiblings)
{
    ObjectPart root;
    root.name = std::string("root") + '\0';
    std::unique_ptr<ObjectPart>* link = &root.child;
    for (int i = 0; i < 1000000; ++i)
    {
        *link = std::make_unique<ObjectPart>();
        (*link)->name = std::string("p") + '\0';
        link = asSiblings ? &(*link)->sibling : &(*link)->child;
    }
    SaveError error;
    if (!root.saveModelFile(path, &error))
    {
        std::fprintf(stderr, "cannot write %s: %s\n", path, describeSaveError(error));
        return 1;
    }
    return 0;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: scourvane-bench pipeline DIR | merge [--subset N] | peer | make-model PATH MB |\n"
                 "       make-chain PATH sibling|child\n");
    return 2;
}

} // namespace

// Every allocation of the program goes through here, so a pass can count its own.
void* operator new(size_t size)
{
    ++allocationCount;
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, size_t) noexcept
{
    std::free(block);
}

int main(int argc, char** argv)
{
    if (argc < 2) return usage();
    const std::string command = argv[1];
    if (command == "pipeline" && argc == 3) return benchPipeline(argv[2]);
    if (command == "merge" && (argc == 2 || (argc == 4 && std::strcmp(argv[2], "--subset") == 0)))
    {
        uint32_t subset = fullPartVertexes;
        if (argc == 4) subset = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
        if (subset == 0 || subset > fullPartVertexes) return usage();
        return benchMerge(subset);
    }
    if (command == "peer" && argc == 2) return benchPeer();
    if (command == "make-model" && argc == 4) return makeModel(argv[2], std::strtod(argv[3], nullptr));
    if (command == "make-chain" && argc == 4 &&
        (std::strcmp(argv[3], "sibling") == 0 || std::strcmp(argv[3], "child") == 0))
        return makeChain(argv[2], std::strcmp(argv[3], "sibling") == 0);
    return usage();
}
