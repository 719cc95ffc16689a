#include "datagen.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace pkzipbench {

namespace {

std::uint64_t splitmix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

constexpr std::size_t kWordCount = 512;

// A fixed vocabulary of pronounceable words, built from syllables so that the text has the
// repetition of real prose without shipping a word list.
const std::vector<std::string>& vocabulary() {
    static const std::vector<std::string> words = [] {
        static const std::array<const char*, 24> syllables = {
            "ar",  "be", "con", "de",  "el",  "for", "ga",  "his", "in", "jo",  "ka", "le",
            "men", "no", "or",  "pre", "qua", "ro",  "sta", "ter", "un", "ver", "wi", "zy"};
        Rng rng(0x5EED0F7E47ULL);
        std::vector<std::string> list;
        list.reserve(kWordCount);
        while (list.size() < kWordCount) {
            std::string word;
            const std::uint64_t parts = rng.between(1, 4);
            for (std::uint64_t i = 0; i < parts; ++i) {
                word += syllables[rng.between(0, syllables.size() - 1)];
            }
            list.push_back(word);
        }
        return list;
    }();
    return words;
}

void appendText(std::string& out, Rng& rng, std::size_t length) {
    const auto& words = vocabulary();
    std::size_t lineLength = 0;
    const std::size_t end = out.size() + length;
    while (out.size() < end) {
        // The smaller of two draws favours the first words, as common words dominate prose.
        const std::size_t index = std::min(rng.between(0, kWordCount - 1), rng.between(0, kWordCount - 1));
        const std::string& word = words[index];
        out += word;
        lineLength += word.size();
        const std::uint64_t mark = rng.between(0, 15);
        if (mark == 0) {
            out += ',';
        } else if (mark == 1) {
            out += " " + std::to_string(rng.between(0, 9999));
        }
        if (lineLength > 72) {
            out += '\n';
            lineLength = 0;
        } else {
            out += ' ';
            ++lineLength;
        }
    }
    out.resize(end);
}

void appendRandom(std::string& out, Rng& rng, std::size_t length) {
    const std::size_t start = out.size();
    out.resize(start + length);
    std::size_t at = start;
    while (at < out.size()) {
        const std::uint64_t value = rng.next();
        const std::size_t n = std::min<std::size_t>(8, out.size() - at);
        std::memcpy(out.data() + at, &value, n);
        at += n;
    }
}

std::string numbered(char letter, std::uint64_t number, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%c%0*llu", letter, digits, static_cast<unsigned long long>(number));
    return text;
}

} // namespace

Rng::Rng(std::uint64_t seed) {
    for (auto& word : m_state) {
        word = splitmix64(seed);
    }
}

std::uint64_t Rng::next() {
    const std::uint64_t result = rotl(m_state[1] * 5, 7) * 9;
    const std::uint64_t t = m_state[1] << 17;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = rotl(m_state[3], 45);
    return result;
}

std::uint64_t Rng::between(std::uint64_t low, std::uint64_t high) {
    const std::uint64_t span = high - low + 1;
    return span == 0 ? next() : low + next() % span;
}

std::vector<PlannedFile> planDataSet(const DataSetShape& shape) {
    Rng rng(shape.seed * 0x100000001B3ULL + shape.count);
    std::vector<PlannedFile> files;
    files.reserve(shape.count);
    for (std::uint64_t i = 0; i < shape.count; ++i) {
        PlannedFile file;
        file.relative = shape.prefix + "/" + numbered('d', i / shape.filesPerFolder, 3) + "/" +
                        numbered('f', i, 6) + ".dat";
        file.size = rng.between(shape.minSize, shape.maxSize);
        files.push_back(std::move(file));
    }
    return files;
}

std::string fileContent(std::uint64_t seed, std::uint64_t index, std::uint64_t size, bool wholeFileKinds) {
    Rng rng(seed ^ (index * 0xD6E8FEB86659FD93ULL));
    std::string out;
    out.reserve(size);
    if (wholeFileKinds) {
        if (rng.between(0, 2) == 0) {
            appendRandom(out, rng, size);
        } else {
            appendText(out, rng, size);
        }
        return out;
    }
    while (out.size() < size) {
        const std::size_t length = std::min<std::uint64_t>(rng.between(512, 32 * 1024), size - out.size());
        if (rng.between(0, 99) < 65) {
            appendText(out, rng, length);
        } else {
            appendRandom(out, rng, length);
        }
    }
    return out;
}

std::uint64_t writeDataSet(const std::string& root, const DataSetShape& shape,
                           const std::vector<PlannedFile>& files) {
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::filesystem::path path = std::filesystem::path(root) / files[i].relative;
        std::filesystem::create_directories(path.parent_path());
        const std::string content = fileContent(shape.seed, i, files[i].size, shape.wholeFileKinds);
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) {
            throw std::runtime_error("cannot create " + path.string() + ": " + std::strerror(errno));
        }
        const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
        if (std::fclose(out) != 0 || !written) {
            throw std::runtime_error("cannot write " + path.string());
        }
        total += content.size();
    }
    return total;
}

} // namespace pkzipbench
