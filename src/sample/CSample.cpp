#include "sample/CSample.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "sample/CSampleEvent.h"

// The vector helpers are local and inlined; the note that AVX-sized vectors change the
// calling convention does not concern them.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// Samples are converted a chunk at a time into a small stack array, which lets the
// compiler vectorise the conversion while the running sums stay strictly sequential.
constexpr int kChunk = 256;

// 8-bit PCM is unsigned with its zero at 127: 127 -> 0.0, 255 -> +1.0, 0 -> -0.9921875.
struct Unsigned8 {
    static constexpr int kBytes = 1;
    static void ConvertChunk(const unsigned char* p, int n, float* out) {
        for (int i = 0; i < n; ++i) out[i] = static_cast<float>(static_cast<int>(p[i]) - 127) * 0.0078125f;
    }
};

// 16-bit PCM is divided by 32767 so that the largest positive value is exactly +1.0.
struct Signed16 {
    static constexpr int kBytes = 2;
    static void ConvertChunk(const unsigned char* p, int n, float* out) {
        // Little-endian samples can be copied as they are; the division then vectorises.
        static_assert(std::endian::native == std::endian::little, "PCM is little-endian");
        // Eight at a time in explicit vectors: every conversion and division is the same
        // IEEE operation as the scalar one, only done side by side.
        using Short8 = std::int16_t __attribute__((vector_size(16)));
        using Float8 = float __attribute__((vector_size(32)));
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            Short8 values;
            std::memcpy(&values, p + 2 * i, sizeof values);
            const Float8 converted = __builtin_convertvector(values, Float8) / 32767.0f;
            std::memcpy(out + i, &converted, sizeof converted);
        }
        for (; i < n; ++i) {
            std::int16_t value;
            std::memcpy(&value, p + 2 * i, sizeof value);
            out[i] = static_cast<float>(value) / 32767.0f;
        }
    }
};

// 32-bit samples are IEEE single-precision floats, taken unchanged.
struct Float32 {
    static constexpr int kBytes = 4;
    static void ConvertChunk(const unsigned char* p, int n, float* out) {
        std::memcpy(out, p, static_cast<std::size_t>(n) * sizeof out[0]);
    }
};

bool ComesBefore(const CSampleEvent* a, const CSampleEvent* b) {
    if (a->DeliveryOrder() != b->DeliveryOrder()) return a->DeliveryOrder() < b->DeliveryOrder();
    return std::less<const CSampleEvent*>()(a, b);
}

}  // namespace

CSample::CSample() = default;
CSample::~CSample() = default;

long CSample::SetAudioParameters(int bits, int sampleRate, float silenceThresholdDb,
                                 int blockLength) {
    if (blockLength < 1) return E_INVALIDARG;
    if (m_delivering) return E_FAIL;  // consumers hold the block buffer right now
    m_bytesPerSample = bits / 8;
    m_sampleRate = sampleRate;
    if (m_blockCapacity < blockLength) {
        // Grow, keeping a pending partial block: it becomes the start of the next stream.
        auto grown = std::make_unique<float[]>(static_cast<std::size_t>(blockLength));
        if (m_block) std::copy_n(m_block.get(), m_fillCount, grown.get());
        m_block = std::move(grown);
        m_blockCapacity = blockLength;
    }
    m_silenceThreshold = silenceThresholdDb;
    m_blockLength = blockLength;
    const float scaled = 2.30258509299404568402f * silenceThresholdDb;  // single precision
    m_silenceLevel = static_cast<float>(std::exp(static_cast<double>(scaled) / 20.0));
    m_samplePos = 0;
    return 0;
}

int CSample::putSamples(const void* data, int byteCount, int flush) {
    if (m_bytesPerSample != 1 && m_bytesPerSample != 2 && m_bytesPerSample != 4) return -1;
    if (byteCount < 0) return E_INVALIDARG;
    if (byteCount > 0 && data == nullptr) return E_POINTER;
    if (m_delivering) return E_FAIL;  // the block being delivered is still in use

    const auto* bytes = static_cast<const unsigned char*>(data);
    switch (m_bytesPerSample) {
        case 1: TakeSamples<Unsigned8>(bytes, byteCount); break;
        case 2: TakeSamples<Signed16>(bytes, byteCount / 2); break;
        default: TakeSamples<Float32>(bytes, byteCount / 4); break;
    }

    if (flush != 0 && m_fillCount > 0) {
        m_absDiffSum /= static_cast<double>(m_fillCount);
        m_squareSum /= static_cast<double>(m_fillCount);
        NotifyEvents();
        ResetBlock();
    }
    return 0;
}

template <typename Converter>
void CSample::TakeSamples(const unsigned char* data, int count) {
    float chunk[kChunk];
    while (count > 0) {
        // Never cross a block boundary inside a chunk: the DC offset may change there.
        // (After a shrinking SetAudioParameters the block may already be full; the next
        // sample then completes it.)
        const int room = std::max(1, m_blockLength - m_fillCount);
        const int n = std::min({count, kChunk, room});
        Converter::ConvertChunk(data, n, chunk);

        Accumulate(chunk, n);
        if (m_fillCount >= m_blockLength) {
            const float last = chunk[n - 1];
            CompleteBlock();
            m_previousSample = last;
        }
        data += n * Converter::kBytes;
        count -= n;
    }
}

void CSample::Accumulate(const float* samples, int count) {
    double squareSum = m_squareSum;
    double absDiffSum = m_absDiffSum;
    float previous = m_previousSample;
    const float dcOffset = m_dcOffset;
    float* out = m_block.get() + m_fillCount;
    for (int i = 0; i < count; ++i) {
        const float x = samples[i];
        squareSum += static_cast<double>(x * x);
        absDiffSum += static_cast<double>(std::fabs(x - previous));
        out[i] = x - dcOffset;
        previous = x;
    }
    m_squareSum = squareSum;
    m_absDiffSum = absDiffSum;
    m_previousSample = previous;
    m_fillCount += count;
}

void CSample::CompleteBlock() {
    m_absDiffSum /= static_cast<double>(m_fillCount);
    m_squareSum /= static_cast<double>(m_fillCount);
    // Follow the DC only through quiet, small blocks, so a tone never drags it. The block's
    // mean stands in for its last two samples (with their weight of two thirds): a tone
    // that starts in the last samples of a quiet block would otherwise be taken for an
    // offset and subtracted from every sample of the tone.
    if (static_cast<double>(m_silenceLevel) > m_absDiffSum && 0.5 > m_squareSum) {
        const float mean = BlockMean();
        m_dcOffset = (mean + m_dcOffset + mean) / 3.0f;
    }
    NotifyEvents();
    ResetBlock();
}

float CSample::BlockMean() const {
    // Only quiet blocks need it, so it is summed here rather than on every sample: the
    // block holds the samples less the offset, which is the same for the whole block.
    // Two four-lane float sums keep it to a few vector additions per block; float is
    // ample for an offset estimate.
    using Floats = float __attribute__((vector_size(16)));
    const float* block = m_block.get();
    Floats a = {}, b = {};
    int i = 0;
    for (; i + 8 <= m_fillCount; i += 8) {
        Floats u, v;
        std::memcpy(&u, block + i, sizeof u);
        std::memcpy(&v, block + i + 4, sizeof v);
        a += u;
        b += v;
    }
    a += b;
    float total = (a[0] + a[1]) + (a[2] + a[3]);
    for (; i < m_fillCount; ++i) total += block[i];
    return total / static_cast<float>(m_fillCount) + m_dcOffset;
}

void CSample::NotifyEvents() {
    // A consumer may switch detectors on or off from inside its call (a host handler
    // reached through a synchronous event); a snapshot keeps this delivery undisturbed
    // and such a change takes effect from the next block.
    std::array<CSampleEvent*, kMaxConsumers> consumers = m_consumers;
    const int count = m_consumerCount;
    const float* block = m_block.get();
    const int fill = m_fillCount;
    const double meanAbsDiff = m_absDiffSum;
    const double meanSquare = m_squareSum;
    m_delivering = true;
    for (int i = 0; i < count; ++i) consumers[i]->OnSampleData(block, fill, meanAbsDiff, meanSquare);
    m_delivering = false;
    m_samplePos += static_cast<std::uint32_t>(fill);
}

void CSample::ResetBlock() {
    m_previousSample = 0.0f;
    m_absDiffSum = 0.0;
    m_squareSum = 0.0;
    m_fillCount = 0;
}

int CSample::AddEvent(CSampleEvent* consumer) {
    if (consumer == nullptr) return E_POINTER;
    if (IsRegistered(consumer)) return 0;
    if (m_consumerCount == kMaxConsumers) return E_OUTOFMEMORY;
    auto* end = m_consumers.begin() + m_consumerCount;
    auto* at = std::upper_bound(m_consumers.begin(), end, consumer, ComesBefore);
    std::move_backward(at, end, end + 1);
    *at = consumer;
    ++m_consumerCount;
    return 0;
}

int CSample::RemoveEvent(CSampleEvent* consumer) {
    auto* end = m_consumers.begin() + m_consumerCount;
    auto* at = std::find(m_consumers.begin(), end, consumer);
    if (at == end) return E_INVALIDARG;
    std::move(at + 1, end, at);
    --m_consumerCount;
    m_consumers[m_consumerCount] = nullptr;
    return 0;
}

bool CSample::IsRegistered(const CSampleEvent* consumer) const {
    auto* end = m_consumers.begin() + m_consumerCount;
    return std::find(m_consumers.begin(), end, consumer) != end;
}
