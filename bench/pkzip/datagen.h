#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pkzipbench {

// xoshiro256**, seeded through splitmix64: the same seed gives the same bytes on every machine,
// so two runs of the benchmarks compress exactly the same data.
class Rng {
public:
    explicit Rng(std::uint64_t seed);
    std::uint64_t next();
    // Uniform in [low, high], both included.
    std::uint64_t between(std::uint64_t low, std::uint64_t high);

private:
    std::uint64_t m_state[4];
};

// One generated file: its path relative to the work folder ("small/d003/f001234.dat") and size.
struct PlannedFile {
    std::string relative;
    std::uint64_t size = 0;
};

// The shape of one data set. File sizes are drawn uniformly from [minSize, maxSize]; files are
// spread over folders of filesPerFolder files each, below the folder named prefix.
struct DataSetShape {
    std::string prefix;
    std::uint64_t count = 0;
    std::uint64_t filesPerFolder = 1000;
    std::uint64_t minSize = 0;
    std::uint64_t maxSize = 0;
    std::uint64_t seed = 1;
    // Whole files of one kind, two of three word-like text and one of three random bytes, rather
    // than every file mixing runs of both.
    bool wholeFileKinds = false;
};

// The files of a data set, in the order a user would select them (folder by folder, by name).
std::vector<PlannedFile> planDataSet(const DataSetShape& shape);

// The content of file number index of a data set: runs of word-like text (which deflate shrinks
// to about a third) alternating with runs of random bytes (which it cannot shrink), or with
// wholeFileKinds one kind for the whole file, decided by the seed and the index alone.
std::string fileContent(std::uint64_t seed, std::uint64_t index, std::uint64_t size,
                        bool wholeFileKinds = false);

// Writes every file of the data set below root; returns the total number of bytes written.
// Throws std::runtime_error when a file cannot be written.
std::uint64_t writeDataSet(const std::string& root, const DataSetShape& shape,
                           const std::vector<PlannedFile>& files);

} // namespace pkzipbench
