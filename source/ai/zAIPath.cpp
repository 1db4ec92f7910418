#include "ai/zAIPath.h"

#include "framework/math/zColor.h"
#include "framework/system/zLogStream.h"
#include "script/SqSafePtr.h"

#include <chrono>
#include <cmath>
#include <new>

namespace {

// trunc(0.05 x) as the cell coordinate, the product formed in double from
// the float coordinate and the float constant.
int64_t Cell(float v)
{
    const double scaled = std::trunc(double(0.05f) * double(v));
    // Far coordinates and NaN land in one cell instead of overflowing.
    if (!(scaled > -4.0e18 && scaled < 4.0e18))
        return 0;
    return int64_t(scaled);
}

} // namespace

zAIPath::zAIPath(const char* name) : motion(name) {}

zAIPath::~zAIPath()
{
    SqSafePtrInvalidate(this);
}

int32_t zAIPath::GetBucket(const zVector& p)
{
    const int64_t sum = Cell(p.x) + Cell(p.y) + Cell(p.z);
    return int32_t(uint64_t(sum) & uint64_t(BucketCount - 1));
}

void zAIPath::ClearQueryStructure()
{
    for (std::vector<int32_t>& bucket : buckets)
        bucket.clear();
}

bool zAIPath::BuildPath()
{
    nodes.clear();
    for (std::vector<float>& field : segments)
        field.clear();
    ClearQueryStructure();
    zChannel* const channels[3] = {motion.FindChannel(ChannelPositionX), motion.FindChannel(ChannelPositionY),
                                   motion.FindChannel(ChannelPositionZ)};
    if (channels[0] == nullptr || channels[1] == nullptr || channels[2] == nullptr) {
        LogError("zAIPath::BuildPath") << "cannot convert motion to channel (missing X, Y or Z component).\n'"
                                       << GetName() << "'\n";
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        if (!AppendChannel(i, channels))
            return false;
    }
    BuildQueryStructure();
    return true;
}

bool zAIPath::AppendChannel(int index, zChannel* const channels[3])
{
    zChannel* channel = channels[index];
    size_t at = 0;
    for (uint32_t k = 0; k < channel->GetKeyCount(); ++k) {
        const float t = channel->GetKey(k)->time;
        while (at < nodes.size() && nodes[at].time < t)
            ++at;
        if (at < nodes.size() && nodes[at].time == t)
            continue;
        zAIPathNode node;
        node.time = t;
        channels[0]->RawEvaluate(t, node.position.x);
        channels[1]->RawEvaluate(t, node.position.y);
        channels[2]->RawEvaluate(t, node.position.z);
        try {
            nodes.insert(nodes.begin() + ptrdiff_t(at), node);
        } catch (const std::bad_alloc&) {
            LogError("zAIPath::AppendChannel") << "failed to allocate AI path node, path is incomplete.\n";
            return false;
        }
    }
    return true;
}

void zAIPath::BuildQueryStructure()
{
    ClearQueryStructure();
    LogHeading("zAIPath::BuildQueryStructure") << "Building AI path '" << GetName() << "' query structure ("
                                               << int(BucketCount) << " bucket(s))...\n";
    const auto start = std::chrono::steady_clock::now();
    for (std::vector<float>& field : segments)
        field.clear();
    if (nodes.empty()) {
        LogWarning("zAIPath::BuildQueryStructure") << "Done, no node in path.\n";
        return;
    }
    try {
        for (size_t i = 0; i + 1 < nodes.size(); ++i) {
            const zVector& a = nodes[i].position;
            const zVector d = nodes[i + 1].position - a;
            const float values[7] = {a.x, a.y, a.z, d.x, d.y, d.z, d.Dot(d)};
            for (int f = 0; f < 7; ++f)
                segments[f].push_back(values[f]);
        }
    } catch (const std::bad_alloc&) {
        // Queries fall back to the nodes.
        for (std::vector<float>& field : segments)
            field.clear();
    }
    for (size_t i = 0; i + 1 < nodes.size(); ++i) {
        const zVector& a = nodes[i].position;
        const zVector d = nodes[i + 1].position - a;
        const float length = d.Length();
        zVector step(0.0f, 0.0f, 0.0f);
        if (length > 0.0f)
            step = d * (0.001f / length);
        const float wanted = length * SamplesPerUnit;
        uint32_t samples = 0;
        if (std::isfinite(wanted)) {
            if (wanted < float(MaxSamplesPerSegment)) {
                samples = uint32_t(wanted);
            } else {
                samples = MaxSamplesPerSegment;
                step = d * (1.0f / float(samples));
            }
        }
        zVector point = a;
        int32_t previous = -1;
        for (uint32_t s = 0; s < samples; ++s) {
            const int32_t bucket = GetBucket(point);
            if (bucket != previous) {
                std::vector<int32_t>& list = buckets[bucket];
                // Segments are walked in order, so this node can only be the last entry.
                if (list.empty() || list.back() != int32_t(i)) {
                    try {
                        list.push_back(int32_t(i));
                    } catch (const std::bad_alloc&) {
                        LogError("zAIPath::BuildQueryStructure") << "Failed to allocate bucket entry.\n";
                    }
                }
                previous = bucket;
            }
            point = point + step;
        }
    }
    const int32_t count = int32_t(nodes.size());
    int32_t low = count;
    int32_t high = 0;
    int32_t total = 0;
    for (const std::vector<int32_t>& bucket : buckets) {
        const int32_t n = int32_t(bucket.size());
        total += n;
        if (n < low)
            low = n;
        if (n > high)
            high = n;
    }
    const double milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    *GlobalLogStream << "   Done. Query structure statistics:\n";
    *GlobalLogStream << "         Low = " << low << ", high = " << high << ", avg = " << total / BucketCount
                     << ", original = " << count << ", total = " << total << ").\n";
    *GlobalLogStream << "         Memory usage = " << (total + 320) * 32 << " byte(s), took "
                     << zString::Format("%.3f", milliseconds) << " ms.\n";
    *GlobalLogStream << "\n";
}

float zAIPath::SegmentParameter(size_t i, const zVector& p) const
{
    const float squared = segments[6][i];
    float s = squared != 0.0f ? (segments[3][i] * (p.x - segments[0][i]) + segments[4][i] * (p.y - segments[1][i]) +
                                 segments[5][i] * (p.z - segments[2][i])) /
                                    squared
                              : 0.0f;
    s = s < 0.0f ? 0.0f : s;
    s = s > 1.0f ? 1.0f : s;
    return s;
}

bool zAIPath::GetClosestPoint(const zVector& p, zVector& closest, float* time) const
{
    if (time != nullptr)
        *time = -1.0f;
    if (nodes.size() < 2) {
        LogError("zAIPath::GetClosestPoint") << "Failed to query closest point to path.\n";
        return false;
    }
    float best = 0.0f;
    size_t winner = 0;
    float winnerS = 0.0f;
    zVector winnerPoint;
    const size_t count = nodes.size() - 1;
    if (segments[0].size() == count) {
        // Squared distances a block at a time, then the first smallest in
        // order: the same values and the same choice as the plain scan.
        constexpr size_t Block = 256;
        float distance[Block];
        const float* ax = segments[0].data();
        const float* ay = segments[1].data();
        const float* az = segments[2].data();
        const float* dx = segments[3].data();
        const float* dy = segments[4].data();
        const float* dz = segments[5].data();
        const float* squared = segments[6].data();
        for (size_t start = 0; start < count; start += Block) {
            const size_t n = count - start < Block ? count - start : Block;
            for (size_t j = 0; j < n; ++j) {
                const size_t i = start + j;
                const float dot = dx[i] * (p.x - ax[i]) + dy[i] * (p.y - ay[i]) + dz[i] * (p.z - az[i]);
                const float ratio = dot / squared[i];
                float s = squared[i] != 0.0f ? ratio : 0.0f;
                s = s < 0.0f ? 0.0f : s;
                s = s > 1.0f ? 1.0f : s;
                const float ex = (ax[i] + dx[i] * s) - p.x;
                const float ey = (ay[i] + dy[i] * s) - p.y;
                const float ez = (az[i] + dz[i] * s) - p.z;
                distance[j] = ex * ex + ey * ey + ez * ez;
            }
            for (size_t j = 0; j < n; ++j) {
                if ((start == 0 && j == 0) || distance[j] < best) {
                    best = distance[j];
                    winner = start + j;
                }
            }
        }
        winnerS = SegmentParameter(winner, p);
        winnerPoint = zVector(ax[winner] + dx[winner] * winnerS, ay[winner] + dy[winner] * winnerS,
                              az[winner] + dz[winner] * winnerS);
    } else {
        // Nodes changed without a rebuild of the query structure.
        for (size_t i = 0; i < count; ++i) {
            zVector q;
            const float s = ClosestPointOnSegment(nodes[i].position, nodes[i + 1].position, p, &q);
            const zVector e = q - p;
            const float d = e.Dot(e);
            if (i == 0 || d < best) {
                best = d;
                winner = i;
                winnerS = s;
                winnerPoint = q;
            }
        }
    }
    closest = winnerPoint;
    if (time != nullptr)
        *time = nodes[winner].time + (nodes[winner + 1].time - nodes[winner].time) * winnerS;
    return true;
}
