// Method 98, PPMd variant I revision 1 (Dmitry Shkarin's model with Dmitry Subbotin's carryless range
// coder), as ZIP stores it: a 2-byte header (model order less one in bits 0-3, memory size in MiB
// less one in bits 4-11, restoration method in bits 12-15), then the coded bytes. No Debian library
// decodes it, so this is the tool's own decoder. The model is the encoder's own, updated in the
// same steps; every byte of the arena it lives in is addressed by a 32-bit offset from its base.

#include "decoder.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>

namespace pkzip {

namespace {

constexpr unsigned kMaxOrder = 16;
constexpr unsigned kUnitSize = 12;
constexpr unsigned kIndexes = 38;
constexpr unsigned kMaxFreq = 124;
constexpr unsigned kIntBits = 7;
constexpr unsigned kPeriodBits = 7;
constexpr unsigned kBinScale = 1u << (kIntBits + kPeriodBits);
constexpr uint32_t kTop = 1u << 24;
constexpr uint32_t kBottom = 1u << 15;
constexpr uint32_t kEmptyNode = 0xffffffffu;
constexpr unsigned kRestart = 0; // restoration method 0; 1 cuts the model off instead
constexpr int kEndMark = -1;
constexpr int kError = -2;

constexpr uint8_t kExpEscape[16] = {25, 14, 9, 7, 5, 5, 4, 4, 4, 3, 3, 3, 2, 2, 2, 2};
constexpr uint16_t kInitBinEscape[8] = {0x3CDD, 0x1F3F, 0x59BF, 0x48F3, 0x64A1, 0x5ABC, 0x6632, 0x6051};

struct State {
    uint8_t symbol;
    uint8_t freq;
    uint16_t successorLow;
    uint16_t successorHigh;
    uint32_t successor() const { return successorLow | (uint32_t{successorHigh} << 16); }
    void setSuccessor(uint32_t v) {
        successorLow = static_cast<uint16_t>(v & 0xffff);
        successorHigh = static_cast<uint16_t>(v >> 16);
    }
};

// numStats is the number of states less one; a context of one state keeps it in place of summFreq
// and stats (oneState).
struct Context {
    uint8_t numStats;
    uint8_t flags;
    uint16_t summFreq;
    uint32_t stats;
    uint32_t suffix;
    State* oneState() { return reinterpret_cast<State*>(&summFreq); }
};

struct Node {
    uint32_t stamp;
    uint32_t next;
    uint32_t nu;
};

struct See {
    uint16_t summ;
    uint8_t shift;
    uint8_t count;
    void update() {
        if (shift < kPeriodBits && --count == 0) {
            summ = static_cast<uint16_t>(summ << 1);
            count = static_cast<uint8_t>(3 << shift++);
        }
    }
};

static_assert(sizeof(State) == 6 && sizeof(Context) == 12 && sizeof(Node) == 12);

// The coded bytes, as the range decoder takes them: zeros past the end, counted.
class ByteInput {
public:
    explicit ByteInput(ByteSource& source) : m_source(source), m_buffer(scratchBuffer(0)) {}
    uint8_t next() {
        if (m_next == m_end && !refill()) {
            ++m_pastEnd;
            return 0;
        }
        return *m_next++;
    }
    uint64_t pastEnd() const { return m_pastEnd; }
    const Status& status() const { return m_status; }

private:
    bool refill() {
        if (m_done || !m_status.ok()) {
            return false;
        }
        Result<size_t> n = m_source.read(m_buffer, kScratchSize);
        if (!n.ok()) {
            m_status = n.error();
            return false;
        }
        m_done = *n == 0;
        m_next = reinterpret_cast<const uint8_t*>(m_buffer);
        m_end = m_next + *n;
        return *n != 0;
    }

    ByteSource& m_source;
    char* m_buffer;
    const uint8_t* m_next = nullptr;
    const uint8_t* m_end = nullptr;
    bool m_done = false;
    uint64_t m_pastEnd = 0;
    Status m_status;
};

class Model {
public:
    Model(ByteInput& input, uint8_t* base, uint32_t size, unsigned maxOrder, unsigned restoreMethod)
        : m_in(input), m_base(base), m_size(size), m_alignOffset(4 - (size & 3)), m_maxOrder(maxOrder),
          m_restoreMethod(restoreMethod) {
        for (unsigned i = 0, k = 0; i < kIndexes; ++i) {
            for (unsigned step = i >= 12 ? 4 : (i >> 2) + 1; step > 0; --step) {
                m_units2Index[k++] = static_cast<uint8_t>(i);
            }
            m_index2Units[i] = static_cast<uint8_t>(k);
        }
        m_ns2bsIndex[0] = 0 << 1;
        m_ns2bsIndex[1] = 1 << 1;
        std::memset(m_ns2bsIndex + 2, 2 << 1, 9);
        std::memset(m_ns2bsIndex + 11, 3 << 1, 256 - 11);
        unsigned i = 0;
        for (; i < 5; ++i) {
            m_ns2Index[i] = static_cast<uint8_t>(i);
        }
        for (unsigned m = i, k = 1; i < 260; ++i) {
            m_ns2Index[i] = static_cast<uint8_t>(m);
            if (--k == 0) {
                k = (++m) - 4;
            }
        }
        restartModel();
        m_dummySee.shift = kPeriodBits;
        m_dummySee.summ = 0;
        m_dummySee.count = 64;
        m_range = 0xffffffff;
        for (int b = 0; b < 4; ++b) {
            m_code = (m_code << 8) | m_in.next();
        }
    }

    bool startedWell() const { return m_code < 0xffffffff; }

    // The next byte, kEndMark at the end marker, kError for data no encoder makes.
    int decodeSymbol();

private:
    // --- the arena ---
    uint8_t* ptr(uint32_t offset) const { return m_base + offset; }
    uint32_t ref(const void* p) const {
        return static_cast<uint32_t>(static_cast<const uint8_t*>(p) - m_base);
    }
    Context* context(uint32_t offset) const { return reinterpret_cast<Context*>(m_base + offset); }
    State* stats(const Context* c) const { return reinterpret_cast<State*>(m_base + c->stats); }
    Context* suffix(const Context* c) const { return context(c->suffix); }
    Node* node(uint32_t offset) const { return reinterpret_cast<Node*>(m_base + offset); }
    unsigned u2i(unsigned nu) const { return m_units2Index[nu - 1]; }
    unsigned i2u(unsigned index) const { return m_index2Units[index]; }
    static uint32_t u2b(unsigned nu) { return nu * kUnitSize; }
    static void copyUnits(void* to, const void* from, unsigned nu) { std::memmove(to, from, u2b(nu)); }

    void insertNode(void* p, unsigned index) {
        Node* n = static_cast<Node*>(p);
        n->stamp = kEmptyNode;
        n->next = m_freeList[index];
        n->nu = i2u(index);
        m_freeList[index] = ref(p);
        ++m_stamps[index];
    }
    void* removeNode(unsigned index) {
        Node* n = node(m_freeList[index]);
        m_freeList[index] = n->next;
        --m_stamps[index];
        return n;
    }
    void splitBlock(void* p, unsigned oldIndex, unsigned newIndex) {
        const unsigned nu = i2u(oldIndex) - i2u(newIndex);
        uint8_t* rest = static_cast<uint8_t*>(p) + u2b(i2u(newIndex));
        unsigned i = u2i(nu);
        if (i2u(i) != nu) {
            const unsigned k = i2u(--i);
            insertNode(rest + u2b(k), nu - k - 1);
        }
        insertNode(rest, i);
    }
    void glueFreeBlocks();
    void* allocUnitsRare(unsigned index);
    void* allocUnits(unsigned index) {
        if (m_freeList[index] != 0) {
            return removeNode(index);
        }
        const uint32_t bytes = u2b(i2u(index));
        if (bytes <= static_cast<uint32_t>(m_hiUnit - m_loUnit)) {
            void* p = m_loUnit;
            m_loUnit += bytes;
            return p;
        }
        return allocUnitsRare(index);
    }
    void* shrinkUnits(void* oldPtr, unsigned oldNu, unsigned newNu) {
        const unsigned i0 = u2i(oldNu);
        const unsigned i1 = u2i(newNu);
        if (i0 == i1) {
            return oldPtr;
        }
        if (m_freeList[i1] != 0) {
            void* p = removeNode(i1);
            copyUnits(p, oldPtr, newNu);
            insertNode(oldPtr, i0);
            return p;
        }
        splitBlock(oldPtr, i0, i1);
        return oldPtr;
    }
    void freeUnits(void* p, unsigned nu) { insertNode(p, u2i(nu)); }
    void specialFreeUnit(void* p) {
        if (static_cast<uint8_t*>(p) != m_unitsStart) {
            insertNode(p, 0);
        } else {
            m_unitsStart += kUnitSize;
        }
    }
    void* moveUnitsUp(void* oldPtr, unsigned nu);
    void expandTextArea();
    uint32_t usedMemory() const {
        uint32_t units = 0;
        for (unsigned i = 0; i < kIndexes; ++i) {
            units += m_stamps[i] * i2u(i);
        }
        return m_size - static_cast<uint32_t>(m_hiUnit - m_loUnit) -
               static_cast<uint32_t>(m_unitsStart - m_text) - u2b(units);
    }

    // --- the model ---
    void resetText() { m_text = m_base + m_alignOffset; }
    void restartModel();
    void refresh(Context* c, unsigned oldNu, unsigned scale);
    uint32_t cutOff(Context* c, unsigned order);
    void restoreModel(Context* c1);
    Context* createSuccessors(bool skip, State* s1, Context* c);
    Context* reduceOrder(State* s1, Context* c);
    void updateModel();
    void rescale();
    See* makeEscFreq(unsigned numMasked, uint32_t& escFreq);
    void nextContext();
    void update1();
    void update1First();
    void updateBin();
    void update2();
    uint16_t& binSumm() {
        const Context* c = m_minContext;
        return m_binSumm[m_ns2Index[const_cast<Context*>(c)->oneState()->freq - 1]]
                        [m_ns2bsIndex[suffix(c)->numStats] + m_prevSuccess + c->flags +
                         ((m_runLength >> 26) & 0x20)];
    }

    // --- the range decoder ---
    uint32_t threshold(uint32_t total) { return m_code / (m_range /= total); }
    void decode(uint32_t start, uint32_t size) {
        start *= m_range;
        m_low += start;
        m_code -= start;
        m_range *= size;
        while ((m_low ^ (m_low + m_range)) < kTop ||
               (m_range < kBottom && ((m_range = (0 - m_low) & (kBottom - 1)), true))) {
            m_code = (m_code << 8) | m_in.next();
            m_range <<= 8;
            m_low <<= 8;
        }
    }
    // A total larger than the range would divide by zero; the encoder makes the same correction.
    uint32_t fitted(uint32_t total) const { return std::min(total, m_range); }

    ByteInput& m_in;
    uint8_t* m_base;
    uint32_t m_size;
    uint32_t m_alignOffset;
    unsigned m_maxOrder;
    unsigned m_restoreMethod;

    Context* m_minContext = nullptr;
    Context* m_maxContext = nullptr;
    State* m_foundState = nullptr;
    unsigned m_orderFall = 0;
    unsigned m_initEsc = 0;
    unsigned m_prevSuccess = 0;
    int32_t m_runLength = 0;
    int32_t m_initRunLength = 0;
    uint32_t m_glueCount = 0;
    uint8_t* m_loUnit = nullptr;
    uint8_t* m_hiUnit = nullptr;
    uint8_t* m_text = nullptr;
    uint8_t* m_unitsStart = nullptr;

    uint32_t m_range = 0;
    uint32_t m_code = 0;
    uint32_t m_low = 0;

    uint8_t m_index2Units[kIndexes];
    uint8_t m_units2Index[128];
    uint32_t m_freeList[kIndexes] = {};
    uint32_t m_stamps[kIndexes] = {};
    uint8_t m_ns2bsIndex[256];
    uint8_t m_ns2Index[260];
    See m_dummySee{};
    See m_see[24][32];
    uint16_t m_binSumm[25][64];
};

void Model::glueFreeBlocks() {
    uint32_t head = 0;
    uint32_t* previous = &head;
    m_glueCount = 1 << 13;
    std::memset(m_stamps, 0, sizeof m_stamps);
    // The order-0 context is always the top unit, so no guard is needed at the end; blocks up to
    // loUnit may all be free, so one is needed there.
    if (m_loUnit != m_hiUnit) {
        reinterpret_cast<Node*>(m_loUnit)->stamp = 0;
    }
    for (unsigned i = 0; i < kIndexes; ++i) {
        uint32_t next = m_freeList[i];
        m_freeList[i] = 0;
        while (next != 0) {
            Node* n = node(next);
            if (n->nu != 0) {
                *previous = next;
                previous = &n->next;
                for (Node* after = n + n->nu; after->stamp == kEmptyNode; after = n + n->nu) {
                    n->nu += after->nu;
                    after->nu = 0;
                }
            }
            next = n->next;
        }
    }
    *previous = 0;
    while (head != 0) {
        Node* n = node(head);
        head = n->next;
        unsigned nu = n->nu;
        if (nu == 0) {
            continue;
        }
        for (; nu > 128; nu -= 128, n += 128) {
            insertNode(n, kIndexes - 1);
        }
        unsigned i = u2i(nu);
        if (i2u(i) != nu) {
            const unsigned k = i2u(--i);
            insertNode(n + k, nu - k - 1);
        }
        insertNode(n, i);
    }
}

void* Model::allocUnitsRare(unsigned index) {
    if (m_glueCount == 0) {
        glueFreeBlocks();
        if (m_freeList[index] != 0) {
            return removeNode(index);
        }
    }
    unsigned i = index;
    do {
        if (++i == kIndexes) {
            const uint32_t bytes = u2b(i2u(index));
            --m_glueCount;
            return static_cast<uint32_t>(m_unitsStart - m_text) > bytes ? (m_unitsStart -= bytes) : nullptr;
        }
    } while (m_freeList[i] == 0);
    void* p = removeNode(i);
    splitBlock(p, i, index);
    return p;
}

void* Model::moveUnitsUp(void* oldPtr, unsigned nu) {
    const unsigned index = u2i(nu);
    if (static_cast<uint8_t*>(oldPtr) > m_unitsStart + 16 * 1024 || ref(oldPtr) > m_freeList[index]) {
        return oldPtr;
    }
    void* p = removeNode(index);
    copyUnits(p, oldPtr, nu);
    if (static_cast<uint8_t*>(oldPtr) != m_unitsStart) {
        insertNode(oldPtr, index);
    } else {
        m_unitsStart += u2b(i2u(index));
    }
    return p;
}

void Model::expandTextArea() {
    uint32_t count[kIndexes] = {};
    if (m_loUnit != m_hiUnit) {
        reinterpret_cast<Node*>(m_loUnit)->stamp = 0;
    }
    Node* n = reinterpret_cast<Node*>(m_unitsStart);
    for (; n->stamp == kEmptyNode; n += n->nu) {
        n->stamp = 0;
        ++count[u2i(n->nu)];
    }
    m_unitsStart = reinterpret_cast<uint8_t*>(n);
    for (unsigned i = 0; i < kIndexes; ++i) {
        uint32_t* next = &m_freeList[i];
        while (count[i] != 0) {
            Node* at = node(*next);
            while (at->stamp == 0) {
                *next = at->next;
                at = node(*next);
                --m_stamps[i];
                if (--count[i] == 0) {
                    break;
                }
            }
            next = &at->next;
        }
    }
}

void Model::restartModel() {
    std::memset(m_freeList, 0, sizeof m_freeList);
    std::memset(m_stamps, 0, sizeof m_stamps);
    resetText();
    m_hiUnit = m_text + m_size;
    m_loUnit = m_unitsStart = m_hiUnit - m_size / 8 / kUnitSize * 7 * kUnitSize;
    m_glueCount = 0;
    m_orderFall = m_maxOrder;
    m_runLength = m_initRunLength = -static_cast<int32_t>(std::min(m_maxOrder, 12u)) - 1;
    m_prevSuccess = 0;

    m_hiUnit -= kUnitSize;
    m_minContext = m_maxContext = reinterpret_cast<Context*>(m_hiUnit);
    m_minContext->suffix = 0;
    m_minContext->numStats = 255;
    m_minContext->flags = 0;
    m_minContext->summFreq = 256 + 1;
    m_foundState = reinterpret_cast<State*>(m_loUnit);
    m_loUnit += u2b(256 / 2);
    m_minContext->stats = ref(m_foundState);
    for (unsigned i = 0; i < 256; ++i) {
        State& s = m_foundState[i];
        s.symbol = static_cast<uint8_t>(i);
        s.freq = 1;
        s.setSuccessor(0);
    }
    for (unsigned i = 0, m = 0; m < 25; ++m) {
        while (m_ns2Index[i] == m) {
            ++i;
        }
        for (unsigned k = 0; k < 8; ++k) {
            const auto value = static_cast<uint16_t>(kBinScale - kInitBinEscape[k] / (i + 1));
            for (unsigned r = 0; r < 64; r += 8) {
                m_binSumm[m][k + r] = value;
            }
        }
    }
    for (unsigned i = 0, m = 0; m < 24; ++m) {
        while (m_ns2Index[i + 3] == m + 3) {
            ++i;
        }
        for (unsigned k = 0; k < 32; ++k) {
            See& see = m_see[m][k];
            see.shift = kPeriodBits - 4;
            see.summ = static_cast<uint16_t>((2 * i + 5) << see.shift);
            see.count = 7;
        }
    }
}

void Model::refresh(Context* c, unsigned oldNu, unsigned scale) {
    unsigned i = c->numStats;
    State* s = static_cast<State*>(shrinkUnits(stats(c), oldNu, (i + 2) >> 1));
    c->stats = ref(s);
    unsigned flags = (c->flags & (0x10 + 0x04 * scale)) + 0x08 * (s->symbol >= 0x40);
    unsigned escFreq = c->summFreq - s->freq;
    unsigned sumFreq = (s->freq = static_cast<uint8_t>((s->freq + scale) >> scale));
    do {
        escFreq -= (++s)->freq;
        sumFreq += (s->freq = static_cast<uint8_t>((s->freq + scale) >> scale));
        flags |= 0x08 * (s->symbol >= 0x40);
    } while (--i);
    c->summFreq = static_cast<uint16_t>(sumFreq + ((escFreq + scale) >> scale));
    c->flags = static_cast<uint8_t>(flags);
}

uint32_t Model::cutOff(Context* c, unsigned order) {
    if (c->numStats == 0) {
        State* s = c->oneState();
        if (ptr(s->successor()) >= m_unitsStart) {
            s->setSuccessor(order < m_maxOrder ? cutOff(context(s->successor()), order + 1) : 0);
            if (s->successor() != 0 || order <= 9) {
                return ref(c);
            }
        }
        specialFreeUnit(c);
        return 0;
    }
    const unsigned units = (static_cast<unsigned>(c->numStats) + 2) >> 1;
    c->stats = ref(moveUnitsUp(stats(c), units));
    int i = c->numStats;
    for (State* s = stats(c) + i; s >= stats(c); --s) {
        if (ptr(s->successor()) < m_unitsStart) {
            State* last = stats(c) + (i--);
            s->setSuccessor(0);
            std::swap(*s, *last);
        } else {
            s->setSuccessor(order < m_maxOrder ? cutOff(context(s->successor()), order + 1) : 0);
        }
    }
    if (i != c->numStats && order != 0) {
        c->numStats = static_cast<uint8_t>(i);
        State* s = stats(c);
        if (i < 0) {
            freeUnits(s, units);
            specialFreeUnit(c);
            return 0;
        }
        if (i == 0) {
            c->flags = static_cast<uint8_t>((c->flags & 0x10) + 0x08 * (s->symbol >= 0x40));
            *c->oneState() = *s;
            freeUnits(s, units);
            c->oneState()->freq =
                static_cast<uint8_t>((static_cast<unsigned>(c->oneState()->freq) + 11) >> 3);
        } else {
            refresh(c, units, c->summFreq > 16 * i);
        }
    }
    return ref(c);
}

void Model::restoreModel(Context* c1) {
    resetText();
    Context* c = m_maxContext;
    for (; c != c1; c = suffix(c)) {
        if (--c->numStats == 0) {
            State* s = stats(c);
            c->flags = static_cast<uint8_t>((c->flags & 0x10) + 0x08 * (s->symbol >= 0x40));
            *c->oneState() = *s;
            specialFreeUnit(s);
            c->oneState()->freq =
                static_cast<uint8_t>((static_cast<unsigned>(c->oneState()->freq) + 11) >> 3);
        } else {
            refresh(c, (c->numStats + 3) >> 1, 0);
        }
    }
    for (; c != m_minContext; c = suffix(c)) {
        if (c->numStats == 0) {
            c->oneState()->freq = static_cast<uint8_t>(c->oneState()->freq - (c->oneState()->freq >> 1));
        } else if ((c->summFreq = static_cast<uint16_t>(c->summFreq + 4)) > 128 + 4 * c->numStats) {
            refresh(c, (c->numStats + 2) >> 1, 1);
        }
    }
    if (m_restoreMethod == kRestart || usedMemory() < (m_size >> 1)) {
        restartModel();
        return;
    }
    while (m_maxContext->suffix != 0) {
        m_maxContext = suffix(m_maxContext);
    }
    do {
        cutOff(m_maxContext, 0);
        expandTextArea();
    } while (usedMemory() > 3 * (m_size >> 2));
    m_glueCount = 0;
    m_orderFall = m_maxOrder;
}

Context* Model::createSuccessors(bool skip, State* s1, Context* c) {
    const uint32_t upBranch = m_foundState->successor();
    State* pending[kMaxOrder + 1];
    unsigned count = 0;
    if (!skip) {
        pending[count++] = m_foundState;
    }
    while (c->suffix != 0) {
        c = suffix(c);
        State* s;
        if (s1 != nullptr) {
            s = s1;
            s1 = nullptr;
        } else if (c->numStats != 0) {
            for (s = stats(c); s->symbol != m_foundState->symbol; ++s) {
            }
            if (s->freq < kMaxFreq - 9) {
                ++s->freq;
                ++c->summFreq;
            }
        } else {
            s = c->oneState();
            s->freq = static_cast<uint8_t>(s->freq + ((suffix(c)->numStats == 0) & (s->freq < 24)));
        }
        const uint32_t successor = s->successor();
        if (successor != upBranch) {
            c = context(successor);
            if (count == 0) {
                return c;
            }
            break;
        }
        pending[count++] = s;
    }
    State up;
    up.symbol = *ptr(upBranch);
    up.setSuccessor(upBranch + 1);
    const auto flags =
        static_cast<uint8_t>(0x10 * (m_foundState->symbol >= 0x40) + 0x08 * (up.symbol >= 0x40));
    if (c->numStats == 0) {
        up.freq = c->oneState()->freq;
    } else {
        State* s = stats(c);
        for (; s->symbol != up.symbol; ++s) {
        }
        const uint32_t cf = s->freq - 1u;
        const uint32_t s0 = c->summFreq - c->numStats - cf;
        up.freq = static_cast<uint8_t>(1 + ((2 * cf <= s0) ? (5 * cf > s0) : ((cf + 2 * s0 - 3) / s0)));
    }
    do {
        Context* child;
        if (m_hiUnit != m_loUnit) {
            m_hiUnit -= kUnitSize;
            child = reinterpret_cast<Context*>(m_hiUnit);
        } else if (m_freeList[0] != 0) {
            child = static_cast<Context*>(removeNode(0));
        } else {
            child = static_cast<Context*>(allocUnitsRare(0));
            if (child == nullptr) {
                return nullptr;
            }
        }
        child->numStats = 0;
        child->flags = flags;
        *child->oneState() = up;
        child->suffix = ref(c);
        pending[--count]->setSuccessor(ref(child));
        c = child;
    } while (count != 0);
    return c;
}

Context* Model::reduceOrder(State* s1, Context* c) {
    State* s = nullptr;
    Context* const c1 = c;
    const uint32_t upBranch = ref(m_text);
    m_foundState->setSuccessor(upBranch);
    ++m_orderFall;
    for (;;) {
        if (s1 != nullptr) {
            c = suffix(c);
            s = s1;
            s1 = nullptr;
        } else {
            if (c->suffix == 0) {
                return c;
            }
            c = suffix(c);
            if (c->numStats != 0) {
                for (s = stats(c); s->symbol != m_foundState->symbol; ++s) {
                }
                if (s->freq < kMaxFreq - 9) {
                    s->freq = static_cast<uint8_t>(s->freq + 2);
                    c->summFreq = static_cast<uint16_t>(c->summFreq + 2);
                }
            } else {
                s = c->oneState();
                s->freq = static_cast<uint8_t>(s->freq + (s->freq < 32));
            }
        }
        if (s->successor() != 0) {
            break;
        }
        s->setSuccessor(upBranch);
        ++m_orderFall;
    }
    if (s->successor() <= upBranch) {
        State* const found = m_foundState;
        m_foundState = s;
        Context* successor = createSuccessors(false, nullptr, c);
        s->setSuccessor(successor == nullptr ? 0 : ref(successor));
        m_foundState = found;
    }
    if (m_orderFall == 1 && c1 == m_maxContext) {
        m_foundState->setSuccessor(s->successor());
        --m_text;
    }
    return s->successor() == 0 ? nullptr : context(s->successor());
}

void Model::updateModel() {
    uint32_t fSuccessor = m_foundState->successor();
    const unsigned fFreq = m_foundState->freq;
    const uint8_t fSymbol = m_foundState->symbol;
    State* s = nullptr;
    if (m_foundState->freq < kMaxFreq / 4 && m_minContext->suffix != 0) {
        Context* c = suffix(m_minContext);
        if (c->numStats == 0) {
            s = c->oneState();
            if (s->freq < 32) {
                ++s->freq;
            }
        } else {
            s = stats(c);
            if (s->symbol != fSymbol) {
                do {
                    ++s;
                } while (s->symbol != fSymbol);
                if (s[0].freq >= s[-1].freq) {
                    std::swap(s[0], s[-1]);
                    --s;
                }
            }
            if (s->freq < kMaxFreq - 9) {
                s->freq = static_cast<uint8_t>(s->freq + 2);
                c->summFreq = static_cast<uint16_t>(c->summFreq + 2);
            }
        }
    }
    Context* c = m_maxContext;
    if (m_orderFall == 0 && fSuccessor != 0) {
        Context* cs = createSuccessors(true, s, m_minContext);
        if (cs == nullptr) {
            m_foundState->setSuccessor(0);
            restoreModel(c);
        } else {
            m_foundState->setSuccessor(ref(cs));
            m_maxContext = cs;
        }
        return;
    }
    *m_text++ = fSymbol;
    uint32_t successor = ref(m_text);
    if (m_text >= m_unitsStart) {
        restoreModel(c);
        return;
    }
    if (fSuccessor == 0) {
        Context* cs = reduceOrder(s, m_minContext);
        if (cs == nullptr) {
            restoreModel(c);
            return;
        }
        fSuccessor = ref(cs);
    } else if (ptr(fSuccessor) < m_unitsStart) {
        Context* cs = createSuccessors(false, s, m_minContext);
        if (cs == nullptr) {
            restoreModel(c);
            return;
        }
        fSuccessor = ref(cs);
    }
    if (--m_orderFall == 0) {
        successor = fSuccessor;
        m_text -= (m_maxContext != m_minContext);
    }
    const unsigned ns = m_minContext->numStats;
    const unsigned s0 = m_minContext->summFreq - ns - fFreq;
    const auto flag = static_cast<uint8_t>(0x08 * (fSymbol >= 0x40));
    for (; c != m_minContext; c = suffix(c)) {
        const unsigned ns1 = c->numStats;
        if (ns1 != 0) {
            if ((ns1 & 1) != 0) {
                // The states fill their units: one more unit.
                const unsigned oldNu = (ns1 + 1) >> 1;
                const unsigned i = u2i(oldNu);
                if (i != u2i(oldNu + 1)) {
                    void* p = allocUnits(i + 1);
                    if (p == nullptr) {
                        restoreModel(c);
                        return;
                    }
                    void* old = stats(c);
                    copyUnits(p, old, oldNu);
                    insertNode(old, i);
                    c->stats = ref(p);
                }
            }
            c->summFreq = static_cast<uint16_t>(c->summFreq + (3 * ns1 + 1 < ns));
        } else {
            State* s2 = static_cast<State*>(allocUnits(0));
            if (s2 == nullptr) {
                restoreModel(c);
                return;
            }
            *s2 = *c->oneState();
            c->stats = ref(s2);
            if (s2->freq < kMaxFreq / 4 - 1) {
                s2->freq = static_cast<uint8_t>(s2->freq << 1);
            } else {
                s2->freq = kMaxFreq - 4;
            }
            c->summFreq = static_cast<uint16_t>(s2->freq + m_initEsc + (ns > 2));
        }
        uint32_t cf = 2 * fFreq * (c->summFreq + 6u);
        const uint32_t sf = s0 + c->summFreq;
        if (cf < 6 * sf) {
            cf = 1 + (cf > sf) + (cf >= 4 * sf);
            c->summFreq = static_cast<uint16_t>(c->summFreq + 4);
        } else {
            cf = 4 + (cf > 9 * sf) + (cf > 12 * sf) + (cf > 15 * sf);
            c->summFreq = static_cast<uint16_t>(c->summFreq + cf);
        }
        State* added = stats(c) + ns1 + 1;
        added->setSuccessor(successor);
        added->symbol = fSymbol;
        added->freq = static_cast<uint8_t>(cf);
        c->flags |= flag;
        c->numStats = static_cast<uint8_t>(ns1 + 1);
    }
    m_maxContext = m_minContext = context(fSuccessor);
}

void Model::rescale() {
    State* const first = stats(m_minContext);
    State* s = m_foundState;
    {
        const State found = *s;
        for (; s != first; --s) {
            s[0] = s[-1];
        }
        *s = found;
    }
    unsigned escFreq = m_minContext->summFreq - s->freq;
    s->freq = static_cast<uint8_t>(s->freq + 4);
    const unsigned adder = m_orderFall != 0;
    s->freq = static_cast<uint8_t>((s->freq + adder) >> 1);
    unsigned sumFreq = s->freq;
    unsigned i = m_minContext->numStats;
    do {
        escFreq -= (++s)->freq;
        s->freq = static_cast<uint8_t>((s->freq + adder) >> 1);
        sumFreq += s->freq;
        if (s[0].freq > s[-1].freq) {
            State* at = s;
            const State moved = *at;
            do {
                at[0] = at[-1];
            } while (--at != first && moved.freq > at[-1].freq);
            *at = moved;
        }
    } while (--i);
    if (s->freq == 0) {
        const unsigned numStats = m_minContext->numStats;
        do {
            ++i;
        } while ((--s)->freq == 0);
        escFreq += i;
        m_minContext->numStats = static_cast<uint8_t>(m_minContext->numStats - i);
        if (m_minContext->numStats == 0) {
            State only = *first;
            only.freq = static_cast<uint8_t>((2 * only.freq + escFreq - 1) / escFreq);
            if (only.freq > kMaxFreq / 3) {
                only.freq = kMaxFreq / 3;
            }
            insertNode(first, u2i((numStats + 2) >> 1));
            m_minContext->flags =
                static_cast<uint8_t>((m_minContext->flags & 0x10) + 0x08 * (only.symbol >= 0x40));
            *(m_foundState = m_minContext->oneState()) = only;
            return;
        }
        const unsigned n0 = (numStats + 2) >> 1;
        const unsigned n1 = (m_minContext->numStats + 2) >> 1;
        if (n0 != n1) {
            m_minContext->stats = ref(shrinkUnits(first, n0, n1));
        }
        m_minContext->flags &= static_cast<uint8_t>(~0x08);
        s = stats(m_minContext);
        m_minContext->flags |= static_cast<uint8_t>(0x08 * (s->symbol >= 0x40));
        i = m_minContext->numStats;
        do {
            m_minContext->flags |= static_cast<uint8_t>(0x08 * ((++s)->symbol >= 0x40));
        } while (--i);
    }
    m_minContext->summFreq = static_cast<uint16_t>(sumFreq + escFreq - (escFreq >> 1));
    m_minContext->flags |= 0x04;
    m_foundState = stats(m_minContext);
}

See* Model::makeEscFreq(unsigned numMasked, uint32_t& escFreq) {
    const Context* c = m_minContext;
    if (c->numStats == 0xff) {
        escFreq = 1;
        return &m_dummySee;
    }
    See* see = m_see[static_cast<unsigned>(m_ns2Index[c->numStats + 2u]) - 3] +
               (c->summFreq > 11 * (c->numStats + 1u)) +
               2 * static_cast<unsigned>(2u * c->numStats < suffix(c)->numStats + numMasked) + c->flags;
    const unsigned r = see->summ >> see->shift;
    see->summ = static_cast<uint16_t>(see->summ - r);
    escFreq = r + (r == 0);
    return see;
}

void Model::nextContext() {
    Context* c = context(m_foundState->successor());
    if (m_orderFall == 0 && reinterpret_cast<uint8_t*>(c) >= m_unitsStart) {
        m_minContext = m_maxContext = c;
    } else {
        updateModel();
        m_minContext = m_maxContext;
    }
}

void Model::update1() {
    State* s = m_foundState;
    s->freq = static_cast<uint8_t>(s->freq + 4);
    m_minContext->summFreq = static_cast<uint16_t>(m_minContext->summFreq + 4);
    if (s[0].freq > s[-1].freq) {
        std::swap(s[0], s[-1]);
        m_foundState = --s;
        if (s->freq > kMaxFreq) {
            rescale();
        }
    }
    nextContext();
}

void Model::update1First() {
    m_prevSuccess = 2u * m_foundState->freq >= m_minContext->summFreq;
    m_runLength += static_cast<int32_t>(m_prevSuccess);
    m_minContext->summFreq = static_cast<uint16_t>(m_minContext->summFreq + 4);
    if ((m_foundState->freq = static_cast<uint8_t>(m_foundState->freq + 4)) > kMaxFreq) {
        rescale();
    }
    nextContext();
}

void Model::updateBin() {
    m_foundState->freq = static_cast<uint8_t>(m_foundState->freq + (m_foundState->freq < 196));
    m_prevSuccess = 1;
    ++m_runLength;
    nextContext();
}

void Model::update2() {
    m_minContext->summFreq = static_cast<uint16_t>(m_minContext->summFreq + 4);
    if ((m_foundState->freq = static_cast<uint8_t>(m_foundState->freq + 4)) > kMaxFreq) {
        rescale();
    }
    m_runLength = m_initRunLength;
    updateModel();
    m_minContext = m_maxContext;
}

int Model::decodeSymbol() {
    bool masked[256];
    if (m_minContext->numStats != 0) {
        State* s = stats(m_minContext);
        const uint32_t summFreq = fitted(m_minContext->summFreq);
        const uint32_t count = threshold(summFreq);
        uint32_t hiCnt = s->freq;
        if (count < hiCnt) {
            decode(0, s->freq);
            m_foundState = s;
            const uint8_t symbol = s->symbol;
            update1First();
            return symbol;
        }
        m_prevSuccess = 0;
        for (unsigned i = m_minContext->numStats; i > 0; --i) {
            if ((hiCnt += (++s)->freq) > count) {
                decode(hiCnt - s->freq, s->freq);
                m_foundState = s;
                const uint8_t symbol = s->symbol;
                update1();
                return symbol;
            }
        }
        if (count >= summFreq) {
            return kError;
        }
        decode(hiCnt, summFreq - hiCnt);
        std::memset(masked, 0, sizeof masked);
        masked[s->symbol] = true;
        for (unsigned i = m_minContext->numStats; i > 0; --i) {
            masked[(--s)->symbol] = true;
        }
    } else {
        uint16_t& probability = binSumm();
        if (m_code / (m_range >>= 14) < probability) {
            decode(0, probability);
            probability = static_cast<uint16_t>(probability + (1 << kIntBits) -
                                                ((probability + (1 << (kPeriodBits - 2))) >> kPeriodBits));
            m_foundState = m_minContext->oneState();
            const uint8_t symbol = m_foundState->symbol;
            updateBin();
            return symbol;
        }
        decode(probability, kBinScale - probability);
        probability =
            static_cast<uint16_t>(probability - ((probability + (1 << (kPeriodBits - 2))) >> kPeriodBits));
        m_initEsc = kExpEscape[probability >> 10];
        std::memset(masked, 0, sizeof masked);
        masked[m_minContext->oneState()->symbol] = true;
        m_prevSuccess = 0;
    }
    for (;;) {
        State* candidates[256];
        const unsigned numMasked = m_minContext->numStats;
        do {
            ++m_orderFall;
            if (m_minContext->suffix == 0) {
                return kEndMark;
            }
            m_minContext = suffix(m_minContext);
        } while (m_minContext->numStats == numMasked);
        uint32_t hiCnt = 0;
        State* s = stats(m_minContext);
        const unsigned wanted = m_minContext->numStats - numMasked;
        unsigned n = 0;
        while (n != wanted) {
            if (!masked[s->symbol]) {
                hiCnt += s->freq;
                candidates[n++] = s;
            }
            ++s;
        }
        uint32_t freqSum;
        See* see = makeEscFreq(numMasked, freqSum);
        freqSum = fitted(freqSum + hiCnt);
        const uint32_t count = threshold(freqSum);
        if (count < hiCnt) {
            State** pick = candidates;
            for (hiCnt = 0; (hiCnt += (*pick)->freq) <= count; ++pick) {
            }
            s = *pick;
            decode(hiCnt - s->freq, s->freq);
            see->update();
            m_foundState = s;
            const uint8_t symbol = s->symbol;
            update2();
            return symbol;
        }
        if (count >= freqSum) {
            return kError;
        }
        decode(hiCnt, freqSum - hiCnt);
        see->summ = static_cast<uint16_t>(see->summ + freqSum);
        for (unsigned k = 0; k < n; ++k) {
            masked[candidates[k]->symbol] = true;
        }
    }
}

// The model's arena, mapped without reserving memory: only the pages the model reaches are used.
class Arena {
public:
    explicit Arena(size_t size) : m_size(size) {
        void* p =
            ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        m_data = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    }
    ~Arena() {
        if (m_data != nullptr) {
            ::munmap(m_data, m_size);
        }
    }
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    uint8_t* data() const { return m_data; }

private:
    size_t m_size;
    uint8_t* m_data;
};

} // namespace

Status decodePpmd(const DecoderInput& member, ByteSource& source, ByteSink& sink) {
    if (member.size == 0) {
        return Status::success();
    }
    ByteInput in(source);
    const unsigned header = in.next() | (static_cast<unsigned>(in.next()) << 8);
    if (in.pastEnd() != 0) {
        return in.status().ok() ? dataEndEarly() : in.status();
    }
    const unsigned order = (header & 0xf) + 1;
    const uint32_t memory = (((header >> 4) & 0xff) + 1) << 20;
    const unsigned restoreMethod = header >> 12;
    if (order < 2 || restoreMethod > 2) {
        return damagedData();
    }
    if (restoreMethod == 2) {
        return platform::makeError(ENOTSUP, "its PPMd data use restoration method 2, which is not supported");
    }
    // The format's largest model (256 MiB) is below the tool's limit; its pages are used only as the
    // model grows, which it does with the data decoded.
    static_assert((uint64_t{256} << 20) <= kDecoderMemoryLimit);
    Arena arena(memory + 8 + kUnitSize);
    if (arena.data() == nullptr) {
        return tooMuchMemory(memory);
    }
    Model model(in, arena.data(), memory, order, restoreMethod);
    if (!model.startedWell()) {
        return damagedData();
    }
    char* output = scratchBuffer(1);
    size_t held = 0;
    for (uint64_t left = member.size; left > 0; --left) {
        const int symbol = model.decodeSymbol();
        if (symbol < 0 || in.pastEnd() > 4) {
            if (!in.status().ok()) {
                return in.status();
            }
            return symbol == kError ? damagedData() : dataEndEarly();
        }
        output[held++] = static_cast<char>(symbol);
        if (held == kScratchSize) {
            if (Status put = sink.put(output, held); !put.ok()) {
                return put;
            }
            held = 0;
        }
    }
    if (in.pastEnd() != 0) {
        return in.status().ok() ? dataEndEarly() : in.status();
    }
    return sink.put(output, held);
}

} // namespace pkzip
