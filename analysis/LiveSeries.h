#pragma once
// The data behind one strip of the live chart: a fixed-size ring of (time, value) for one
// logged quantity, its latest value, its range over the shown time window and the points
// to draw for that window; and the sample and request rates of a run over its last seconds.
// Plain data, window thread only. Times are seconds since the run's first sample and must
// not decrease; a time earlier than the one before is taken as that one.
#include "analysis/Decimate.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tessek {

struct ValueRange {
    double Lower = 0;
    double Upper = 0;
};

class LiveSeries {
public:
    // A run with all eight slots makes about 40 samples/s, but one with a single slot of
    // one request reaches the wire limit of 384 requests/s at 7680 baud: 32768 points hold
    // 85 s even then, so the 60 s on show are always complete.
    static constexpr size_t kCapacity = 32768;

    // Allocates the ring (about 1 MiB); adding never allocates.
    LiveSeries();

    // A sample without a value (or with one that is not finite) leaves the latest value as
    // it was, marks it stale and adds a break: a point with a NaN value, which the drawn line
    // leaves out. A run of such samples adds one break, and none before the first value.
    void Add(double time, std::optional<double> value);

    // Every stored value and the latest become value * scale + offset (a change of units).
    void Rescale(double scale, double offset);

    size_t Size() const { return size_; }
    // The newest value; stale when a sample without a value came after it.
    std::optional<double> Latest() const { return latest_; }
    bool Stale() const { return stale_; }
    // The time of the newest point; no value while the ring is empty.
    std::optional<double> LastTime() const;

    // Smallest and largest value of the points with a time in [from, to], breaks left out;
    // no value when there is none.
    std::optional<ValueRange> Range(double from, double to) const;
    // The points to draw [from, to] on `columns` pixel columns: every peak, dip and break
    // kept, plus the nearest point outside either edge (DecimateMinMax).
    std::vector<PlotPoint> Points(double from, double to, int columns) const;

private:
    // Each point is stored twice, at i and i + kCapacity, so the newest Size() points are
    // always one contiguous run: [next_ + kCapacity - size_, next_ + kCapacity).
    const double* Times() const { return times_.data() + next_ + kCapacity - size_; }
    const double* Values() const { return values_.data() + next_ + kCapacity - size_; }

    std::vector<double> times_;
    std::vector<double> values_;
    size_t next_ = 0;
    size_t size_ = 0;
    bool stale_ = false;
    std::optional<double> latest_;
};

// The strip's scale for the raw range of its shown points: 8 % padding at either end and
// a span of at least ten steps of the last printed decimal and a tenth of the value's
// size, so a flat line sits visibly in the middle. [0, 1] without points.
ValueRange PaddedRange(std::optional<ValueRange> raw, int decimals);

// Samples per second and requests per second of a run over its last kWindow seconds
// (less at the start; its last two samples when they lie further apart), from each
// sample's time and the requests sent for it.
class RateMeter {
public:
    static constexpr double kWindow = 3.0;  // s

    void Clear();
    void Add(double time, int requests);
    // No value before two samples with distinct times.
    std::optional<double> SamplesPerSecond() const;
    std::optional<double> RequestsPerSecond() const;

private:
    // Enough for kWindow at any rate a run reaches (a run without requests paces itself
    // to 100 samples/s); beyond it, the rates come from the newest entries alone.
    static constexpr size_t kCapacity = 4096;
    struct Entry {
        double Time = 0;
        int64_t RequestsBefore = 0;  // requests of all earlier samples of the run
    };
    const Entry& At(size_t age) const;  // 0: the newest

    std::vector<Entry> entries_ = std::vector<Entry>(kCapacity);
    size_t next_ = 0;
    size_t size_ = 0;
    size_t inWindow_ = 0;  // the newest entries within kWindow of the newest
    int64_t requests_ = 0;
};

}  // namespace tessek
