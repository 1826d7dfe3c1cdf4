#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace torvinel {

// The work of a run: what is done of what there is to do, in bytes and files, since when, and
// what that says about the time left. Runs feed it; the progress windows show what it says.
//
// The rate and the time left stay unknown (nullopt) until the rate means something: at least
// MinimumSpan of work and MinimumShare of the bytes done. A first buffer written in no time
// would otherwise promise the whole run in a second.
class WorkMeter {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::seconds MinimumSpan{3};
    static constexpr double MinimumShare = 0.01;

    explicit WorkMeter(Clock clock = std::chrono::steady_clock::now);

    // Everything back to 0; the elapsed time counts from here.
    void start();

    int64_t bytesDone = 0;
    int64_t bytesTotal = 0;
    int64_t filesDone = 0;
    int64_t filesTotal = 0;

    // The bytes done as a bar position 0..1000 and as a percentage 0..100 (a total of 0 is
    // all done; more done than total is full).
    int bar() const;
    int percent() const;
    std::chrono::seconds elapsed() const;
    // Bytes a second, and the time the bytes still to do take at that rate.
    std::optional<double> rate() const;
    std::optional<std::chrono::seconds> left() const;

    // "0:42 elapsed", and once the rate is known "0:42 elapsed · 12.3 MB/s · about 1:10 left".
    std::string timeText() const;
    // "<what>: 42% · 1.23 MB of 3.40 MB · 3 of 7 files".
    std::string figuresText(const std::string& what) const;

private:
    Clock m_clock;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace torvinel
